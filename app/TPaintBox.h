#pragma once
// A plain drawing surface whose painting and mouse handling are the owner's
// handlers. It never clears itself: the paint handler covers every pixel or
// leaves the parent's surface showing (a disabled box is see-through for the
// mouse as well).
//
// Threads: UI thread only.
#include <QWidget>

#include <functional>

class TPaintBox : public QWidget {
public:
    using TPaint = std::function<void(TPaintBox* sender, QPainter& canvas)>;
    using TMouse = std::function<void(TPaintBox* sender, QMouseEvent* event)>;

    explicit TPaintBox(QWidget* parent = nullptr, bool opaque = false);

    TPaint OnPaint;
    TMouse OnMouseDown;
    TMouse OnMouseMove;
    TMouse OnMouseUp;
    TMouse OnDblClick; // unset: a double-click is a second press

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
