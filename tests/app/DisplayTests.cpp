// Painting the shown frame: the fit, the image rectangle and its margins,
// zoom about the view's centre and panning.
#include "FakeImages.h"
#include "TAquaSlider.h"
#include "TDisplayForm.h"
#include "TPaintBox.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

struct Display {
    FakeWindowAdapter windows;
    TDisplayForm form{windows};

    explicit Display(int viewWidth, int viewHeight) { form.PaintBox1->setGeometry(0, 0, viewWidth, viewHeight); }
    TStack& Add(std::unique_ptr<TStack> stack)
    {
        form.Model.Stacks.push_back(std::move(stack));
        form.Model.ShownFrames = &form.Model.Stacks.back()->FrameList;
        return *form.Model.Stacks.back();
    }
    QImage Paint(QRgb fill = qRgb(1, 2, 3))
    {
        QImage img(form.PaintBox1->size(), QImage::Format_RGB32);
        img.fill(fill);
        QPainter p(&img);
        form.PaintBox1Paint(p);
        return img;
    }
    void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        SendMouse(form, type, pos, button, buttons);
    }
};

int FitZoom(int imageHeight, int viewHeight)
{
    Display d(800, viewHeight);
    TStack& s = d.Add(MakeStack(1, 100, imageHeight));
    d.Paint();
    return s.Zoom;
}

} // namespace

// ---- the fit on first paint ----

TEST(DisplayFit, FollowsTheViewHeightInStepsOfTen)
{
    EXPECT_EQ(FitZoom(256, 600), 230); // 234 -> 230
    EXPECT_EQ(FitZoom(256, 280), 100); // 109 -> 100
    EXPECT_EQ(FitZoom(256, 300), 100); // 117 -> 110, within 90..110
    EXPECT_EQ(FitZoom(4000, 600), 50); // 15 -> 10, raised to the minimum
    EXPECT_EQ(FitZoom(64, 600), 930);  // no upper limit here
}

TEST(DisplayFit, CentresTheScaledImage)
{
    Display d(800, 600);
    TStack& s = d.Add(MakeStack(1, 300, 256));
    d.Paint();
    // 300 x 256 at 230 %: 690 x 589 (MulDiv rounds 588.8)
    EXPECT_EQ(s.OffsetX, (800 - 690) / 2);
    EXPECT_EQ(s.OffsetY, (600 - 589) / 2);
}

TEST(DisplayFit, AFittedStackIsNotFittedAgain)
{
    Display d(800, 600);
    TStack& s = d.Add(MakeStack(1, 100, 256));
    s.Zoom = 75;
    s.OffsetX = -20;
    s.OffsetY = 13;
    d.Paint();
    EXPECT_EQ(s.Zoom, 75);
    EXPECT_EQ(s.OffsetX, -20);
    EXPECT_EQ(s.OffsetY, 13);
}

TEST(DisplayFit, OverFourHundredIsLimitedAboutTheCentreWhenTheSliderTakesIt)
{
    Display d(800, 600);
    TStack& s = d.Add(MakeStack(1, 64, 64));
    d.Paint();
    ASSERT_EQ(s.Zoom, 930);
    ASSERT_EQ(s.OffsetX, 102); // (800 - 595) / 2
    ASSERT_EQ(s.OffsetY, 2);   // (600 - 595) / 2
    d.form.TrackBar3->SetPosition(s.Zoom);
    EXPECT_EQ(d.form.TrackBar3->Position(), 400);
    EXPECT_EQ(s.Zoom, 400);
    EXPECT_EQ(s.OffsetX, 400 - 128); // 400 + MulDiv(102 - 400, 400, 930)
    EXPECT_EQ(s.OffsetY, 300 - 128); // 300 + MulDiv(2 - 300, 400, 930)
}

// ---- the image rectangle and the margins ----

TEST(DisplayPaint, MarginsAreBlackAndTheRectangleShowsTheImage)
{
    Display d(200, 100);
    TStack& s = d.Add(std::make_unique<TStack>());
    s.FrameList.push_back(MakePlain(40, 20, qRgb(200, 30, 40)));
    s.Zoom = 100;
    s.OffsetX = 50;
    s.OffsetY = 30;
    const QImage img = d.Paint();
    EXPECT_EQ(img.pixel(60, 40), qRgb(200, 30, 40));
    EXPECT_EQ(img.pixel(50, 30), qRgb(200, 30, 40));
    EXPECT_EQ(img.pixel(89, 49), qRgb(200, 30, 40));
    for (QPoint p : {QPoint(0, 0), QPoint(49, 40), QPoint(90, 40), QPoint(60, 29), QPoint(60, 50), QPoint(199, 99)})
        EXPECT_EQ(img.pixel(p), qRgb(0, 0, 0)) << p.x() << "," << p.y();
}

