#include "TDisplayForm.h"

#include "AppResources.h"
#include "IWindowAdapter.h"
#include "MulDiv.h"
#include "TAquaRadio.h"
#include "TAquaSlider.h"
#include "TPaintBox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

namespace {

const QColor kViewBackground(Qt::black);
// One notch of a mouse wheel, in angle-delta units (eighths of a degree).
constexpr int kWheelNotch = 120;
// More than any wheel sends at once; bounds the steps one event can make.
constexpr int kMaxWheelDelta = 10 * kWheelNotch;
// Page Up and Page Down move by this part of the stack.
constexpr int kPageDivisor = 10;
constexpr int kZoomWheelStep = 50;

// The hourglass for the length of a command.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TDisplayForm::TDisplayForm(const IWindowAdapter& windows, QWidget* parent) : QWidget(parent), Windows(windows)
{
    Panel3 = new QWidget(this);
    for (int i = 0; i < 15; ++i) {
        auto* r = new TAquaRadio(Panel3);
        r->Tag = i;
        r->SetCaption(QString(QChar('A' + i)));
        r->setGeometry(8, 40 + 24 * i, 41, 21);
        SeriesButtons[size_t(i)] = r;
    }

    PaintBox1 = new TPaintBox(this, true);
    PaintBox1->setCursor(AppCursor(crHand));
    PaintBox1->OnPaint = [this](TPaintBox*, QPainter& canvas) { PaintBox1Paint(canvas); };
    PaintBox1->OnMouseDown = [this](TPaintBox*, QMouseEvent* e) { PaintBox1MouseDown(e); };
    PaintBox1->OnMouseMove = [this](TPaintBox*, QMouseEvent* e) { PaintBox1MouseMove(e); };
    PaintBox1->OnMouseUp = [this](TPaintBox*, QMouseEvent* e) { PaintBox1MouseUp(e); };
    // The second press of a double-click is a press as well, so that its release pairs up.
    PaintBox1->OnDblClick = [this](TPaintBox*, QMouseEvent* e) {
        PaintBox1MouseDown(e);
        PaintBox1DblClick(e);
    };

    TrackBar1 = new TAquaSlider(this);
    TrackBar1->SetMax(0);
    TrackBar1->OnChange = [this](TAquaSlider*) { TrackBar1Change(); };
    TrackBar1->OnMouseDown = [this](TAquaSlider*, Qt::MouseButton b, int, int) { TrackBar1MouseDown(b); };

    TrackBar2 = new TAquaSlider(this);
    TrackBar2->SetOrientation(trVertical);
    TrackBar2->SetMax(10);
    TrackBar2->SetPosition(6);
    TrackBar2->Tag = 6;
    TrackBar2->OnChange = [this](TAquaSlider*) { TrackBar2Change(); };
    TrackBar2->OnMouseDown = [this](TAquaSlider*, Qt::MouseButton b, int, int) { TrackBar2MouseDown(b); };

    TrackBar3 = new TAquaSlider(this);
    TrackBar3->SetOrientation(trVertical);
    TrackBar3->SetMax(400);
    TrackBar3->SetMin(50);
    TrackBar3->SetPosition(200);
    TrackBar3->OnChange = [this](TAquaSlider*) { TrackBar3Change(); };

    Timer2 = new QTimer(this);
    Timer2->setInterval(0);
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });

    PopupMenu1 = new QMenu(this);
    One1 = PopupMenu1->addAction("One");
    All1 = PopupMenu1->addAction("All");
    Cancel1 = PopupMenu1->addAction("Cancel");
    Reset1 = PopupMenu1->addAction("Reset");
    connect(All1, &QAction::triggered, this, [this] { All1Click(); });
    connect(Cancel1, &QAction::triggered, this, [this] { Cancel1Click(); });
    connect(Reset1, &QAction::triggered, this, [this] { Reset1Click(); });

    qApp->installEventFilter(this);
}

TDisplayForm::~TDisplayForm()
{
    qApp->removeEventFilter(this);
}

TStack* TDisplayForm::ShownStack() const
{
    if (ShownSeries < 0 || size_t(ShownSeries) >= Model.Stacks.size())
        return nullptr;
    return Model.Stacks[size_t(ShownSeries)].get();
}

TDibGraphic* TDisplayForm::ShownImage() const
{
    TStack* stack = ShownStack();
    if (!stack)
        return nullptr;
    const int pos = TrackBar1->Position();
    if (pos < 0 || size_t(pos) >= stack->FrameList.size())
        return nullptr;
    return stack->FrameList[size_t(pos)].get();
}

