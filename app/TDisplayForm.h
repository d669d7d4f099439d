#pragma once
// The image view and its gestures: painting the shown frame with its stack's
// zoom and offsets, zoom about the view's centre, pan with the left button,
// window and level with the right button and its menu, the frame slider and
// cine playback, mouse-wheel shortcuts and Ctrl+C. The main window derives
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
    bool FormMouseWheel(QPoint globalPos, int delta);
    // Ctrl+C copies the shown image; true when it did.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

    // The shown stack, or null when the shown index has none.
    TStack* ShownStack() const;
    // The frame at the frame slider's position in the shown stack, or null.
    TDibGraphic* ShownImage() const;

protected:
    // Key preview and the window-wide wheel.
    bool eventFilter(QObject* watched, QEvent* event) override;

    const IWindowAdapter& Windows;

private:
    bool Contains(QWidget* control, QPoint globalPos) const;
    bool m_rightDrag = false;
};
