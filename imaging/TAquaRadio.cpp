#include "TAquaRadio.h"

#include "SkinBitmap.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

TAquaRadio::TAquaRadio(QWidget* parent)
    : QWidget(parent),
      m_off(LoadSkinBitmap(":/skin/OFF")),
      m_on(LoadSkinBitmap(":/skin/ON")),
      m_pressedGlyph(LoadSkinBitmap(":/skin/PRESSED"))
{
    resize(115, 21);
}

const QPixmap& TAquaRadio::Glyph() const
{
    if (!isEnabled())
        return m_off;
    if (m_pressed)
        return m_pressedGlyph;
    return m_checked ? m_on : m_off;
}

const char* TAquaRadio::GlyphName() const
{
    const QPixmap& g = Glyph();
    return &g == &m_pressedGlyph ? "PRESSED" : &g == &m_on ? "ON" : "OFF";
}

void TAquaRadio::SetCaption(const QString& caption)
{
    m_caption = caption;
    update();
}

void TAquaRadio::SetChecked(bool value)
{
    if (value == m_checked)
        return;
    m_checked = value;
    repaint();
    if (value && parentWidget()) {
        for (QObject* child : parentWidget()->children()) {
            auto* other = dynamic_cast<TAquaRadio*>(child);
            if (other && other != this)
                other->SetChecked(false);
        }
    }
    if (OnClick)
        OnClick(this);
}

void TAquaRadio::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPixmap& glyph = Glyph();
    p.drawPixmap(0, (height() - glyph.height()) / 2, glyph);
    p.setFont(font());
    p.setPen(isEnabled() ? palette().color(QPalette::Active, QPalette::WindowText)
                         : palette().color(QPalette::Disabled, QPalette::Text));
    const QFontMetrics fm(font());
    const int y = (height() - fm.height()) / 2;
    p.drawText(QRect(glyph.width() + 4, y, width() - glyph.width() - 4, fm.height()), Qt::AlignLeft | Qt::AlignTop,
               m_caption);
}

void TAquaRadio::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    repaint();
}

void TAquaRadio::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    const bool inside = rect().contains(event->position().toPoint());
    if (inside)
        SetChecked(true);
    repaint();
    // The ordinary click of a press and release inside the control.
    if (inside && OnClick)
        OnClick(this);
}

void TAquaRadio::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        m_pressed = false;
    QWidget::changeEvent(event);
}
