// Gestures on the shown frame: window and level with the right button and
// its menu, "All", the frame slider and cine playback, Ctrl+C.
#include "FakeImages.h"
#include "TAquaSlider.h"
#include "TDisplayForm.h"
#include "TPaintBox.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Answers the next menu that opens modally: runs during (with the menu up),
// then clicks action, or closes the menu without a choice when it is null.
void AnswerMenu(QMenu* menu, QAction* action, std::function<void()> during = {})
{
    QTimer::singleShot(0, menu, [=] {
        if (during)
            during();
        if (action)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        else
            menu->close();
    });
}

struct Gestures {
    FakeWindowAdapter windows;
    TDisplayForm form{windows};

    Gestures() { form.PaintBox1->setGeometry(0, 0, 800, 600); }
    TStack& Add(std::unique_ptr<TStack> stack)
    {
        form.Model.Stacks.push_back(std::move(stack));
        TStack& s = *form.Model.Stacks.back();
        form.Model.ShownFrames = &s.FrameList;
        form.TrackBar1->SetMax(int(s.FrameList.size()) - 1);
        s.Zoom = 100;
        return s;
    }
    FakeDicom* Frame(TStack& s, size_t i) { return static_cast<FakeDicom*>(s.FrameList[i].get()); }
    void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        SendMouse(form, type, pos, button, buttons);
    }
    // A right-button drag answered in the menu with choice ("One" unless told).
    void RightDrag(QPoint from, QPoint to, QAction* choice = nullptr, std::function<void()> during = {})
    {
        Mouse(QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
        Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::RightButton);
        AnswerMenu(form.PopupMenu1, choice ? choice : form.One1, during);
        Mouse(QEvent::MouseButtonRelease, to, Qt::RightButton, Qt::NoButton);
    }
};

} // namespace

// ---- window and level with the right button ----

