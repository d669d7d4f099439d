#include "DicomLoad.h"
#include "EDicomError.h"
#include "JpegMaker.h"
#include "MulDiv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

namespace T = DicomTag;

// Constant 8 x 8 blocks survive quality-100 compression (nearly) unchanged.
uint8_t BlockValue(int x, int y) { return uint8_t(30 + 60 * ((x / 8 + y / 8) % 4)); }

std::vector<uint8_t> BlockGrey(int w, int h)
{
    std::vector<uint8_t> p(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[size_t(y) * size_t(w) + size_t(x)] = BlockValue(x, y);
    return p;
}

std::string GreyJpeg(int w, int h, bool progressive = false)
{
    Jpeg8Options o;
    o.quality = 100;
    o.progressive = progressive;
    return MakeJpeg8(w, h, 1, BlockGrey(w, h), o);
}

// 16 x 16 colour blocks: red-ish on the left half, blue-ish on the right.
std::string ColourJpeg(int w, int h)
{
    std::vector<uint8_t> p(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = &p[(size_t(y) * size_t(w) + size_t(x)) * 3];
            const bool left = x < w / 2;
            px[0] = left ? 200 : 20;
            px[1] = left ? 40 : 60;
            px[2] = left ? 30 : 220;
        }
    Jpeg8Options o;
    o.quality = 100;
    return MakeJpeg8(w, h, 3, p, o);
}

DicomWriter Compressed(int rows, int cols, int bits, int samples, const std::string& jpeg, uint16_t shift = 0,
                       uint16_t offset = 0)
{
    DicomWriter w;
    w.U16(T::SamplesPerPixel, uint16_t(samples)).U16(T::Rows, uint16_t(rows)).U16(T::Columns, uint16_t(cols));
    w.U16(T::BitsAllocated, uint16_t(bits)).U16(T::PrivateCompressedShift10, shift);
    if (offset)
        w.U16(T::PrivateSampleOffset, offset);
    w.Element(T::PixelData, jpeg);
    return w;
}

std::vector<uint16_t> Ramp12(int w, int h)
{
    std::vector<uint16_t> s(size_t(w) * size_t(h));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = uint16_t((i * 257) % 4096);
    return s;
}

bool Near(int a, int b, int tolerance) { return std::abs(a - b) <= tolerance; }

void PutBigEndian16(std::string& s, size_t at, int value)
{
    s[at] = char(value >> 8);
    s[at + 1] = char(value & 0xFF);
}

// The data stream with the size in its frame header (SOF) replaced.
std::string WithFrameSize(std::string jpeg, int width, int height)
{
    for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = uint8_t(jpeg[i + 1]);
        if (uint8_t(jpeg[i]) == 0xFF && marker >= 0xC0 && marker <= 0xC3) {
            PutBigEndian16(jpeg, i + 5, height);
            PutBigEndian16(jpeg, i + 7, width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

// Only headers: a frame (sof: 0xC1 sequential, 0xC2 progressive, 0xC3
// lossless) of components 1 x 1 sampled components, and a first scan over
// scanComponents of them. No tables: the codec needs none before it sets up
// its buffers.
std::string FrameHeaderOnly(int sof, int precision, int width, int height, int components, int scanComponents)
{
    std::string j = "\xFF\xD8";
    j += char(0xFF);
    j += char(sof);
    j += std::string(2, '\0');
    PutBigEndian16(j, j.size() - 2, 8 + 3 * components);
    j += char(precision);
    j += std::string(4, '\0');
    PutBigEndian16(j, j.size() - 4, height);
    PutBigEndian16(j, j.size() - 2, width);
    j += char(components);
    for (int c = 1; c <= components; ++c)
        j += std::string{char(c), char(0x11), char(0)};
    j += "\xFF\xDA";
    j += std::string(2, '\0');
    PutBigEndian16(j, j.size() - 2, 6 + 2 * scanComponents);
    j += char(scanComponents);
    for (int c = 1; c <= scanComponents; ++c)
        j += std::string{char(c), char(0)};
    const bool progressive = sof == 0xC2;
    j += std::string{char(progressive ? 0 : sof == 0xC3 ? 1 : 0), char(progressive ? 0 : sof == 0xC3 ? 0 : 63), char(0)};
    return j + "\xFF\xD9";
}

} // namespace

// --- 8-bit codec ----------------------------------------------------------------

TEST(DicomJpeg8, GreyBaselineDecodedIntoTheGreyImage)
{
    auto g = LoadDicom(Compressed(16, 24, 8, 1, GreyJpeg(24, 16)));
    ASSERT_EQ(g->ImageFormat(), ifGray256);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_TRUE(Near(g->ScanLine(y)[x], BlockValue(x, y), 1)) << x << "," << y;
    EXPECT_EQ(g->LogPalette()->palPalEntry[77].peRed, 77);
    EXPECT_EQ(g->XDotsPerInch(), 0);
}

TEST(DicomJpeg8, PrivateElement0001AlsoMarksCompression)
{
    DicomWriter w;
    w.U16(T::Rows, 8).U16(T::Columns, 8).U16(T::PrivateCompressedShift1, 0).Element(T::PixelData, GreyJpeg(8, 8));
    auto g = LoadDicom(w);
    EXPECT_TRUE(Near(g->ScanLine(0)[0], 30, 1));
}

TEST(DicomJpeg8, ProgressiveDecodes)
{
    auto g = LoadDicom(Compressed(16, 16, 8, 1, GreyJpeg(16, 16, true)));
    EXPECT_TRUE(Near(g->ScanLine(0)[0], BlockValue(0, 0), 1));
    EXPECT_TRUE(Near(g->ScanLine(15)[8], BlockValue(8, 15), 1));
}

TEST(DicomJpeg8, ColourDecodedAsBlueGreenRed)
{
    auto g = LoadDicom(Compressed(16, 32, 8, 3, ColourJpeg(32, 16)));
    ASSERT_EQ(g->ImageFormat(), ifTrueColor);
    const uint8_t* row = g->ScanLine(4);
    EXPECT_TRUE(Near(row[3 * 2 + 0], 30, 4));
    EXPECT_TRUE(Near(row[3 * 2 + 1], 40, 4));
    EXPECT_TRUE(Near(row[3 * 2 + 2], 200, 4));
    EXPECT_TRUE(Near(row[3 * 28 + 0], 220, 4));
    EXPECT_TRUE(Near(row[3 * 28 + 2], 20, 4));
}

TEST(DicomJpeg8, GreyDataInAThreeSampleImageFillsOutputWidthBytes)
{
    auto g = LoadDicom(Compressed(8, 8, 8, 3, GreyJpeg(8, 8)));
    ASSERT_EQ(g->ImageFormat(), ifTrueColor);
    const uint8_t* row = g->ScanLine(0);
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(Near(row[i], 30, 1)) << i;
    for (int i = 8; i < 24; ++i)
        EXPECT_EQ(row[i], 0) << i;
}

TEST(DicomJpeg8, TruncatedDataLoadsAndTheCodecFillsTheRest)
{
    // Noise keeps the scan data far larger than the header, so half the
    // stream still holds every table and the first rows.
    std::vector<uint8_t> noise(64 * 64);
    uint32_t seed = 12345;
    for (auto& v : noise) {
        seed = seed * 1103515245u + 12345u;
        v = uint8_t(seed >> 16);
    }
    Jpeg8Options o;
    o.quality = 100;
    const std::string full = MakeJpeg8(64, 64, 1, noise, o);
    auto g = LoadDicom(Compressed(64, 64, 8, 1, full.substr(0, full.size() / 2)));
    EXPECT_EQ(g->GetHeight(), 64);
    for (int x = 0; x < 64; ++x)
        ASSERT_TRUE(Near(g->ScanLine(0)[x], noise[size_t(x)], 2)) << x;
}

TEST(DicomJpeg8, EmptyAndForeignDataFailWithTheCodecsMessages)
{
    EXPECT_EQ(LoadError(Compressed(8, 8, 8, 1, "")), "Empty input file");
    EXPECT_EQ(LoadError(Compressed(8, 8, 8, 1, "ABCDEFGH")), "Not a JPEG file: starts with 0x41 0x42");
    std::string twelveBit = GreyJpeg(8, 8); // a frame header claiming 12-bit precision
    const size_t sof = twelveBit.find("\xFF\xC0", 0, 2);
    ASSERT_NE(sof, std::string::npos);
    twelveBit[sof + 4] = 12;
    EXPECT_EQ(LoadError(Compressed(8, 8, 8, 1, twelveBit)), "Unsupported JPEG data precision 12");
}

TEST(DicomJpeg8, FrameLargerThanTheImageIsRefusedBeforeDecoding)
{
    EXPECT_EQ(LoadError(Compressed(4, 5, 8, 1, GreyJpeg(32, 24))),
              "JPEG frame of 32 x 24 pixels is larger than the image (5 x 4)");
    EXPECT_EQ(LoadError(Compressed(24, 5, 8, 3, ColourJpeg(32, 16))),
              "JPEG frame of 32 x 16 pixels is larger than the image (5 x 24)");
    EXPECT_EQ(LoadError(Compressed(4, 32, 8, 3, ColourJpeg(32, 16))),
              "JPEG frame of 32 x 16 pixels is larger than the image (32 x 4)");
    // A 1 x 1 image whose progressive frame claims 65500 x 65500.
    EXPECT_EQ(LoadError(Compressed(1, 1, 8, 1, WithFrameSize(GreyJpeg(8, 8, true), 65500, 65500))),
              "JPEG frame of 65500 x 65500 pixels is larger than the image (1 x 1)");
    // Colour data where the header says one sample: same pixels, one row's bytes cut to the row.
    auto mixed = LoadDicom(Compressed(16, 32, 8, 1, ColourJpeg(32, 16)));
    EXPECT_TRUE(Near(mixed->ScanLine(0)[0], 30, 4));
}

TEST(DicomJpeg8, FramesBeyondTheCodecLimitsAreRefused)
{
    // Over 2^27 pixels, even inside an image that large.
    EXPECT_EQ(LoadError(Compressed(65535, 32767, 8, 1, WithFrameSize(GreyJpeg(8, 8), 30000, 30000))),
              "JPEG frame of 30000 x 30000 pixels is too large");
    // Progressive colour of 11000 x 11000 without subsampling: 726 MB of
    // coefficients, beyond the codec's working memory.
    const std::string progressive = FrameHeaderOnly(0xC2, 8, 11000, 11000, 3, 3);
    EXPECT_EQ(LoadError(Compressed(11000, 11000, 8, 3, progressive)), "Backing store not supported");
    // Far more scans than any picture has: each pass over the coefficients
    // costs time, so the decode ends at the limit.
    const std::string jpeg = GreyJpeg(16, 16, true);
    const size_t lastScan = jpeg.rfind("\xFF\xDA");
    ASSERT_NE(lastScan, std::string::npos);
    std::string many = jpeg.substr(0, jpeg.size() - 2);
    for (int i = 0; i < 1100; ++i)
        many += jpeg.substr(lastScan, jpeg.size() - 2 - lastScan);
    many += "\xFF\xD9";
    EXPECT_EQ(LoadError(Compressed(16, 16, 8, 1, many)), "JPEG data has more than 1000 scans");
    auto normal = LoadDicom(Compressed(16, 16, 8, 1, jpeg));
    EXPECT_TRUE(Near(normal->ScanLine(15)[15], BlockValue(15, 15), 1));
}

TEST(DicomJpeg8, SmallerJpegLeavesTheRestAsCreated)
{
    auto g = LoadDicom(Compressed(16, 16, 8, 1, GreyJpeg(8, 8)));
    EXPECT_TRUE(Near(g->ScanLine(7)[7], 30, 1));
    EXPECT_EQ(g->ScanLine(7)[8], 0);
    EXPECT_EQ(g->ScanLine(8)[0], 0);
}

// --- 12-bit codec ---------------------------------------------------------------

TEST(DicomJpeg12, LosslessSamplesArriveUnchanged)
{
    const auto samples = Ramp12(16, 8);
    auto g = LoadDicom(Compressed(8, 16, 16, 1, MakeJpeg12Lossless(16, 8, samples)));
    int lo = 4095, hi = 0;
    for (auto s : samples) {
        lo = std::min<int>(lo, s);
        hi = std::max<int>(hi, s);
    }
    EXPECT_EQ(g->MinValue(), lo);
    EXPECT_EQ(g->MaxValue(), hi);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const int s = samples[size_t(y) * 16 + size_t(x)];
            const int expected = s <= lo ? 0 : s >= hi ? 255 : MulDiv(s - lo, 255, hi - lo);
            ASSERT_EQ(g->ScanLine(y)[x], expected) << x << "," << y;
        }
}

TEST(DicomJpeg12, TwelveBitDctDecodes)
{
    std::vector<uint16_t> flat(64, 3000);
    for (size_t i = 32; i < 64; ++i)
        flat[i] = 1000;
    auto d = LoadDicom(Compressed(8, 8, 16, 1, MakeJpeg12Dct(8, 8, flat)));
    EXPECT_TRUE(Near(d->MinValue(), 1000, 40)) << d->MinValue();
    EXPECT_TRUE(Near(d->MaxValue(), 3000, 40)) << d->MaxValue();
    EXPECT_LT(d->ScanLine(7)[0], 10);
    EXPECT_GT(d->ScanLine(0)[0], 245);
}

TEST(DicomJpeg12, ShiftAndOffsetAppliedToDecodedSamples)
{
    std::vector<uint16_t> s = {4000, 1600, 16, 0};
    auto shifted = LoadDicom(Compressed(2, 2, 16, 1, MakeJpeg12Lossless(2, 2, s), 4));
    EXPECT_EQ(shifted->MaxValue(), 250);
    EXPECT_EQ(shifted->MinValue(), 0);
    auto both = LoadDicom(Compressed(2, 2, 16, 1, MakeJpeg12Lossless(2, 2, s), 4, 1000));
    EXPECT_EQ(both->MaxValue(), 250 - 1000);
    EXPECT_EQ(both->MinValue(), -1000);
    auto offset = LoadDicom(Compressed(2, 2, 16, 1, MakeJpeg12Lossless(2, 2, {1500, 1500, 1500, 0}), 0, 1000));
    EXPECT_EQ(offset->MaxValue(), 500);
    EXPECT_EQ(offset->MinValue(), -1000);
    // The shift counts modulo 32: 36 acts as 4.
    auto wrapped = LoadDicom(Compressed(2, 2, 16, 1, MakeJpeg12Lossless(2, 2, s), 36));
    EXPECT_EQ(wrapped->MaxValue(), 250);
}

TEST(DicomJpeg12, SixteenBitLosslessMustBeRefused)
{
    std::vector<uint16_t> s = {0, 40000, 65535, 12};
    EXPECT_EQ(LoadError(Compressed(2, 2, 16, 1, MakeJpeg16Lossless(2, 2, s))),
              "Must downscale data from 16 bits to 12");
}

TEST(DicomJpeg12, EightBitBaselineInA16BitImageIsACodecError)
{
    EXPECT_EQ(LoadError(Compressed(8, 8, 16, 1, GreyJpeg(8, 8))), "Error: C RTL longjmp called");
    EXPECT_EQ(LoadError(Compressed(8, 8, 16, 1, "not a jpeg at all")), "Error: C RTL longjmp called");
    // Nothing at all: the source's premature-end warning, which ends the decode.
    EXPECT_EQ(LoadError(Compressed(8, 8, 16, 1, "")), "Premature end of JPEG file");
}

TEST(DicomJpeg12, CutShortDataEndsWithAWarningNeverReadsPastTheBlock)
{
    const std::string full = MakeJpeg12Lossless(32, 32, Ramp12(32, 32));
    const std::string error = LoadError(Compressed(32, 32, 16, 1, full.substr(0, full.size() / 2)));
    EXPECT_NE(error.find("Premature end"), std::string::npos) << error;
    // Only the header: the decoder asks for more right away.
    const std::string headerOnly = LoadError(Compressed(32, 32, 16, 1, full.substr(0, 20)));
    EXPECT_NE(headerOnly, "no error");
}

TEST(DicomJpeg12, FrameSizeDecidesTheSamplesWithinTheImage)
{
    const auto samples = Ramp12(16, 16);
    EXPECT_EQ(LoadError(Compressed(4, 3, 16, 1, MakeJpeg12Lossless(16, 16, samples))),
              "JPEG frame of 16 x 16 pixels is larger than the image (3 x 4)");
    EXPECT_EQ(LoadError(Compressed(16, 15, 16, 1, MakeJpeg12Lossless(16, 16, samples))),
              "JPEG frame of 16 x 16 pixels is larger than the image (15 x 16)");
    // Over 2^27 pixels in an image that large.
    EXPECT_EQ(LoadError(Compressed(65535, 32767, 16, 1, WithFrameSize(MakeJpeg12Lossless(2, 2, samples), 20000, 20000))),
              "JPEG frame of 20000 x 20000 pixels is too large");
    // Several scans are buffered whole: three components of 10000 x 10000 need too much.
    EXPECT_EQ(LoadError(Compressed(10000, 10000, 16, 1, FrameHeaderOnly(0xC3, 12, 10000, 10000, 3, 1))),
              "JPEG frame of 10000 x 10000 pixels needs more than 256 MiB to decode");
    // A header of 32767 x 65535 with a 2 x 2 frame: only the frame's samples are made.
    auto tiny = LoadDicom(Compressed(65535, 32767, 16, 1, MakeJpeg12Lossless(2, 2, {100, 200, 300, 400})));
    EXPECT_EQ(tiny->MinValue(), 100);
    EXPECT_EQ(tiny->MaxValue(), 400);
    EXPECT_EQ(tiny->ScanLine(1)[1], 255);
    EXPECT_EQ(tiny->ScanLine(1)[2], 0);

    auto smaller = LoadDicom(Compressed(8, 8, 16, 1, MakeJpeg12Lossless(2, 2, {100, 200, 300, 400})));
    EXPECT_EQ(smaller->MinValue(), 100);
    EXPECT_EQ(smaller->MaxValue(), 400);
    EXPECT_EQ(smaller->ScanLine(1)[1], 255);
    EXPECT_EQ(smaller->ScanLine(7)[7], 0);
}
