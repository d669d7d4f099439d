#include "TClickImage.h"

#include "TApplication.h"

#include <QMouseEvent>
#include <QPainter>

TClickImage::TClickImage(QWidget* parent) : QWidget(parent) {}

void TClickImage::SetPicture(const QPixmap& picture)
{
    m_picture = picture;
    resize(picture.size());
    update();
}

void TClickImage::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_picture);
    if (m_pressed) // a slight darkening while held
        p.fillRect(rect(), QColor(0, 0, 0, 40));
}

void TClickImage::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        update();
    }
}

void TClickImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    update();
    if (!rect().contains(event->position().toPoint()) || !OnClick)
        return;
    // Reported here, at the handler's edge: an exception unwinding through the
    // toolkit's own dispatch frames would leave their temporaries behind.
    try {
        OnClick();
    } catch (...) {
        TApplication::HandleException();
    }
}
