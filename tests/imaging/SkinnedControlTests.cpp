#include "TAquaRadio.h"
#include "TAquaSlider.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QImage Render(QWidget& w)
{
    QImage img(w.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

} // namespace

// ---- slider: range and position ----

TEST(AquaSliderRange, DefaultsAreTheDesignValues)
{
    TAquaSlider s;
    EXPECT_EQ(s.width(), 115);
    EXPECT_EQ(s.height(), 24);
    EXPECT_EQ(s.Min(), 0);
    EXPECT_EQ(s.Max(), 10);
    EXPECT_EQ(s.Position(), 0);
    EXPECT_TRUE(s.SliderVisible());
    EXPECT_EQ(s.Orientation(), trHorizontal);
    EXPECT_EQ(s.TickStyle(), tsAuto);
}

TEST(AquaSliderRange, PositionIsLimitedAndMaxNeverBelowMin)
{
    TAquaSlider s;
    s.SetMax(400);
    s.SetMin(50);
    s.SetPosition(20);
    EXPECT_EQ(s.Position(), 50);
    s.SetMax(10);
    EXPECT_EQ(s.Max(), 50);
    EXPECT_EQ(s.Position(), 50);
    s.SetMax(400);
    s.SetPosition(1000);
    EXPECT_EQ(s.Position(), 400);
}

TEST(AquaSliderRange, OnChangeOnlyForADifferentValueEvenWhenClampedBack)
{
    TAquaSlider s;
    s.SetMax(10);
    int changes = 0;
    s.OnChange = [&](TAquaSlider* sender) {
        EXPECT_EQ(sender, &s);
        ++changes;
    };
    s.SetPosition(0);
    EXPECT_EQ(changes, 0);
    s.SetPosition(10);
    EXPECT_EQ(changes, 1);
    s.SetPosition(25); // clamps to 10 again, still reported
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(s.Position(), 10);
}

TEST(AquaSliderRange, MinAndMaxNeverNotifyEvenWhenTheyMoveThePosition)
{
    TAquaSlider s;
    s.SetPosition(8);
    int changes = 0;
    s.OnChange = [&](TAquaSlider*) { ++changes; };
    s.SetMax(5);
    EXPECT_EQ(s.Position(), 5);
    s.SetMin(7);
    EXPECT_EQ(s.Position(), 7);
    EXPECT_EQ(changes, 0);
}

// ---- slider: geometry and painting ----

TEST(AquaSliderGeometry, HorizontalThumbFollowsPosition)
{
    TAquaSlider s;
    s.resize(115, 24);
    s.SetPosition(5);
    // HTHUMB is 17 wide: MulDiv(115 - 17, 5, 10) = 49
    EXPECT_EQ(s.ThumbRect(), QRect(49, 0, 17, 22));
    s.SetTickStyle(tsNone);
    EXPECT_EQ(s.ThumbRect().size(), QSize(17, 16)); // BALL
}

TEST(AquaSliderGeometry, VerticalMaxIsAtTheTop)
{
    TAquaSlider s;
    s.SetOrientation(trVertical);
    s.resize(24, 200);
    s.SetPosition(10);
    EXPECT_EQ(s.ThumbRect(), QRect(0, 0, 20, 19));
    s.SetPosition(0);
    EXPECT_EQ(s.ThumbRect().top(), 200 - 19);
}

TEST(AquaSliderGeometry, EmptyRangePaintsWithoutFailing)
{
    TAquaSlider s;
    s.resize(512, 24);
    s.SetMax(0);
    EXPECT_EQ(s.ThumbRect().left(), -1); // MulDiv by an empty range
    const QImage img = Render(s);
    EXPECT_EQ(img.width(), 512);
}

TEST(AquaSliderGeometry, GrooveAndTicksAreDrawnInTheirColours)
{
    TAquaSlider s;
    s.resize(115, 24);
    s.SetSliderVisible(false);
    const QImage img = Render(s);
    EXPECT_EQ(img.pixelColor(50, 5), QColor(80, 80, 80));
    EXPECT_EQ(img.pixelColor(50, 8), QColor(160, 164, 160));
    EXPECT_EQ(img.pixelColor(50, 11), QColor(200, 192, 200));
    EXPECT_EQ(img.pixelColor(1, 5), QColor(Qt::white)); // inset 2 on the first line
    // tick of value 0 at x = 17 div 2 = 8, rows 19..23
    EXPECT_EQ(img.pixelColor(8, 19), QColor(80, 80, 80));
    EXPECT_EQ(img.pixelColor(8, 23), QColor(80, 80, 80));
    EXPECT_EQ(img.pixelColor(9, 21), QColor(Qt::white));
    s.SetTickStyle(tsManual);
    EXPECT_EQ(Render(s).pixelColor(8, 21), QColor(Qt::white));
}

// ---- slider: mouse ----

TEST(AquaSliderMouse, PressDragAndReleaseMapToValuesAndKeepTrackingOutside)
{
    QWidget parent;
    auto* s = new TAquaSlider(&parent);
    s->resize(100, 24);
    int downs = 0;
    s->OnMouseDown = [&](TAquaSlider*, Qt::MouseButton b, int, int) {
        EXPECT_EQ(b, Qt::LeftButton);
        ++downs;
    };
    SendMouse(s, QEvent::MouseButtonPress, QPoint(30, 10), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(s->Position(), 3);
    EXPECT_EQ(downs, 1);
    SendMouse(s, QEvent::MouseMove, QPoint(75, 10), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(s->Position(), 8); // MulDiv(10, 75, 100) = 7.5 -> 8
    SendMouse(s, QEvent::MouseMove, QPoint(500, 10), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(s->Position(), 10);
    SendMouse(s, QEvent::MouseButtonRelease, QPoint(-40, 10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(s->Position(), 0);
    SendMouse(s, QEvent::MouseMove, QPoint(60, 10), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(s->Position(), 0); // no button held: no tracking
}

TEST(AquaSliderMouse, VerticalMapsFromTheBottom)
{
    TAquaSlider s;
    s.SetOrientation(trVertical);
    s.resize(24, 100);
    s.SetMax(400);
    s.SetMin(50);
    SendMouse(&s, QEvent::MouseButtonPress, QPoint(5, 0), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(s.Position(), 400);
    SendMouse(&s, QEvent::MouseButtonRelease, QPoint(5, 50), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(s.Position(), 225);
}

// ---- radio: group rule and notifications ----

struct RadioGroup {
    QWidget parent;
    std::vector<TAquaRadio*> radios;
    std::vector<int> clicks;
    RadioGroup()
    {
        for (int i = 0; i < 15; ++i) {
            auto* r = new TAquaRadio(&parent);
            r->Tag = i;
            r->resize(41, 21);
            r->OnClick = [this](TAquaRadio* sender) { clicks.push_back(sender->Tag); };
            radios.push_back(r);
        }
        parent.resize(89, 400);
    }
};

TEST(AquaRadioGroup, CheckingOneUnchecksTheCheckedOneWhichNotifiesOnce)
{
    RadioGroup g;
    g.radios[0]->SetChecked(true);
    g.clicks.clear();
    g.radios[4]->SetChecked(true);
    EXPECT_FALSE(g.radios[0]->Checked());
    EXPECT_TRUE(g.radios[4]->Checked());
    // the loser notifies first (while the winner's own notification is pending)
    EXPECT_EQ(g.clicks, (std::vector<int>{0, 4}));
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(g.radios[i]->Checked(), i == 4);
}

TEST(AquaRadioGroup, SettingTheSameValueDoesNothingAndUncheckingNotifies)
{
    RadioGroup g;
    g.radios[2]->SetChecked(false);
    EXPECT_TRUE(g.clicks.empty());
    g.radios[2]->SetChecked(true);
    g.radios[2]->SetChecked(false);
    EXPECT_EQ(g.clicks, (std::vector<int>{2, 2}));
}

TEST(AquaRadioGroup, ClickOnUncheckedNotifiesTwiceOnCheckedOnce)
{
    RadioGroup g;
    g.radios[0]->SetChecked(true);
    g.clicks.clear();
    TAquaRadio* r = g.radios[3];
    SendMouse(r, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
    EXPECT_STREQ(r->GlyphName(), "PRESSED");
    SendMouse(r, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(g.clicks, (std::vector<int>{0, 3, 3}));
    EXPECT_STREQ(r->GlyphName(), "ON");
    g.clicks.clear();
    SendMouse(r, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
    SendMouse(r, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(g.clicks, (std::vector<int>{3}));
}

TEST(AquaRadioGroup, ReleaseOutsideNeitherChecksNorClicks)
{
    RadioGroup g;
    TAquaRadio* r = g.radios[1];
    SendMouse(r, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
    SendMouse(r, QEvent::MouseButtonRelease, QPoint(200, 5), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(r->Checked());
    EXPECT_TRUE(g.clicks.empty());
    EXPECT_STREQ(r->GlyphName(), "OFF");
}

TEST(AquaRadioLook, DisabledShowsOffAndGreyText)
{
    QWidget parent;
    auto* r = new TAquaRadio(&parent);
    r->SetCaption("W");
    r->resize(41, 21);
    QFont f = r->font();
    f.setPixelSize(16);
    f.setBold(true);
    r->setFont(f);
    r->SetChecked(true);
    EXPECT_STREQ(r->GlyphName(), "ON");
    auto darkest = [&] {
        const QImage img = Render(*r);
        int best = 255;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 20; x < img.width(); ++x)
                best = std::min(best, qGray(img.pixel(x, y)));
        return best;
    };
    const int enabledInk = darkest();
    r->setEnabled(false);
    EXPECT_STREQ(r->GlyphName(), "OFF");
    const int disabledInk = darkest();
    EXPECT_LT(enabledInk, 60);
    EXPECT_GT(disabledInk, enabledInk + 40);
    EXPECT_LT(disabledInk, 250); // the caption is still drawn
}

TEST(AquaRadioLook, GlyphsLoadWithTransparentKey)
{
    TAquaRadio r;
    r.resize(41, 21);
    QImage img(r.size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    r.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    // the glyph sits at (0, (21 - 16) div 2): its bottom-left pixel is the key
    EXPECT_EQ(qAlpha(img.pixel(0, 2 + 15)), 0);
    EXPECT_GT(qAlpha(img.pixel(8, 2 + 8)), 200);
}
