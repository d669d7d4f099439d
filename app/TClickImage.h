#pragma once
// A picture that acts as a button: a left click inside it calls OnClick.
// UI thread only.
#include <QPixmap>
#include <QWidget>

#include <functional>

class TClickImage : public QWidget {
public:
    explicit TClickImage(QWidget* parent = nullptr);

    void SetPicture(const QPixmap& picture); // also sizes the control
    const QPixmap& Picture() const { return m_picture; }

    std::function<void()> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
    bool m_pressed = false;
};
