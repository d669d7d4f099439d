#include "EJpegError.h"
#include "ImageRegistry.h"
#include "JpegMaker.h"
#include "TJpegGraphic.h"
#include "TJpegReader.h"
#include "TMemoryStream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

TMemoryStream StreamOf(const std::string& bytes)
{
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    s.SetPosition(0);
    return s;
}

std::string Bytes(TMemoryStream& s) { return std::string(reinterpret_cast<const char*>(s.Memory()), size_t(s.Size())); }

std::string JpegWithDensity(int unit, int x, int y)
{
    Jpeg8Options o;
    o.densityUnit = unit;
    o.xDensity = x;
    o.yDensity = y;
    return MakeJpeg8(8, 8, 1, std::vector<uint8_t>(64, 128), o);
}

// A stream that accepts nothing, or throws, on write.
class TFailingStream : public TMemoryStream {
public:
    explicit TFailingStream(bool throws) : m_throws(throws) {}
    int64_t Write(const void*, int64_t) override
    {
        if (m_throws)
            throw EWriteError("Stream write error");
        return 0;
    }

private:
    bool m_throws;
};

std::string LoadMessage(const std::string& bytes)
{
    try {
        TMemoryStream s = StreamOf(bytes);
        TJpegGraphic g;
        g.LoadImage(s, 1);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(JpegGraphicLoad, DensityRules)
{
    auto dpi = [](const std::string& jpeg) {
        TMemoryStream s = StreamOf(jpeg);
        TJpegGraphic g;
        g.LoadImage(s, 1);
        return std::make_pair(int(g.XDotsPerInch()), int(g.YDotsPerInch()));
    };
    EXPECT_EQ(dpi(JpegWithDensity(2, 38, 38)), std::make_pair(97, 97)); // 96.52
    EXPECT_EQ(dpi(JpegWithDensity(1, 72, 96)), std::make_pair(72, 96));
    EXPECT_EQ(dpi(JpegWithDensity(0, 72, 96)), std::make_pair(0, 0));
}

TEST(JpegGraphicLoad, GreyAndColourImages)
{
    std::vector<uint8_t> rgb(16 * 8 * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = 220;
        rgb[i + 1] = 100;
        rgb[i + 2] = 10;
    }
    Jpeg8Options o;
    o.quality = 100;
    TMemoryStream s = StreamOf(MakeJpeg8(16, 8, 3, rgb, o));
    TJpegGraphic colour;
    colour.LoadImage(s, 1);
    ASSERT_EQ(colour.ImageFormat(), ifTrueColor);
    EXPECT_EQ(colour.GetWidth(), 16);
    EXPECT_EQ(colour.GetHeight(), 8);
    const uint32_t c = colour.GetPixel(5, 5);
    EXPECT_LE(std::abs(int(c >> 16 & 0xFF) - 220), 4);
    EXPECT_LE(std::abs(int(c & 0xFF) - 10), 4);

    // Loaded from the stream's position, not its start.
    const std::string grey = MakeJpeg8(4, 4, 1, std::vector<uint8_t>(16, 77), o);
    TMemoryStream at = StreamOf("junk" + grey);
    at.SetPosition(4);
    TJpegGraphic g;
    g.LoadImage(at, 99);
    ASSERT_EQ(g.ImageFormat(), ifGray256);
    EXPECT_EQ(g.ScanLine(3)[3], 77);
}

TEST(JpegGraphicLoad, CodecMessagesAreFormatted)
{
    EXPECT_EQ(LoadMessage(""), "Empty input file");
    EXPECT_EQ(LoadMessage(std::string("\x12\x34rest", 6)), "Not a JPEG file: starts with 0x12 0x34");
}

TEST(JpegGraphicLoad, TruncatedDataIsCompletedAndTheWarningCounted)
{
    std::vector<uint8_t> noise(32 * 32);
    uint32_t seed = 7;
    for (auto& v : noise) {
        seed = seed * 1103515245u + 12345u;
        v = uint8_t(seed >> 16);
    }
    const std::string full = MakeJpeg8(32, 32, 1, noise);
    TMemoryStream s = StreamOf(full.substr(0, full.size() * 2 / 3));
    TJpegReader reader(s);
    reader.ReadHeader();
    reader.StartDecompress();
    std::vector<uint8_t> row(32);
    while (reader.OutputScanline() < reader.OutputHeight())
        reader.ReadScanline(row.data());
    reader.FinishDecompress();
    EXPECT_GE(reader.Warnings(), 1);

    TMemoryStream again = StreamOf(full.substr(0, full.size() * 2 / 3));
    TJpegGraphic g;
    g.LoadImage(again, 1);
    EXPECT_EQ(g.GetHeight(), 32);

    TMemoryStream whole = StreamOf(full);
    TJpegReader clean(whole);
    clean.ReadHeader();
    clean.StartDecompress();
    while (clean.OutputScanline() < clean.OutputHeight())
        clean.ReadScanline(row.data());
    clean.FinishDecompress();
    EXPECT_EQ(clean.Warnings(), 0);
}

TEST(JpegGraphicSave, RoundTripKeepsPixelsAndResolution)
{
    TJpegGraphic g;
    g.NewImage(16, 8, ifTrueColor, nullptr, 150, 72);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            g.SetPixel(x, y, x < 8 ? 0xC81E28u : 0x1432DCu);
    g.Quality = 100;
    TMemoryStream out;
    g.SaveToStream(out);
    out.SetPosition(0);
    TJpegGraphic back;
    back.LoadImage(out, 1);
    EXPECT_EQ(back.XDotsPerInch(), 150);
    EXPECT_EQ(back.YDotsPerInch(), 72);
    ASSERT_EQ(back.ImageFormat(), ifTrueColor);
    const uint32_t left = back.GetPixel(2, 2), right = back.GetPixel(13, 5);
    EXPECT_LE(std::abs(int(left >> 16 & 0xFF) - 0xC8), 4);
    EXPECT_LE(std::abs(int(left & 0xFF) - 0x28), 4);
    EXPECT_LE(std::abs(int(right & 0xFF) - 0xDC), 4);

    TJpegGraphic grey;
    grey.NewImage(8, 8, ifGray256, nullptr, 0, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            grey.ScanLine(y)[x] = 60;
    TMemoryStream greyOut;
    grey.SaveToStream(greyOut);
    greyOut.SetPosition(0);
    TJpegGraphic greyBack;
    greyBack.LoadImage(greyOut, 1);
    ASSERT_EQ(greyBack.ImageFormat(), ifGray256);
    EXPECT_LE(std::abs(greyBack.ScanLine(4)[4] - 60), 1);
}

TEST(JpegGraphicSave, ProgressiveAndOptimizedCoding)
{
    TJpegGraphic g;
    g.NewImage(32, 32, ifGray256, nullptr, 0, 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            g.ScanLine(y)[x] = uint8_t(x * 8);
    TMemoryStream plain;
    g.SaveToStream(plain);
    const std::string baseline = Bytes(plain);
    EXPECT_NE(baseline.find("\xFF\xC0", 0, 2), std::string::npos); // baseline frame

    g.Progressive = true;
    TMemoryStream progressive;
    g.SaveToStream(progressive);
    EXPECT_NE(Bytes(progressive).find("\xFF\xC2", 0, 2), std::string::npos);

    g.Progressive = false;
    g.OptimizeCoding = true;
    TMemoryStream optimized;
    g.SaveToStream(optimized);
    EXPECT_LT(optimized.Size(), plain.Size()); // tailored tables are smaller than the standard ones

    g.Quality = 10;
    TMemoryStream low;
    g.SaveToStream(low);
    EXPECT_LT(low.Size(), optimized.Size());
}

TEST(JpegGraphicSave, FailuresAreClear)
{
    TJpegGraphic bw;
    bw.NewImage(4, 4, ifBlackWhite, nullptr, 0, 0);
    TMemoryStream out;
    try {
        bw.SaveToStream(out);
        FAIL() << "no error";
    } catch (const EJpegError& e) {
        EXPECT_STREQ(e.what(), "JPEG image must be gray scale or true color");
    }
    EXPECT_EQ(out.Size(), 0);

    TJpegGraphic g;
    g.NewImage(64, 64, ifTrueColor, nullptr, 0, 0);
    TFailingStream full(false);
    try {
        g.SaveToStream(full);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Output file write error --- out of disk space?");
    }
    TFailingStream throwing(true); // the stream's own failure comes through unchanged
    EXPECT_THROW(g.SaveToStream(throwing), EWriteError);
}

TEST(JpegGraphicRegistry, RegisteredForJpgAndJpeg)
{
    RegisterJpegGraphic();
    for (const char* ext : {"JPG", "jpeg", ".jpg"}) {
        const TRegisteredExtension* e = FindImageExtension(ext);
        ASSERT_NE(e, nullptr) << ext;
        EXPECT_EQ(e->description, "JPEG");
        EXPECT_STREQ(e->create()->ClassName(), "TJpegGraphic");
    }
    TJpegGraphic g;
    EXPECT_EQ(g.Quality, 80);
    EXPECT_FALSE(g.Progressive);
    EXPECT_FALSE(g.OptimizeCoding);
    EXPECT_STREQ(g.Create()->ClassName(), "TJpegGraphic");
}
