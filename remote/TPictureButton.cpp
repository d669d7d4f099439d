#include "TPictureButton.h"

#include <QMouseEvent>
#include <QPainter>

TPictureButton::TPictureButton(const QPixmap& picture, QWidget* parent) : QWidget(parent), mPicture(picture)
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
    g.drawPixmap(mPressed ? QPoint(1, 1) : QPoint(0, 0), mPicture);
}

void TPictureButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        mPressed = true;
        update();
    }
}

void TPictureButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !mPressed)
        return;
    mPressed = false;
    update();
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}