bool TDisplayForm::FitStack(TStack& stack, QSize view) const
{
    if (stack.FrameList.empty())
        return false;
    const TDibGraphic& first = *stack.FrameList.front();
    const int w = first.GetWidth(), h = first.GetHeight();
    if (h <= 0 || w <= 0)
        return false;
    int z = view.height() * 100 / h;
    z -= z % 10;
    if (z >= 90 && z <= 110)
        z = 100;
    if (z < TrackBar3->Min())
        z = TrackBar3->Min();
    stack.OffsetX = (view.width() - MulDiv(w, z, 100)) / 2;
    stack.OffsetY = (view.height() - MulDiv(h, z, 100)) / 2;
    stack.Zoom = z;
    return true;
}

void TDisplayForm::FitShownStack()
{
    TStack* stack = ShownStack();
    if (!stack)
        return;
    const bool fitted = FitStack(*stack, PaintBox1->size());
    PaintBox1->repaint();
    TrackBar3->SetPosition(stack->Zoom);
    if (fitted) {
        stack->FitZoom = stack->Zoom;
        stack->FitOffsetX = stack->OffsetX;
        stack->FitOffsetY = stack->OffsetY;
    }
}

QRect TDisplayForm::FrameRect(const TStack& stack, const TDibGraphic& image)
{
    const int w = MulDiv(image.GetWidth(), stack.Zoom, 100), h = MulDiv(image.GetHeight(), stack.Zoom, 100);
    if (stack.FrameList.empty() || stack.FrameList.front().get() == &image)
        return QRect(stack.OffsetX, stack.OffsetY, w, h);
    const TDibGraphic& first = *stack.FrameList.front();
    const int w0 = MulDiv(first.GetWidth(), stack.Zoom, 100), h0 = MulDiv(first.GetHeight(), stack.Zoom, 100);
    return QRect(stack.OffsetX + (w0 - w) / 2, stack.OffsetY + (h0 - h) / 2, w, h);
}

void TDisplayForm::PaintBox1Paint(QPainter& canvas)
{
    const QRect view = PaintBox1->rect();
    TStack* stack = ShownStack();
    TDibGraphic* image = ShownImage();
    if (!stack || !image) {
        canvas.fillRect(view, kViewBackground);
        return;
    }
    try {
        const int w = image->GetWidth(), h = image->GetHeight();
        if (h <= 0 || w <= 0)
            throw std::runtime_error("empty image");
        if (stack->Zoom == 0 && !FitStack(*stack, view.size()))
            throw std::runtime_error("nothing to fit");
        const QRect r = FrameRect(*stack, *image);
        image->Draw(canvas, r);
        // Only the margins are filled, so the picture does not flicker.
        const int vw = view.width(), vh = view.height();
        if (r.top() > 0)
            canvas.fillRect(QRect(0, 0, vw, r.top()), kViewBackground);
        const int top = std::max(r.top(), 0), bottom = std::min(r.top() + r.height(), vh);
        if (bottom > top) {
            if (r.left() > 0)
                canvas.fillRect(QRect(0, top, r.left(), bottom - top), kViewBackground);
            const int right = r.left() + r.width();
            if (right < vw)
                canvas.fillRect(QRect(right, top, vw - right, bottom - top), kViewBackground);
        }
        const int below = r.top() + r.height();
        if (below < vh)
            canvas.fillRect(QRect(0, std::max(below, 0), vw, vh - std::max(below, 0)), kViewBackground);
    } catch (...) {
        canvas.fillRect(view, kViewBackground);
    }
}

void TDisplayForm::TrackBar3Change()
{
    TStack* stack = ShownStack();
    if (!stack)
        return;
    const int oldZoom = stack->Zoom;
    const int newZoom = TrackBar3->Position();
    // A stack that has not been fitted yet keeps waiting for its fit: there
    // is no old scale to re-scale from.
    if (oldZoom == 0)
        return;
    const int cx = PaintBox1->width() / 2, cy = PaintBox1->height() / 2;
    stack->OffsetX = cx + MulDiv(stack->OffsetX - cx, newZoom, oldZoom);
    stack->OffsetY = cy + MulDiv(stack->OffsetY - cy, newZoom, oldZoom);
    stack->Zoom = newZoom;
    PaintBox1->repaint();
}

void TDisplayForm::PaintBox1MouseDown(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::RightButton)
        return;
    CineWasRunning = Timer2->isActive();
    Timer2->stop();
    DragX = int(event->position().x());
    DragY = int(event->position().y());
    if (button == Qt::RightButton) {
        TDibGraphic* image = ShownImage();
        m_rightDrag = image && Windows.HasWindow(*image);
        if (m_rightDrag) {
            QApplication::setOverrideCursor(AppCursor(crCross));
            Windows.GetWindow(*image, StartCenter, StartWidth);
        }
    }
}

