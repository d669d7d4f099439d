#include "TPictureButton.h"

#include <QMouseEvent>
#include <QPainter>

TPictureButton::TPictureButton(const QPixmap& picture, QWidget* parent) : QWidget(parent), m_picture(picture)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    resize(picture.size());
}

void TPictureButton::paintEvent(QPaintEvent*)
{
    QPainter g(this);
    // Pressed: the picture sinks by one pixel.
    g.drawPixmap(m_pressed ? QPoint(1, 1) : QPoint(0, 0), m_picture);
}

void TPictureButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        update();
    }
}

void TPictureButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    update();
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}
