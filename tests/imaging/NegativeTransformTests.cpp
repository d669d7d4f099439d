#include "Exception.h"
#include "TDibGraphic.h"
#include "TNegativeTransform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
void Fill(TDibGraphic& g, uint8_t seed)
{
    for (int i = 0; i < g.GetHeight() * g.ScanLineSize(); ++i)
        g.Bits()[i] = uint8_t(seed + i * 37);
}
std::vector<uint8_t> Bytes(const TDibGraphic& g)
{
    return std::vector<uint8_t>(g.Bits(), g.Bits() + g.GetHeight() * g.ScanLineSize());
}
} // namespace

TEST(NegativeTransform, TwiceRestoresEveryFormatIncludingFillBytes)
{
    for (TImageFormat f : {ifBlackWhite, ifGray16, ifGray256, ifColor16, ifColor256, ifTrueColor}) {
        TDibGraphic g;
        g.NewImage(7, 5, f, nullptr, 96, 72);
        Fill(g, uint8_t(f));
        const auto before = Bytes(g);
        const TLogPalette pal = *g.LogPalette();
        TNegativeTransform t;
        t.Apply(g);
        if (f != ifColor16 && f != ifColor256) {
            EXPECT_NE(Bytes(g), before) << int(f);
        }
        t.Apply(g);
        EXPECT_EQ(Bytes(g), before) << int(f);
        EXPECT_EQ(0, std::memcmp(g.LogPalette(), &pal, sizeof pal)) << int(f);
        EXPECT_EQ(g.XDotsPerInch(), 96);
        EXPECT_EQ(g.YDotsPerInch(), 72);
    }
}

TEST(NegativeTransform, SinglePixelResultsPerFormat)
{
    TNegativeTransform t;
    TDibGraphic g8;
    g8.NewImage(2, 1, ifGray256, nullptr, 0, 0);
    g8.SetPixelIndex(0, 0, 0);
    t.Apply(g8);
    EXPECT_EQ(g8.GetPixelIndex(0, 0), 255);

    TDibGraphic bw;
    bw.NewImage(3, 1, ifBlackWhite, nullptr, 0, 0);
    bw.SetPixelIndex(1, 0, 1);
    t.Apply(bw);
    EXPECT_EQ(bw.GetPixelIndex(1, 0), 0);

    TDibGraphic g4;
    g4.NewImage(3, 1, ifGray16, nullptr, 0, 0);
    g4.SetPixelIndex(1, 0, 3);
    t.Apply(g4);
    EXPECT_EQ(g4.GetPixelIndex(1, 0), 12);

    TDibGraphic tc;
    tc.NewImage(1, 1, ifTrueColor, nullptr, 0, 0);
    tc.SetPixel(0, 0, (10u << 16) | (20u << 8) | 30u);
    t.Apply(tc);
    EXPECT_EQ(tc.GetPixel(0, 0), (245u << 16) | (235u << 8) | 225u);

    TDibGraphic c256;
    c256.NewImage(2, 1, ifColor256, nullptr, 0, 0);
    c256.SetPixelIndex(0, 0, 9);
    const TPaletteEntry e = c256.LogPalette()->palPalEntry[9];
    t.Apply(c256);
    EXPECT_EQ(c256.GetPixelIndex(0, 0), 9);
    EXPECT_EQ(c256.LogPalette()->palPalEntry[9].peRed, 255 - e.peRed);
    EXPECT_EQ(c256.LogPalette()->palPalEntry[9].peBlue, 255 - e.peBlue);
    EXPECT_EQ(c256.GetPixel(0, 0), uint32_t(255 - e.peRed) << 16 | uint32_t(255 - e.peGreen) << 8 | (255 - e.peBlue));
}

TEST(NegativeTransform, ProgressIsReportedOncePerPercentage)
{
    for (int rows : {1, 101, 7}) {
        TDibGraphic g;
        g.NewImage(4, rows, ifGray256, nullptr, 0, 0);
        TNegativeTransform t;
        std::vector<int> seen;
        t.OnTransformProgress = [&](TImageTransform*, int p) { seen.push_back(p); };
        t.Apply(g);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), 0);
        EXPECT_EQ(seen.back(), 100);
        for (size_t i = 1; i < seen.size(); ++i)
            EXPECT_NE(seen[i], seen[i - 1]);
        if (rows == 1) {
            EXPECT_EQ(seen, (std::vector<int>{0, 100}));
        }
        if (rows == 101) {
            ASSERT_EQ(seen.size(), 101u);
            for (int i = 0; i <= 100; ++i)
                EXPECT_EQ(seen[size_t(i)], i);
        }
    }
}

TEST(ImageTransform, BaseApplyOnDestIsNotImplemented)
{
    TImageTransform t;
    TDibGraphic a, b;
    try {
        t.ApplyOnDest(a, b);
        FAIL();
    } catch (const EKerbelinError& e) {
        EXPECT_STREQ(e.what(), "Method \"ApplyOnDest\" not implemented for TImageTransform class");
    }
    TNegativeTransform n;
    a.NewImage(2, 2, ifGray256, nullptr, 0, 0);
    a.SetPixelIndex(1, 1, 40);
    n.ApplyOnDest(a, b);
    EXPECT_EQ(a.GetPixelIndex(1, 1), 40);
    EXPECT_EQ(b.GetPixelIndex(1, 1), 215);
}
