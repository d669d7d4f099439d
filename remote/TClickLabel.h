#pragma once
// A label that reports a left-button click, for captions that stand for a
// control (the "Remember my password" text, the "Cancel" text).
//
// Threads: user-interface thread.
#include <QLabel>

class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
