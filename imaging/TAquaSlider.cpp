#include "TAquaSlider.h"

#include "MulDiv.h"
#include "SkinBitmap.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// The groove: seven lines, each with its colour and end inset.
struct GrooveLine {
    int inset;
    QColor color;
};
const GrooveLine kGroove[7] = {
    {2, QColor(80, 80, 80)},    {1, QColor(112, 112, 112)}, {0, QColor(144, 144, 144)},
    {0, QColor(160, 164, 160)}, {0, QColor(176, 176, 176)}, {1, QColor(192, 192, 192)},
    {2, QColor(200, 192, 200)},
};

} // namespace

TAquaSlider::TAquaSlider(QWidget* parent)
    : QWidget(parent),
      m_ball(LoadSkinBitmap(":/skin/BALL")),
      m_hThumb(LoadSkinBitmap(":/skin/HTHUMB")),
      m_vThumb(LoadSkinBitmap(":/skin/VTHUMB"))
{
    resize(115, 24);
}

const QPixmap& TAquaSlider::Thumb() const
{
    if (m_tickStyle == tsNone)
        return m_ball;
    return m_orientation == trHorizontal ? m_hThumb : m_vThumb;
}

QRect TAquaSlider::ThumbRect() const
{
    const QPixmap& thumb = Thumb();
    const int tw = thumb.width(), th = thumb.height();
    const int32_t range = m_max - m_min;
    if (m_orientation == trHorizontal)
        return QRect(MulDiv(width() - tw, m_position - m_min, range), 0, tw, th);
    return QRect(0, height() - th - MulDiv(height() - th, m_position - m_min, range), tw, th);
}

QRect TAquaSlider::TickStrip() const
{
    if (m_orientation == trHorizontal)
        return QRect(0, 19, width(), 6);
    return QRect(19, 0, 6, height());
}

int32_t TAquaSlider::ValueAt(QPoint p) const
{
    const int32_t range = m_max - m_min;
    const int32_t v = m_orientation == trHorizontal ? m_min + MulDiv(range, p.x(), width())
                                                    : m_min + MulDiv(range, height() - p.y(), height());
    return std::clamp(v, m_min, m_max);
}

void TAquaSlider::SetRangeAndPosition(int32_t newMin, int32_t newMax, int32_t newPosition)
{
    if (newMin != m_min || newMax != m_max)
        update(TickStrip());
    update(ThumbRect());
    m_min = newMin;
    m_max = std::max(newMax, m_min);
    m_position = std::min(std::max(newPosition, m_min), m_max);
    update(ThumbRect());
    repaint();
}

void TAquaSlider::SetMin(int32_t value)
{
    if (value != m_min)
        SetRangeAndPosition(value, m_max, m_position);
}

void TAquaSlider::SetMax(int32_t value)
{
    if (value != m_max)
        SetRangeAndPosition(m_min, value, m_position);
}

void TAquaSlider::SetPosition(int32_t value)
{
    if (value == m_position)
        return;
    SetRangeAndPosition(m_min, m_max, value);
    if (OnChange)
        OnChange(this);
}

void TAquaSlider::SetSliderVisible(bool value)
{
    m_sliderVisible = value;
    repaint();
}

void TAquaSlider::SetTickStyle(TTickStyle value)
{
    m_tickStyle = value;
    repaint();
}

void TAquaSlider::SetOrientation(TTrackBarOrientation value)
{
    if (value == m_orientation)
        return;
    m_orientation = value;
    repaint();
}

void TAquaSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width(), h = height();
    // Lines end just before their second point, as the toolkit's LineTo does.
    for (int i = 0; i < 7; ++i) {
        p.setPen(QPen(kGroove[i].color, 1));
        const int e = kGroove[i].inset;
        if (m_orientation == trHorizontal) {
            if (w - e - 1 >= e)
                p.drawLine(e, 5 + i, w - e - 1, 5 + i);
        } else if (h - e - 1 >= e) {
            p.drawLine(5 + i, e, 5 + i, h - e - 1);
        }
    }
    const QPixmap& thumb = Thumb();
    if (m_tickStyle == tsAuto) {
        p.setPen(QPen(QColor(80, 80, 80), 1));
        const int32_t range = m_max - m_min;
        // One tick per value; a huge range would only smear the strip, so
        // stop once the ticks are closer than a pixel apart.
        const int64_t span = m_orientation == trHorizontal ? w : h;
        const int64_t count = int64_t(m_max) - m_min;
        const int64_t step = count > span ? (count + span - 1) / span : 1;
        for (int64_t v = m_min; v <= m_max; v += step) {
            if (m_orientation == trHorizontal) {
                const int x = thumb.width() / 2 + MulDiv(w - thumb.width(), int32_t(v - m_min), range);
                p.drawLine(x, 19, x, 23);
            } else {
                const int y = thumb.height() / 2 + MulDiv(h - thumb.height(), int32_t(v - m_min), range);
                p.drawLine(19, y, 23, y);
            }
        }
    }
    if (m_sliderVisible)
        p.drawPixmap(ThumbRect().topLeft(), thumb);
}

void TAquaSlider::mousePressEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        m_tracking = true;
        SetPosition(ValueAt(pt));
    }
    if (OnMouseDown)
        OnMouseDown(this, event->button(), pt.x(), pt.y());
}

void TAquaSlider::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    if (m_tracking && (event->buttons() & Qt::LeftButton))
        SetPosition(ValueAt(pt));
    if (OnMouseMove)
        OnMouseMove(this, Qt::NoButton, pt.x(), pt.y());
}

void TAquaSlider::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        m_tracking = false;
        SetPosition(ValueAt(pt));
    }
    if (OnMouseUp)
        OnMouseUp(this, event->button(), pt.x(), pt.y());
}