TEST(DisplayPaint, ImageOutOfViewFillsEverythingBlack)
{
    Display d(200, 100);
    TStack& s = d.Add(MakeStack(1, 40, 20));
    s.Zoom = 100;
    s.OffsetX = -500;
    s.OffsetY = 400;
    const QImage img = d.Paint();
    for (QPoint p : {QPoint(0, 0), QPoint(100, 50), QPoint(199, 99)})
        EXPECT_EQ(img.pixel(p), qRgb(0, 0, 0));
}

TEST(DisplayPaint, NothingToShowGivesABlackView)
{
    Display d(120, 80);
    EXPECT_EQ(d.Paint().pixel(60, 40), qRgb(0, 0, 0)); // no stack
    d.Add(std::make_unique<TStack>());
    EXPECT_EQ(d.Paint().pixel(60, 40), qRgb(0, 0, 0)); // empty stack
    TStack& s = *d.form.Model.Stacks.back();
    s.FrameList.push_back(std::make_unique<TDibGraphic>()); // an image of height 0
    EXPECT_EQ(d.Paint().pixel(60, 40), qRgb(0, 0, 0));
    EXPECT_EQ(s.Zoom, 0); // and nothing was divided by it
}

// ---- zoom about the centre ----

TEST(DisplayZoom, KeepsTheImagePointAtTheCentre)
{
    Display d(800, 600);
    TStack& s = d.Add(MakeStack(1, 100, 100));
    s.Zoom = 200;
    s.OffsetX = 100;
    s.OffsetY = 50;
    d.form.TrackBar3->SetPosition(100);
    EXPECT_EQ(s.Zoom, 100);
    EXPECT_EQ(s.OffsetX, 400 + (100 - 400) / 2);
    EXPECT_EQ(s.OffsetY, 300 + (50 - 300) / 2);
    d.form.TrackBar3->SetPosition(300);
    EXPECT_EQ(s.Zoom, 300);
    EXPECT_EQ(s.OffsetX, 400 + (250 - 400) * 3);
}

TEST(DisplayZoom, AnUnfittedStackIsNotDividedByItsZeroZoom)
{
    Display d(800, 600);
    TStack& s = d.Add(std::make_unique<TStack>());
    d.form.TrackBar3->SetPosition(100);
    EXPECT_EQ(s.Zoom, 0); // still waiting for its fit
    EXPECT_EQ(s.OffsetX, 0);
    s.FrameList.push_back(MakeDicom(100, 256));
    d.Paint();
    EXPECT_EQ(s.Zoom, 230);
}

TEST(DisplayZoom, NoStackNoChange)
{
    Display d(800, 600);
    d.form.TrackBar3->SetPosition(100);
    EXPECT_TRUE(d.form.Model.Stacks.empty());
}

// ---- pan ----

TEST(DisplayPan, LeftDragMovesTheOffsetsWithoutLimit)
{
    Display d(800, 600);
    TStack& s = d.Add(MakeStack(1, 100, 100));
    s.Zoom = 100;
    d.Mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    d.Mouse(QEvent::MouseMove, {130, 90}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(s.OffsetX, 30);
    EXPECT_EQ(s.OffsetY, -10);
    d.Mouse(QEvent::MouseMove, {-2000, 90}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(s.OffsetX, 30 - 2130);
    d.Mouse(QEvent::MouseButtonRelease, {-2000, 90}, Qt::LeftButton, Qt::NoButton);
    d.Mouse(QEvent::MouseMove, {0, 0}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(s.OffsetX, 30 - 2130);
}

TEST(DisplayPan, BothButtonsPan)
{
    Display d(800, 600);
    TStack& s = d.Add(MakeStack(1, 100, 100));
    auto* image = static_cast<FakeDicom*>(s.FrameList[0].get());
    s.Zoom = 100;
    d.Mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    d.Mouse(QEvent::MouseMove, {110, 100}, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(s.OffsetX, 10);
    EXPECT_EQ(image->SetWindowCalls, 0);
    d.Mouse(QEvent::MouseButtonRelease, {110, 100}, Qt::LeftButton, Qt::NoButton);
}
