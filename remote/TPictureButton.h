#pragma once
// A transparent picture that acts as a button on a left-button click. It
// takes no focus; the dialog's keys stand in for it.
//
// Threads: user-interface thread.
#include <QPixmap>
#include <QWidget>

class TPictureButton : public QWidget {
    Q_OBJECT
public:
    TPictureButton(const QPixmap& picture, QWidget* parent);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
    bool m_pressed = false;
};
