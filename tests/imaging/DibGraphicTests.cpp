#include "Exception.h"
#include "ImageRegistry.h"
#include "TDibGraphic.h"
#include "TIconGraphic.h"
#include "TMemoryStream.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

TEST(DibLayout, ScanLineSizesAndRowAddresses)
{
    struct Case { int width; TImageFormat format; int expected; };
    const Case cases[] = {{1, ifBlackWhite, 4}, {33, ifBlackWhite, 8}, {3, ifTrueColor, 12}, {5, ifGray16, 4},
                          {5, ifColor256, 8}, {4, ifGray256, 4}, {9, ifColor16, 8}};
    for (const Case& c : cases) {
        TDibGraphic g;
        g.NewImage(c.width, 3, c.format, nullptr, 0, 0);
        EXPECT_EQ(g.ScanLineSize(), c.expected) << c.width << " " << int(c.format);
        EXPECT_EQ(g.BitmapInfo().bmiHeader.biSizeImage, uint32_t(3 * c.expected));
        EXPECT_EQ(g.ScanLine(0), g.Bits() + 2 * c.expected); // top row is last in memory
        EXPECT_EQ(g.ScanLine(2), g.Bits());
    }
}

TEST(DibLayout, HeaderAndPaletteAgreeForEveryFormat)
{
    const int entries[] = {2, 16, 256, 16, 256, 0};
    const int bits[] = {1, 4, 8, 4, 8, 24};
    for (int f = 0; f <= 5; ++f) {
        TDibGraphic g;
        g.NewImage(10, 10, TImageFormat(f), nullptr, 0, 0);
        const auto& h = g.BitmapInfo().bmiHeader;
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, bits[f]);
        EXPECT_EQ(h.biClrUsed, uint32_t(entries[f]));
        EXPECT_EQ(g.LogPalette()->palNumEntries, entries[f]);
        EXPECT_EQ(g.LogPalette()->palVersion, f == 5 ? 0 : 0x300);
        EXPECT_EQ(g.Converter() != nullptr, f != 5);
    }
    TDibGraphic bad;
    EXPECT_THROW(bad.NewImage(2, 2, TImageFormat(6), nullptr, 0, 0), EKerbelinError);
    EXPECT_TRUE(bad.GetEmpty());
    EXPECT_THROW(bad.NewImage(0, 2, ifGray256, nullptr, 0, 0), EKerbelinError);
    EXPECT_THROW(bad.NewImage(100000, 100000, ifTrueColor, nullptr, 0, 0), EKerbelinError);
    EXPECT_TRUE(bad.GetEmpty());
    EXPECT_EQ(bad.GetWidth(), 0);
    try {
        bad.SetWidth(3);
        FAIL();
    } catch (const EKerbelinError& e) {
        EXPECT_STREQ(e.what(), "Dimensions must be change with the NewImage method");
    }
}

TEST(DibLayout, DefaultPalettes)
{
    TDibGraphic g16, c16, c256;
    g16.NewImage(1, 1, ifGray16, nullptr, 0, 0);
    EXPECT_EQ(g16.LogPalette()->palPalEntry[15].peRed, 255);
    EXPECT_EQ(g16.LogPalette()->palPalEntry[3].peGreen, 51);
    c16.NewImage(1, 1, ifColor16, nullptr, 0, 0);
    EXPECT_EQ(c16.GetPixel(0, 0), 0u);
    c16.SetPixelIndex(0, 0, 6);
    EXPECT_EQ(c16.GetPixel(0, 0), 0xAA5500u);
    c256.NewImage(1, 1, ifColor256, nullptr, 0, 0);
    const TPaletteEntry* p = c256.LogPalette()->palPalEntry;
    EXPECT_EQ(p[12].peRed, 255);
    EXPECT_EQ(p[12].peGreen, 85);
    EXPECT_EQ(p[21].peRed, 69);   // grey ramp
    EXPECT_EQ(p[31].peRed, 255);
    EXPECT_EQ(p[32].peBlue, 255); // first ring starts at blue
    EXPECT_EQ(p[32].peRed, 0);
    EXPECT_EQ(p[36].peRed, 255);  // magenta
    EXPECT_EQ(p[36].peBlue, 255);
    EXPECT_EQ(p[40].peBlue, 0);   // red
    EXPECT_EQ(p[104].peBlue, 113); // the 113 rings start at blue 113
    EXPECT_EQ(p[176].peBlue, 65);  // the 65 rings start at blue 65
    EXPECT_EQ(p[247].peBlue, 65);
    for (int i = 248; i < 256; ++i)
        EXPECT_EQ(p[i].peRed | p[i].peGreen | p[i].peBlue, 0);
}