void TDisplayForm::PaintBox1MouseMove(QMouseEvent* event)
{
    const int x = int(event->position().x()), y = int(event->position().y());
    const Qt::MouseButtons buttons = event->buttons();
    if (buttons & Qt::LeftButton) {
        TStack* stack = ShownStack();
        if (!stack)
            return;
        stack->OffsetX += x - DragX;
        stack->OffsetY += y - DragY;
        DragX = x;
        DragY = y;
        PaintBox1->repaint();
    } else if (buttons == Qt::RightButton && m_rightDrag) {
        TDibGraphic* image = ShownImage();
        if (!image || !Windows.HasWindow(*image))
            return;
        const int center = std::clamp(StartCenter + (DragX - x), 0, 255);
        const int width = std::max(StartWidth + (y - DragY), 1);
        try {
            Windows.SetWindow(*image, center, width);
        } catch (...) {
            // the picture is repainted as it stands
        }
        PaintBox1->repaint();
    }
}

void TDisplayForm::PaintBox1MouseUp(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::RightButton)
        return;
    if (button == Qt::RightButton) {
        if (m_rightDrag) {
            QApplication::restoreOverrideCursor();
            m_rightDrag = false;
        }
        // Modal, with cine paused: the commands act on the frame the drag
        // changed. Closing the menu without a choice takes the drag back.
        if (!PopupMenu1->exec(event->globalPosition().toPoint()))
            Cancel1Click();
    }
    if (CineWasRunning)
        Timer2->start();
}

void TDisplayForm::PaintBox1DblClick(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        FitShownStack();
}

void TDisplayForm::Cancel1Click()
{
    TDibGraphic* image = ShownImage();
    if (!image || !Windows.HasWindow(*image))
        return;
    Windows.SetWindow(*image, StartCenter, StartWidth);
    PaintBox1->repaint();
}

void TDisplayForm::Reset1Click()
{
    TDibGraphic* image = ShownImage();
    if (!image || !Windows.HasWindow(*image))
        return;
    Windows.SetWindow(*image, 128, 256);
    PaintBox1->repaint();
}

void TDisplayForm::All1Click()
{
    TStack* stack = ShownStack();
    TDibGraphic* shown = ShownImage();
    if (!stack || !shown || !Windows.HasWindow(*shown))
        return;
    WaitCursor wait;
    int c = 0, w = 0, lo = 0, hi = 0;
    Windows.GetWindow(*shown, c, w);
    Windows.GetSampleRange(*shown, lo, hi);
    const int r = hi - lo;
    // Stored values, so that images with other sample ranges get the same
    // window. An empty range (every 8-bit image) has no such conversion: the
    // palette-unit values are then copied as they are.
    const int storedC = MulDiv(c, r, 255) + lo;
    const int storedW = MulDiv(w, r, 255);
    for (auto& g : stack->FrameList) {
        if (!Windows.HasWindow(*g))
            continue;
        int loG = 0, hiG = 0;
        Windows.GetSampleRange(*g, loG, hiG);
        const int rG = hiG - loG;
        if (r == 0 || rG == 0)
            Windows.SetWindow(*g, c, w);
        else
            Windows.SetWindow(*g, MulDiv(storedC - loG, 255, rG), MulDiv(storedW, 255, rG));
    }
}

void TDisplayForm::TrackBar1Change()
{
    PaintBox1->repaint();
}

void TDisplayForm::TrackBar1MouseDown(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        TrackBar2->SetPosition(0);
}

void TDisplayForm::TrackBar2Change()
{
    const int interval = (TrackBar2->Max() - TrackBar2->Position()) * 50 + 1;
    // A running timer restarts when its interval is set: only set a new one.
    if (Timer2->interval() != interval)
        Timer2->setInterval(interval);
    const bool run = TrackBar2->Position() > 0;
    if (run && !Timer2->isActive())
        Timer2->start();
    else if (!run)
        Timer2->stop();
}

void TDisplayForm::TrackBar2MouseDown(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        TrackBar2Change();
}

void TDisplayForm::Timer2Timer()
{
    TrackBar2Change();
    const int pos = TrackBar1->Position();
    // Loops from the last frame back to the first.
    TrackBar1->SetPosition(pos < TrackBar1->Max() ? pos + 1 : 0);
}

bool TDisplayForm::Contains(QWidget* control, QPoint globalPos) const
{
    return control->isVisible() && control->rect().contains(control->mapFromGlobal(globalPos));
}

TDisplayForm::TWheelTarget TDisplayForm::WheelTarget(QPoint globalPos, Qt::KeyboardModifiers modifiers) const
{
    if (Contains(TrackBar1, globalPos))
        return TWheelTarget::Frames;
    if (Contains(TrackBar2, globalPos))
        return TWheelTarget::Speed;
    if (Contains(TrackBar3, globalPos))
        return TWheelTarget::Zoom;
    if (Contains(Panel3, globalPos))
        return TWheelTarget::Series;
    if (Contains(PaintBox1, globalPos))
        return (modifiers & Qt::ControlModifier) ? TWheelTarget::Zoom : TWheelTarget::Frames;
    return TWheelTarget::None;
}