TEST(WindowLevelDrag, CentreAndWidthAreClampedFromThePressValues)
{
    Gestures g;
    TStack& s = g.Add(MakeStack(1, 64, 64));
    FakeDicom* img = g.Frame(s, 0);
    img->SetWindow(100, 50);
    g.Mouse(QEvent::MouseButtonPress, {400, 300}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(g.form.StartCenter, 100);
    EXPECT_EQ(g.form.StartWidth, 50);
    ASSERT_NE(QApplication::overrideCursor(), nullptr); // the "Cross" cursor
    g.Mouse(QEvent::MouseMove, {100, 300}, Qt::NoButton, Qt::RightButton); // 300 px left
    EXPECT_EQ(img->Center, 255);
    EXPECT_EQ(img->Width, 50);
    g.Mouse(QEvent::MouseMove, {395, 300 - 51}, Qt::NoButton, Qt::RightButton); // up by more than the width
    EXPECT_EQ(img->Center, 105); // taken from the press values, not accumulated
    EXPECT_EQ(img->Width, 1);
    g.Mouse(QEvent::MouseMove, {700, 400}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(img->Center, 0);
    EXPECT_EQ(img->Width, 150); // no upper limit on the width
    bool menuUp = false;
    AnswerMenu(g.form.PopupMenu1, g.form.One1, [&] {
        menuUp = g.form.PopupMenu1->isVisible();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    });
    g.Mouse(QEvent::MouseButtonRelease, {700, 400}, Qt::RightButton, Qt::NoButton);
    EXPECT_TRUE(menuUp);
    EXPECT_EQ(img->Center, 0); // "One" keeps the new window
    EXPECT_EQ(img->Width, 150);
}

TEST(WindowLevelDrag, FramesWithoutAWindowAreLeftAlone)
{
    Gestures g;
    TStack& s = g.Add(std::make_unique<TStack>());
    s.FrameList.push_back(MakePlain(8, 8, qRgb(10, 20, 30)));
    g.form.StartCenter = 7;
    g.Mouse(QEvent::MouseButtonPress, {400, 300}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(g.form.StartCenter, 7);
    g.Mouse(QEvent::MouseMove, {100, 300}, Qt::NoButton, Qt::RightButton);
    AnswerMenu(g.form.PopupMenu1, nullptr);
    g.Mouse(QEvent::MouseButtonRelease, {100, 300}, Qt::RightButton, Qt::NoButton);
    g.form.Cancel1Click();
    g.form.Reset1Click();
    g.form.All1Click();
    EXPECT_EQ(s.FrameList[0]->GetPixel(0, 0), 0x0A141Eu);
}

TEST(WindowLevelMenu, CancelReturnsToTheLastPressValues)
{
    Gestures g;
    TStack& s = g.Add(MakeStack(1, 64, 64));
    FakeDicom* img = g.Frame(s, 0);
    img->SetWindow(100, 80);
    g.RightDrag({400, 300}, {350, 300}); // centre 150
    g.RightDrag({400, 300}, {380, 310}); // from 150/80 to 170/90
    EXPECT_EQ(img->Center, 170);
    EXPECT_EQ(img->Width, 90);
    g.form.Cancel1Click();
    EXPECT_EQ(img->Center, 150);
    EXPECT_EQ(img->Width, 80);
}

TEST(WindowLevelMenu, ClosingWithoutAChoiceCancelsTheDrag)
{
    Gestures g;
    TStack& s = g.Add(MakeStack(1, 64, 64));
    FakeDicom* img = g.Frame(s, 0);
    img->SetWindow(100, 80);
    g.RightDrag({400, 300}, {350, 330}, nullptr); // one choice first: kept
    g.Mouse(QEvent::MouseButtonPress, {400, 300}, Qt::RightButton, Qt::RightButton);
    g.Mouse(QEvent::MouseMove, {300, 300}, Qt::NoButton, Qt::RightButton);
    ASSERT_EQ(img->Center, 250);
    AnswerMenu(g.form.PopupMenu1, nullptr); // Esc or a click elsewhere
    g.Mouse(QEvent::MouseButtonRelease, {300, 300}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(img->Center, 150);
    EXPECT_EQ(img->Width, 110);
}

TEST(WindowLevelMenu, CinePausesWhileTheMenuIsUpAndTheChoiceActsOnTheDraggedFrame)
{
    Gestures g;
    TStack& s = g.Add(MakeStack(3, 64, 64));
    g.form.TrackBar2->SetPosition(10); // 1 ms ticks
    g.form.TrackBar1->SetPosition(1);
    ASSERT_TRUE(g.form.Timer2->isActive());
    bool runningDuringMenu = true;
    int frameDuringMenu = -1;
    g.RightDrag({400, 300}, {390, 300}, g.form.Reset1, [&] {
        // Long enough for many ticks, had the timer run.
        QTest::qWait(30);
        runningDuringMenu = g.form.Timer2->isActive();
        frameDuringMenu = g.form.TrackBar1->Position();
    });
    EXPECT_FALSE(runningDuringMenu);
    EXPECT_EQ(frameDuringMenu, 1);
    EXPECT_EQ(g.Frame(s, 1)->Center, 128); // Reset on the frame that was dragged
    EXPECT_EQ(g.Frame(s, 1)->Width, 256);
    EXPECT_EQ(g.Frame(s, 1)->SetWindowCalls, 2);
    EXPECT_EQ(g.Frame(s, 0)->SetWindowCalls, 0);
    EXPECT_EQ(g.Frame(s, 2)->SetWindowCalls, 0);
    EXPECT_TRUE(g.form.Timer2->isActive()); // and cine goes on afterwards
    g.form.Timer2->stop();
}

TEST(WindowLevelMenu, ResetGivesTheDefaultsOnTheShownImageOnly)
{
    Gestures g;
    TStack& s = g.Add(MakeStack(2, 64, 64));
    g.Frame(s, 0)->SetWindow(10, 20);
    g.Frame(s, 1)->SetWindow(30, 40);
    g.form.TrackBar1->SetPosition(1);
    g.form.Reset1Click();
    EXPECT_EQ(g.Frame(s, 1)->Center, 128);
    EXPECT_EQ(g.Frame(s, 1)->Width, 256);
    EXPECT_EQ(g.Frame(s, 0)->Center, 10);
    EXPECT_EQ(g.Frame(s, 0)->Width, 20);
}

TEST(WindowLevelMenu, AllConvertsThroughStoredValues)
{
    Gestures g;
    TStack& s = g.Add(std::make_unique<TStack>());
    s.FrameList.push_back(MakeDicom(8, 8, 0, 0, 1000));
    s.FrameList.push_back(MakeDicom(8, 8, 0, 100, 600));
    s.FrameList.push_back(MakePlain(8, 8, qRgb(1, 2, 3)));
    g.Frame(s, 0)->SetWindow(64, 128);
    g.form.All1Click();
    // stored centre 251, width 502
    EXPECT_EQ(g.Frame(s, 0)->Center, 64);
    EXPECT_EQ(g.Frame(s, 0)->Width, 128);
    EXPECT_EQ(g.Frame(s, 1)->Center, 77);  // MulDiv(151, 255, 500)
    EXPECT_EQ(g.Frame(s, 1)->Width, 256);  // MulDiv(502, 255, 500)
    EXPECT_EQ(s.FrameList[2]->GetPixel(0, 0), 0x010203u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr); // the hourglass is gone
}

TEST(WindowLevelMenu, AllWithEmptySampleRangesCopiesThePaletteValues)
{
    Gestures g;
    TStack& s = g.Add(std::make_unique<TStack>());
    s.FrameList.push_back(MakeDicom(8, 8));            // 8-bit: range 0..0
    s.FrameList.push_back(MakeDicom(8, 8));
    s.FrameList.push_back(MakeDicom(8, 8, 0, 0, 4095)); // a 12-bit neighbour
    g.Frame(s, 0)->SetWindow(90, 30);
    g.form.All1Click();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g.Frame(s, i)->Center, 90) << i;
        EXPECT_EQ(g.Frame(s, i)->Width, 30) << i;
    }
}

// ---- frame slider and cine ----

TEST(Cine, SpeedSetsTheTimerInterval)
{
    Gestures g;
    struct Case {
        int speed, interval;
        bool running;
    };
    for (Case c : {Case{1, 451, true}, Case{6, 201, true}, Case{10, 1, true}, Case{0, 501, false}}) {
        g.form.TrackBar2->SetPosition(c.speed);
        g.form.TrackBar2Change();
        EXPECT_EQ(g.form.Timer2->interval(), c.interval) << c.speed;
        EXPECT_EQ(g.form.Timer2->isActive(), c.running) << c.speed;
    }
}

TEST(Cine, TicksLoopFromTheLastFrameToTheFirst)
{
    Gestures g;
    g.Add(MakeStack(3, 8, 8));
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
        g.form.Timer2Timer();
        seen.push_back(g.form.TrackBar1->Position());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 0, 1, 2}));
}