TEST(DibPixels, ReadersAndWritersPerFormat)
{
    TDibGraphic tc;
    tc.NewImage(3, 2, ifTrueColor, nullptr, 0, 0);
    uint8_t* px = tc.ScanLine(1) + 3;
    px[0] = 1; px[1] = 2; px[2] = 3;
    EXPECT_EQ(tc.GetPixel(1, 1), (3u << 16) | (2u << 8) | 1u);
    tc.SetPixel(2, 0, 0x00A0B0C0);
    EXPECT_EQ(tc.ScanLine(0)[6], 0xC0);
    EXPECT_EQ(tc.ScanLine(0)[8], 0xA0);
    try {
        tc.SetPixelIndex(0, 0, 1);
        FAIL();
    } catch (const EKerbelinError& e) {
        EXPECT_STREQ(e.what(), "The image does not have a palette");
    }
    EXPECT_THROW(tc.GetPixelIndex(0, 0), EKerbelinError);

    TDibGraphic bw;
    bw.NewImage(10, 1, ifBlackWhite, nullptr, 0, 0);
    bw.SetPixelIndex(9, 0, 1);
    EXPECT_EQ(bw.ScanLine(0)[1], 0x40); // bit 7 - (9 mod 8)
    bw.SetPixel(0, 0, 0xFFFFFF);
    EXPECT_EQ(bw.ScanLine(0)[0], 0x80);
    bw.SetPixelIndex(0, 0, 0);
    EXPECT_EQ(bw.ScanLine(0)[0], 0x00);

    TDibGraphic g4;
    g4.NewImage(3, 1, ifGray16, nullptr, 0, 0);
    g4.SetPixelIndex(0, 0, 0xA);
    g4.SetPixelIndex(1, 0, 0x5);
    g4.SetPixelIndex(2, 0, 0x1F); // only the low bits count
    EXPECT_EQ(g4.ScanLine(0)[0], 0xA5);
    EXPECT_EQ(g4.ScanLine(0)[1], 0xF0);
    EXPECT_EQ(g4.GetPixel(1, 0), 0x555555u);

    TDibGraphic g8;
    g8.NewImage(2, 1, ifGray256, nullptr, 0, 0);
    g8.SetPixelIndex(1, 0, 0x1C8);
    EXPECT_EQ(g8.GetPixelIndex(1, 0), 0xC8);
    g8.SetPixel(0, 0, 0x101010);
    EXPECT_EQ(g8.GetPixelIndex(0, 0), 0x10);
}

TEST(DibPixels, NearestIndexTiesGoLowAndRepeatsHitTheCache)
{
    TLogPalette pal{};
    pal.palVersion = 0x300;
    pal.palNumEntries = 3;
    pal.palPalEntry[0] = {0, 0, 0, 0};
    pal.palPalEntry[1] = {100, 0, 0, 0};
    pal.palPalEntry[2] = {200, 0, 0, 0};
    TRgbToPaletteConverter c(&pal);
    EXPECT_EQ(c.NearestIndex(150u << 16), 1); // exactly between 1 and 2
    EXPECT_EQ(c.MissCount(), 1u);
    EXPECT_EQ(c.NearestIndex(150u << 16), 1);
    EXPECT_EQ(c.HitCount(), 1u);
    EXPECT_EQ(c.NearestIndex(199u << 16), 2);
    // Same slot (colour mod 1020), other colour: replaces the slot.
    const uint32_t a = 5, b = 5 + 1020;
    c.NearestIndex(a);
    c.NearestIndex(b);
    const uint32_t misses = c.MissCount();
    c.NearestIndex(a);
    EXPECT_EQ(c.MissCount(), misses + 1);
    TLogPalette empty{};
    TRgbToPaletteConverter e(&empty);
    EXPECT_EQ(e.NearestIndex(0x123456), 0);
}

