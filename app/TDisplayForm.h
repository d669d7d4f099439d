#pragma once
// The image view and its gestures: painting the shown frame with its stack's
// zoom and offsets, zoom about the view's centre, pan with the left button,
// window and level with the right button and its menu, the frame slider and
// cine playback, mouse-wheel and key shortcuts and Ctrl+C. The main window derives
// from it and lays these controls out.
//
// Threads: UI thread only. The case loader changes the case model only in
// synchronised calls on this thread, so no handler sees a frame list change
// under it.
#include "TCaseModel.h"

#include <QWidget>

#include <array>

class IWindowAdapter;
class QAction;
class QMenu;
class QTimer;
class TAquaRadio;
class TAquaSlider;
class TDibGraphic;
class TPaintBox;

class TDisplayForm : public QWidget {
public:
    explicit TDisplayForm(const IWindowAdapter& windows, QWidget* parent = nullptr);
    ~TDisplayForm() override;

    // Controls of the view (laid out by the main window).
    TPaintBox* PaintBox1;      // the image view
    TAquaSlider* TrackBar1;    // frame position
    TAquaSlider* TrackBar2;    // cine speed (its Tag keeps the speed while managing)
    TAquaSlider* TrackBar3;    // zoom percent
    QTimer* Timer2;            // cine
    QMenu* PopupMenu1;         // window and level commands
    QAction* One1;
    QAction* All1;
    QAction* Cancel1;
    QAction* Reset1;
    QWidget* Panel3;           // series column
    std::array<TAquaRadio*, 15> SeriesButtons{}; // A..O, tags 0..14

    // The open case, owned by the window.
    TCaseModel Model;

    // The shown series index (the tag of the series column), 0 = A.
    int ShownSeries = 0;

    // Display state.
    int DragX = 0;
    int DragY = 0;
    int StartCenter = 0;
    int StartWidth = 0;
    bool CineWasRunning = false;

    void PaintBox1Paint(QPainter& canvas);
    void PaintBox1MouseDown(QMouseEvent* event);
    void PaintBox1MouseMove(QMouseEvent* event);
    void PaintBox1MouseUp(QMouseEvent* event);
    // A double-click with the left button re-fits the shown stack.
    void PaintBox1DblClick(QMouseEvent* event);
    void All1Click();
    void Cancel1Click();
    void Reset1Click();
    void TrackBar1Change();
    void TrackBar1MouseDown(Qt::MouseButton button);
    void TrackBar2Change();
    void TrackBar2MouseDown(Qt::MouseButton button);
    void TrackBar3Change();
    void Timer2Timer();
    // Routes a wheel turn by the pointer's screen position; true when handled.
    // Turns add up: every 120 units of delta (one notch) make one step, so
    // fine wheels and touchpads move as far as a notched wheel. Over the
    // image the wheel pages frames as over the frame slider, with Ctrl held
    // it zooms as over the zoom slider.
    bool FormMouseWheel(QPoint globalPos, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Ctrl+C copies the shown image. While the image view is shown: Up and
    // Down step one frame (Up forward, as the wheel turned up), Page Up and
    // Page Down a tenth of the stack (at least one), Home and End go to the
    // first and last frame, Left and Right select the previous and next
    // visible series. True when the key was used.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

    // The shown stack, or null when the shown index has none.
    TStack* ShownStack() const;
    // The frame at the frame slider's position in the shown stack, or null.
    TDibGraphic* ShownImage() const;

    // Fits the shown stack to the view's size (shown on screen or not), lets
    // the zoom slider limit it about the view's centre and repaints.
    void FitShownStack();
    // Where image, a frame of stack, is drawn: every frame is centred on the
    // point that the stack's first frame is centred on.
    static QRect FrameRect(const TStack& stack, const TDibGraphic& image);

protected:
    // Key preview and the window-wide wheel.
    bool eventFilter(QObject* watched, QEvent* event) override;

    const IWindowAdapter& Windows;

private:
    enum class TWheelTarget { None, Frames, Speed, Zoom, Series };

    bool Contains(QWidget* control, QPoint globalPos) const;
    TWheelTarget WheelTarget(QPoint globalPos, Qt::KeyboardModifiers modifiers) const;
    // The user takes over the frame position (cine stops) and moves it to
    // position, limited by the frame slider.
    void GoToFrame(int position);
    bool ViewKeyDown(int key);
    // Selects the series button at index when it is shown; false otherwise.
    bool SelectSeries(int index);
    void WheelStep(TWheelTarget target, bool up);
    // Sets the stack's zoom and offsets by the fit rule for a view of the given
    // size, from its first frame; false when there is nothing to fit.
    bool FitStack(TStack& stack, QSize view) const;

    bool m_rightDrag = false;
    // The part of a wheel turn that has not made a whole step yet, and where it was turned.
    int m_wheelRest = 0;
    TWheelTarget m_wheelTarget = TWheelTarget::None;
};