TEST(Cine, OneFrameDoesNotRepaintOnTicks)
{
    Gestures g;
    g.Add(MakeStack(1, 8, 8));
    g.form.resize(800, 600);
    g.form.show();
    QApplication::processEvents();
    int paints = 0;
    auto paint = g.form.PaintBox1->OnPaint;
    g.form.PaintBox1->OnPaint = [&](TPaintBox* box, QPainter& canvas) {
        ++paints;
        paint(box, canvas);
    };
    g.form.TrackBar1Change();
    EXPECT_EQ(paints, 1); // repainted at once, before the handler returned
    for (int i = 0; i < 3; ++i)
        g.form.Timer2Timer();
    EXPECT_EQ(paints, 1);
}

TEST(Cine, APressOnTheImagePausesAndTheReleaseResumes)
{
    Gestures g;
    g.Add(MakeStack(3, 8, 8));
    g.form.TrackBar2->SetPosition(5);
    ASSERT_TRUE(g.form.Timer2->isActive());
    g.Mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(g.form.Timer2->isActive());
    g.Mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(g.form.Timer2->isActive());
    g.form.Timer2->stop();
    g.Mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    g.Mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(g.form.Timer2->isActive());
}

TEST(Cine, GrabbingTheFrameSliderStopsPlaybackAndTheSpeedSliderReappliesIt)
{
    Gestures g;
    g.Add(MakeStack(3, 8, 8));
    g.form.TrackBar2->SetPosition(4);
    g.form.TrackBar1MouseDown(Qt::LeftButton);
    EXPECT_EQ(g.form.TrackBar2->Position(), 0);
    EXPECT_FALSE(g.form.Timer2->isActive());
    g.form.TrackBar2->SetPosition(7);
    g.form.Timer2->stop();
    g.form.TrackBar2MouseDown(Qt::RightButton);
    EXPECT_FALSE(g.form.Timer2->isActive());
    g.form.TrackBar2MouseDown(Qt::LeftButton);
    EXPECT_TRUE(g.form.Timer2->isActive());
    EXPECT_EQ(g.form.Timer2->interval(), 151);
}

// ---- Ctrl+C ----

TEST(CopyImage, NothingIsCopiedWithoutACase)
{
    Gestures g;
    QApplication::clipboard()->setText("before");
    EXPECT_FALSE(g.form.FormKeyDown(Qt::Key_C, Qt::ControlModifier));
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    EXPECT_TRUE(QApplication::clipboard()->image().isNull());
}

TEST(CopyImage, CopiesTheShownImageAsWindowed)
{
    Gestures g;
    TStack& s = g.Add(std::make_unique<TStack>());
    s.FrameList.push_back(MakeDicom(6, 4, 200));
    g.Frame(s, 0)->SetWindow(100, 50); // 200 is above the window: white
    EXPECT_FALSE(g.form.FormKeyDown(Qt::Key_C, Qt::NoModifier));
    EXPECT_FALSE(g.form.FormKeyDown(Qt::Key_V, Qt::ControlModifier));
    EXPECT_TRUE(g.form.FormKeyDown(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier));
    const QImage copied = QApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(6, 4));
    EXPECT_EQ(copied.pixel(3, 2) & 0xFFFFFF, 0xFFFFFFu);
}