TEST(DibResolution, DotsPerInchRoundTrips)
{
    TDibGraphic g;
    g.NewImage(1, 1, ifGray256, nullptr, 96, 72);
    EXPECT_EQ(g.BitmapInfo().bmiHeader.biXPelsPerMeter, 3780);
    EXPECT_EQ(g.BitmapInfo().bmiHeader.biYPelsPerMeter, 2835);
    EXPECT_EQ(g.XDotsPerInch(), 96);
    EXPECT_EQ(g.YDotsPerInch(), 72);
    g.SetXDotsPerInch(0);
    EXPECT_EQ(g.XDotsPerInch(), 0);
    for (int dpi : {1, 150, 300, 600, 762, 1200, 65535}) {
        g.SetYDotsPerInch(uint16_t(dpi));
        EXPECT_EQ(g.YDotsPerInch(), dpi);
    }
    EXPECT_EQ(PelsPerMeterToDpi(3780), 96);
    EXPECT_EQ(DpiToPelsPerMeter(300), 11811);
}

TEST(DibAssign, CopiesFormatPaletteResolutionAndPixels)
{
    TDibGraphic src;
    TLogPalette pal{};
    pal.palVersion = 0x300;
    pal.palNumEntries = 5;
    pal.palPalEntry[4] = {9, 8, 7, 0};
    src.NewImage(5, 3, ifColor256, &pal, 96, 150);
    src.SetPixelIndex(4, 2, 4);
    src.FrameDelay = 55;
    TDibGraphic dst;
    dst.Assign(&src);
    EXPECT_EQ(dst.ImageFormat(), ifColor256);
    EXPECT_EQ(dst.LogPalette()->palNumEntries, 5);
    EXPECT_EQ(dst.GetPixel(4, 2), 0x090807u);
    EXPECT_EQ(dst.XDotsPerInch(), 96);
    EXPECT_EQ(dst.YDotsPerInch(), 150);
    EXPECT_EQ(dst.FrameDelay, 55);
    EXPECT_NE(dst.Bits(), src.Bits());

    TDibGraphic empty;
    dst.Assign(&empty);
    EXPECT_TRUE(dst.GetEmpty());
    EXPECT_EQ(dst.GetWidth(), 0);
    EXPECT_EQ(dst.GetHeight(), 0);
    src.Assign(nullptr);
    EXPECT_TRUE(src.GetEmpty());

    TDibGraphic self;
    self.NewImage(2, 2, ifGray256, nullptr, 0, 0);
    self.SetPixelIndex(1, 1, 77);
    self.Assign(&self);
    EXPECT_EQ(self.GetPixelIndex(1, 1), 77);
}

TEST(DibAssign, AssignToOtherClassesAndBitmaps)
{
    TDibGraphic g;
    g.NewImage(2, 2, ifTrueColor, nullptr, 0, 0);
    g.SetPixel(1, 0, 0x112233);
    TIconGraphic icon;
    g.AssignTo(icon);
    EXPECT_EQ(icon.GetPixel(1, 0), 0x112233u);
    EXPECT_FALSE(icon.ToIcon().isNull());

    QImage bitmap(3, 2, QImage::Format_RGB32);
    bitmap.fill(qRgb(1, 2, 3));
    bitmap.setPixel(2, 1, qRgb(200, 100, 50));
    bitmap.setDotsPerMeterX(3780);
    TDibGraphic fromBitmap;
    fromBitmap.Assign(bitmap);
    EXPECT_EQ(fromBitmap.ImageFormat(), ifTrueColor);
    EXPECT_EQ(fromBitmap.GetPixel(2, 1), 0xC86432u);
    EXPECT_EQ(fromBitmap.GetPixel(0, 0), 0x010203u);
    EXPECT_EQ(fromBitmap.XDotsPerInch(), 96);
    EXPECT_THROW(fromBitmap.LoadFromBitmapHandle(QImage()), EInvalidGraphic);

    QImage indexed(2, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(10, 20, 30)});
    indexed.setPixel(1, 0, 1);
    indexed.setPixel(0, 0, 0);
    fromBitmap.LoadFromClipboardFormat(indexed);
    EXPECT_EQ(fromBitmap.ImageFormat(), ifColor256);
    EXPECT_EQ(fromBitmap.GetPixel(1, 0), 0x0A141Eu);
}