void TDisplayForm::WheelStep(TWheelTarget target, bool up)
{
    switch (target) {
    case TWheelTarget::Frames:
        GoToFrame(TrackBar1->Position() + (up ? 1 : -1));
        break;
    case TWheelTarget::Speed:
        TrackBar2->SetPosition(TrackBar2->Position() + (up ? 1 : -1));
        break;
    case TWheelTarget::Zoom:
        TrackBar3->SetPosition(TrackBar3->Position() + (up ? kZoomWheelStep : -kZoomWheelStep));
        break;
    case TWheelTarget::Series: {
        const int target = ShownSeries + (up ? -1 : 1);
        for (size_t i = 0; i < SeriesButtons.size(); ++i) {
            TAquaRadio* button = SeriesButtons[i];
            if (button->isHidden()) {
                if (i > 0)
                    SeriesButtons[i - 1]->SetChecked(true);
                break;
            }
            if (button->Tag == target) {
                button->SetChecked(true);
                break;
            }
        }
        break;
    }
    case TWheelTarget::None:
        break;
    }
}

bool TDisplayForm::FormMouseWheel(QPoint globalPos, int delta, Qt::KeyboardModifiers modifiers)
{
    const TWheelTarget target = WheelTarget(globalPos, modifiers);
    if (target == TWheelTarget::None)
        return false;
    // What was left over counts only while the wheel keeps its direction and control.
    if (target != m_wheelTarget || (m_wheelRest < 0) != (delta < 0))
        m_wheelRest = 0;
    m_wheelTarget = target;
    m_wheelRest += std::clamp(delta, -kMaxWheelDelta, kMaxWheelDelta);
    while (m_wheelRest >= kWheelNotch || m_wheelRest <= -kWheelNotch) {
        const bool up = m_wheelRest > 0;
        m_wheelRest += up ? -kWheelNotch : kWheelNotch;
        WheelStep(target, up);
    }
    return true;
}

void TDisplayForm::GoToFrame(int position)
{
    TrackBar1MouseDown(Qt::LeftButton);
    TrackBar1->SetPosition(position);
}

bool TDisplayForm::SelectSeries(int index)
{
    if (index < 0 || size_t(index) >= SeriesButtons.size() || SeriesButtons[size_t(index)]->isHidden())
        return false;
    SeriesButtons[size_t(index)]->SetChecked(true);
    return true;
}

bool TDisplayForm::ViewKeyDown(int key)
{
    // Elsewhere (the download manager, a report) the keys belong to the controls.
    if (!PaintBox1->isVisible())
        return false;
    const int frames = TrackBar1->Max() + 1;
    const int page = std::max(frames / kPageDivisor, 1);
    const int pos = TrackBar1->Position();
    switch (key) {
    case Qt::Key_Up: GoToFrame(pos + 1); return true;
    case Qt::Key_Down: GoToFrame(pos - 1); return true;
    case Qt::Key_PageUp: GoToFrame(pos + page); return true;
    case Qt::Key_PageDown: GoToFrame(pos - page); return true;
    case Qt::Key_Home: GoToFrame(TrackBar1->Min()); return true;
    case Qt::Key_End: GoToFrame(TrackBar1->Max()); return true;
    case Qt::Key_Left: SelectSeries(ShownSeries - 1); return true;
    case Qt::Key_Right: SelectSeries(ShownSeries + 1); return true;
    default: return false;
    }
}

bool TDisplayForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    constexpr Qt::KeyboardModifiers kCommandKeys = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (!(modifiers & kCommandKeys))
        return ViewKeyDown(key);
    if (!(modifiers & Qt::ControlModifier) || key != Qt::Key_C)
        return false;
    // Without a shown image the key goes on to the focused control.
    TDibGraphic* image = ShownImage();
    if (!image)
        return false;
    QGuiApplication::clipboard()->setImage(image->SaveToClipboardFormat());
    return true;
}

bool TDisplayForm::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Wheel && type != QEvent::KeyPress)
        return false;
    auto* target = qobject_cast<QWidget*>(watched);
    if (!target || (target != this && !isAncestorOf(target)))
        return false;
    if (type == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const int delta = wheel->angleDelta().y();
        if (delta == 0)
            return false;
        return FormMouseWheel(wheel->globalPosition().toPoint(), delta, wheel->modifiers());
    }
    auto* key = static_cast<QKeyEvent*>(event);
    return FormKeyDown(key->key(), key->modifiers());
}
