#pragma once
// Radio button drawn from bitmaps. Checking one unchecks every other
// TAquaRadio of the same parent; OnClick follows every change of Checked
// and every press and release inside the control.
//
// Threads: UI thread only.
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <functional>

class TAquaRadio : public QWidget {
public:
    using TNotify = std::function<void(TAquaRadio* sender)>;

    explicit TAquaRadio(QWidget* parent = nullptr);

    bool Checked() const { return m_checked; }
    void SetChecked(bool value);
    const QString& Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    // The glyph on show now: "PRESSED", "ON" or "OFF".
    const char* GlyphName() const;

    TNotify OnClick;
    int Tag = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    const QPixmap& Glyph() const;

    bool m_checked = false;
    bool m_pressed = false;
    QString m_caption;
    QPixmap m_off;
    QPixmap m_on;
    QPixmap m_pressedGlyph;
};
