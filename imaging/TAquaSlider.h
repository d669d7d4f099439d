#pragma once
// Slider drawn as a shaded groove with a bitmap thumb and optional ticks.
// Min <= Position <= Max holds after every change. Position changes notify
// OnChange; Min and Max changes never do.
//
// Threads: UI thread only.
#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <functional>

enum TTrackBarOrientation { trHorizontal, trVertical };
enum TTickStyle { tsNone, tsAuto, tsManual };

class TAquaSlider : public QWidget {
public:
    using TNotify = std::function<void(TAquaSlider* sender)>;
    using TMouse = std::function<void(TAquaSlider* sender, Qt::MouseButton button, int x, int y)>;

    explicit TAquaSlider(QWidget* parent = nullptr);

    int32_t Min() const { return m_min; }
    int32_t Max() const { return m_max; }
    int32_t Position() const { return m_position; }
    bool SliderVisible() const { return m_sliderVisible; }
    TTrackBarOrientation Orientation() const { return m_orientation; }
    TTickStyle TickStyle() const { return m_tickStyle; }

    void SetMin(int32_t value);
    void SetMax(int32_t value);
    void SetPosition(int32_t value);
    void SetSliderVisible(bool value);
    void SetOrientation(TTrackBarOrientation value);
    void SetTickStyle(TTickStyle value);

    // Where the thumb is drawn, in control coordinates.
    QRect ThumbRect() const;
    // The value a point of the control stands for, limited to Min..Max.
    int32_t ValueAt(QPoint p) const;

    TNotify OnChange;
    TMouse OnMouseDown;
    TMouse OnMouseMove;
    TMouse OnMouseUp;
    int Tag = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetRangeAndPosition(int32_t newMin, int32_t newMax, int32_t newPosition);
    const QPixmap& Thumb() const;
    QRect TickStrip() const;

    QPixmap m_ball;
    QPixmap m_hThumb;
    QPixmap m_vThumb;
    int32_t m_min = 0;
    int32_t m_max = 10;
    int32_t m_position = 0;
    bool m_sliderVisible = true;
    TTrackBarOrientation m_orientation = trHorizontal;
    TTickStyle m_tickStyle = tsAuto;
    bool m_tracking = false;
};