TEST(DibDraw, SameSizeIsAnExactCopyAndOtherSizesScale)
{
    TDibGraphic g;
    g.NewImage(4, 3, ifGray256, nullptr, 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            g.SetPixelIndex(x, y, 10 * y + x);
    int afterDraw = 0;
    g.OnAfterDraw = [&](TDibGraphic* s) { EXPECT_EQ(s, &g); ++afterDraw; };
    QImage target(20, 20, QImage::Format_RGB32);
    target.fill(Qt::red);
    {
        QPainter p(&target);
        g.Draw(p, QRect(5, 7, 4, 3));
    }
    EXPECT_EQ(afterDraw, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(qRed(target.pixel(5 + x, 7 + y)), 10 * y + x) << x << "," << y;
    EXPECT_EQ(target.pixel(4, 7), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(5, 10), qRgb(255, 0, 0));

    // Window and level rewrite the palette; drawing follows without a pixel copy.
    uint8_t* bits = g.Bits();
    for (int i = 0; i < 256; ++i)
        g.LogPalette()->palPalEntry[i] = {uint8_t(255 - i), uint8_t(255 - i), uint8_t(255 - i), 0};
    g.RebuildPixelStore();
    EXPECT_EQ(g.Bits(), bits);
    EXPECT_EQ(g.GetPixel(1, 0), 0xFEFEFEu);
    {
        QPainter p(&target);
        g.Draw(p, QRect(0, 0, 8, 6)); // scaled
    }
    EXPECT_EQ(afterDraw, 2);
    EXPECT_GT(qRed(target.pixel(0, 0)), 200); // top-left source pixel was 0 -> 255
    EXPECT_LT(qRed(target.pixel(7, 5)), 240);

    const QImage shown = g.SaveToClipboardFormat();
    EXPECT_EQ(shown.size(), QSize(4, 3));
    EXPECT_EQ(shown.pixel(3, 2), qRgb(232, 232, 232)); // index 23 displayed as 255-23
}

TEST(DibDraw, FourBitAndOneBitImagesDraw)
{
    TDibGraphic g4;
    g4.NewImage(3, 2, ifColor16, nullptr, 0, 0);
    g4.SetPixelIndex(2, 1, 12);
    TDibGraphic g1;
    g1.NewImage(9, 2, ifBlackWhite, nullptr, 0, 0);
    g1.SetPixelIndex(8, 0, 1);
    QImage target(10, 10, QImage::Format_RGB32);
    target.fill(Qt::blue);
    QPainter p(&target);
    g4.Draw(p, QRect(0, 0, 3, 2));
    g1.Draw(p, QRect(0, 5, 9, 2));
    p.end();
    EXPECT_EQ(target.pixel(2, 1), qRgb(255, 85, 85));
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(8, 5), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(8, 6), qRgb(0, 0, 0));
}

namespace {
// Two images in a stream: the first byte of each page is its grey value.
class TPagedGraphic : public TDibGraphic {
public:
    const char* ClassName() const override { return "TPagedGraphic"; }
    std::unique_ptr<TDibGraphic> Create() const override { return std::make_unique<TPagedGraphic>(); }
    int GetImageCount(TStream& s) override { return int(s.Size() - s.Position()); }
    void LoadImage(TStream& s, int index) override
    {
        s.Seek(index - 1, soCurrent);
        uint8_t v;
        s.ReadBuffer(&v, 1);
        NewImage(1, 1, ifGray256, nullptr, 0, 0);
        SetPixelIndex(0, 0, v);
    }
};
} // namespace

TEST(DibFrames, MultiImageLoadShowFrameAndBounds)
{
    TMemoryStream s;
    s.Write("\x05\x07\x09", 3);
    s.SetPosition(0);
    TPagedGraphic g;
    g.MultiImage = true;
    g.LoadFromStream(s);
    ASSERT_EQ(g.FrameCount(), 3);
    EXPECT_EQ(g.CurrentFrame(), 1);
    EXPECT_EQ(g.GetPixelIndex(0, 0), 5);
    int changes = 0;
    g.OnChange = [&](TGraphic*) { ++changes; };
    g.ShowFrame(3);
    EXPECT_EQ(g.GetPixelIndex(0, 0), 9);
    EXPECT_EQ(changes, 1);
    g.ShowFrame(3); // same frame: nothing
    EXPECT_EQ(changes, 1);
    for (int bad : {0, 4}) {
        try {
            g.ShowFrame(bad);
            FAIL();
        } catch (const EKerbelinError& e) {
            EXPECT_EQ(std::string(e.what()), "Frame " + std::to_string(bad) + " does not exist");
        }
    }
    EXPECT_EQ(g.CurrentFrame(), 3);

    // Animation advances and wraps.
    g.FrameDelay = 5;
    g.SetAnimate(true);
    QElapsedTimer t;
    t.start();
    while (g.CurrentFrame() != 2 && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    g.SetAnimate(false);
    EXPECT_EQ(g.CurrentFrame(), 2); // 3 wrapped to 1, then 2

    // One image in the stream: not multi-image after all.
    TMemoryStream one;
    one.Write("\x02", 1);
    one.SetPosition(0);
    TPagedGraphic single;
    single.MultiImage = true;
    single.LoadFromStream(one);
    EXPECT_FALSE(single.MultiImage);
    EXPECT_EQ(single.FrameCount(), 0);
    EXPECT_EQ(single.GetPixelIndex(0, 0), 2);
}

TEST(DibMisc, BaseClassOperationsAndRegistry)
{
    TDibGraphic g;
    TMemoryStream s;
    EXPECT_EQ(g.GetImageCount(s), 1);
    try {
        g.AppendToStream(s);
        FAIL();
    } catch (const EKerbelinError& e) {
        EXPECT_STREQ(e.what(), "The TDibGraphic format does not support multiple images");
    }
    RegisterImageExtension("tst", "Test", [] { return std::make_unique<TDibGraphic>(); });
    const auto* r = FindImageExtension(".TsT");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->extension, "TST");
    EXPECT_EQ(r->description, "Test");
    EXPECT_EQ(FindImageExtension("nope"), nullptr);
}

TEST(DibDraw, SmallerGreyDrawingsAverageTheAreaAndFollowThePalette)
{
    TDibGraphic g;
    g.NewImage(4, 4, ifGray256, nullptr, 0, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            g.SetPixelIndex(x, y, (x < 2 ? 10 : 200) + (y < 2 ? 0 : 40)); // four 2 x 2 blocks
    g.SetPixelIndex(0, 0, 14); // the top-left block averages to 11
    QImage target(2, 2, QImage::Format_RGB32);
    auto draw = [&] {
        target.fill(Qt::red);
        QPainter p(&target);
        g.Draw(p, QRect(0, 0, 2, 2));
    };
    draw();
    EXPECT_EQ(qRed(target.pixel(0, 0)), 11);
    EXPECT_EQ(qRed(target.pixel(1, 0)), 200);
    EXPECT_EQ(qRed(target.pixel(0, 1)), 50);
    EXPECT_EQ(qRed(target.pixel(1, 1)), 240);
    // A window (palette) change shows at once; the pixels are not reduced again.
    for (int i = 0; i < 256; ++i)
        g.LogPalette()->palPalEntry[i] = {uint8_t(255 - i), uint8_t(255 - i), uint8_t(255 - i), 0};
    g.RebuildPixelStore();
    draw();
    EXPECT_EQ(qRed(target.pixel(1, 1)), 15);
    // Pixels changed in place are seen once they are announced.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            g.SetPixelIndex(x, y, 100);
    g.PixelsChanged();
    draw();
    EXPECT_EQ(qRed(target.pixel(0, 0)), 155);
}
