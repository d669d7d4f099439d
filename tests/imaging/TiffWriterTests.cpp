#include "ETiffError.h"
#include "Exception.h"
#include "ImageRegistry.h"
#include "TFileStream.h"
#include "TTiffGraphic.h"
#include "TestTiff.h"
#include "TiffTestImages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cctype>

namespace {

struct Expected {
    uint16_t bits, samples, photometric;
};

Expected LayoutFor(TImageFormat format, TTiffCompression compression)
{
    const bool ccitt = IsCcittCompression(compression);
    switch (format) {
    case ifBlackWhite: return {1, 1, uint16_t(ccitt ? 0 : 1)};
    case ifGray16: return {4, 1, 1};
    case ifGray256: return {8, 1, 1};
    case ifColor16: return {4, 1, 3};
    case ifColor256: return {8, 1, 3};
    case ifTrueColor: return {8, 3, 2};
    }
    return {};
}

std::string Describe(TImageFormat f, TTiffCompression c)
{
    return std::string(FormatName(f)) + " / " + TiffCompressionDescription(c);
}

// "yyyy:mm:dd hh:nn:ss"
bool IsTiffDateTime(const std::string& s)
{
    const std::string shape = "dddd:dd:dd dd:dd:dd";
    if (s.size() != shape.size())
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != shape[i])
            return false;
    return true;
}

} // namespace

TEST(TiffWriter, EveryFormatAndAllowedCompressionRoundTrips)
{
    int combinations = 0;
    for (int f = ifBlackWhite; f <= ifTrueColor; ++f) {
        for (int c = tcNone; c <= tcJpeg; ++c) {
            const auto format = TImageFormat(f);
            const auto compression = TTiffCompression(c);
            if (!TiffCompressionAllowed(compression, format))
                continue;
            ++combinations;
            SCOPED_TRACE(Describe(format, compression));
            const bool lossy = compression == tcJpeg;
            TTiffGraphic source;
            FillPattern(source, 37, 21, format, 150, 200, c, lossy);
            source.SetCompression(compression);
            TMemoryStream stream;
            source.SaveToStream(stream);

            // Tags, as the library itself reads them.
            TestTiffReader lib(Bytes(stream));
            ASSERT_TRUE(lib.IsOpen());
            EXPECT_EQ(lib.DirectoryCount(), 1);
            const Expected e = LayoutFor(format, compression);
            EXPECT_EQ(lib.U32(TIFFTAG_IMAGEWIDTH), 37u);
            EXPECT_EQ(lib.U32(TIFFTAG_IMAGELENGTH), 21u);
            EXPECT_EQ(lib.U16(TIFFTAG_BITSPERSAMPLE), e.bits);
            EXPECT_EQ(lib.U16(TIFFTAG_SAMPLESPERPIXEL), e.samples);
            EXPECT_EQ(lib.U16(TIFFTAG_PHOTOMETRIC), e.photometric);
            EXPECT_EQ(lib.U16(TIFFTAG_COMPRESSION), TiffCompressionCode(compression));
            EXPECT_EQ(lib.U32(TIFFTAG_ROWSPERSTRIP), lossy ? 8u : 16u);
            EXPECT_EQ(lib.U16(TIFFTAG_PLANARCONFIG), 1);
            EXPECT_EQ(lib.U16(TIFFTAG_RESOLUTIONUNIT), 2);
            EXPECT_EQ(lib.Float(TIFFTAG_XRESOLUTION), 150.0f);
            EXPECT_EQ(lib.Float(TIFFTAG_YRESOLUTION), 200.0f);
            EXPECT_EQ(lib.Text(TIFFTAG_SOFTWARE), "Kerbelin Image Library");
            const auto stamp = lib.Text(TIFFTAG_DATETIME);
            ASSERT_TRUE(stamp);
            EXPECT_TRUE(IsTiffDateTime(*stamp)) << *stamp;
            if (compression == tcGroup3_1D || compression == tcGroup3_2D) {
                EXPECT_EQ(lib.U32(TIFFTAG_GROUP3OPTIONS), compression == tcGroup3_2D ? 1u : 0u);
            }
            if (e.photometric == 3) {
                const int n = 1 << e.bits;
                const std::vector<uint16_t> map = lib.ColorMap(n);
                ASSERT_EQ(map.size(), size_t(3 * n));
                for (int i = 0; i < n; ++i) {
                    const TPaletteEntry& pe = source.LogPalette()->palPalEntry[i];
                    EXPECT_EQ(map[size_t(i)], pe.peRed * 257);
                    EXPECT_EQ(map[size_t(n + i)], pe.peGreen * 257);
                    EXPECT_EQ(map[size_t(2 * n + i)], pe.peBlue * 257);
                }
            }

            // Pixels, as the library's own decoder shows them.
            const std::vector<uint32_t> rgba = lib.Rgba();
            int worst = 0;
            for (int y = 0; y < 21; ++y)
                for (int x = 0; x < 37; ++x) {
                    const uint32_t want = source.GetPixel(x, y), got = rgba[size_t(y * 37 + x)];
                    for (int s = 0; s <= 16; s += 8)
                        worst = std::max(worst, std::abs(int((want >> s) & 0xFF) - int((got >> s) & 0xFF)));
                }
            EXPECT_LE(worst, lossy ? 12 : 0);

            // And through our own reader.
            TTiffGraphic back;
            stream.SetPosition(0);
            back.LoadImage(stream, 1);
            EXPECT_EQ(back.ImageFormat(), format);
            EXPECT_EQ(back.Compression(), compression);
            EXPECT_EQ(back.XDotsPerInch(), 150);
            EXPECT_EQ(back.YDotsPerInch(), 200);
            ASSERT_EQ(back.GetWidth(), 37);
            ASSERT_EQ(back.GetHeight(), 21);
            EXPECT_LE(MaxChannelDifference(source, back), lossy ? 12 : 0);
            if (!lossy && format != ifTrueColor) {
                for (int y = 0; y < 21; ++y)
                    for (int x = 0; x < 37; ++x)
                        ASSERT_EQ(back.GetPixelIndex(x, y), source.GetPixelIndex(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(combinations, 23);
}

TEST(TiffWriter, Gray256PackBitsTags)
{
    TTiffGraphic image;
    FillPattern(image, 10, 40, ifGray256, 72, 72);
    EXPECT_EQ(image.Compression(), tcPackBits); // the default for grey
    TMemoryStream stream;
    image.SaveToStream(stream);
    TestTiffReader lib(Bytes(stream));
    EXPECT_EQ(lib.U16(TIFFTAG_BITSPERSAMPLE), 8);
    EXPECT_EQ(lib.U16(TIFFTAG_SAMPLESPERPIXEL), 1);
    EXPECT_EQ(lib.U16(TIFFTAG_PHOTOMETRIC), 1);
    EXPECT_EQ(lib.U16(TIFFTAG_COMPRESSION), 32773);
    EXPECT_EQ(lib.U32(TIFFTAG_ROWSPERSTRIP), 16u);
    EXPECT_EQ(lib.U16(TIFFTAG_PLANARCONFIG), 1);
    EXPECT_EQ(lib.U16(TIFFTAG_RESOLUTIONUNIT), 2);
}

TEST(TiffWriter, TrueColourIsWrittenRedGreenBlue)
{
    TTiffGraphic image;
    image.NewImage(2, 1, ifTrueColor, nullptr, 96, 96);
    uint8_t* row = image.ScanLine(0);
    row[0] = 1; // blue
    row[1] = 2; // green
    row[2] = 3; // red
    image.SetCompression(tcNone);
    TMemoryStream stream;
    image.SaveToStream(stream);
    TestTiffReader lib(Bytes(stream));
    const std::string line = lib.Scanline(0);
    ASSERT_GE(line.size(), 3u);
    EXPECT_EQ(line.substr(0, 3), std::string("\x03\x02\x01", 3));
    EXPECT_EQ(row[0], 1); // the image itself is untouched
    EXPECT_EQ(row[2], 3);
    TTiffGraphic back;
    stream.SetPosition(0);
    back.LoadImage(stream, 1);
    EXPECT_EQ(back.GetPixel(0, 0), (3u << 16) | (2u << 8) | 1u);
}

TEST(TiffWriter, BlackWhiteGroup4IsWhiteIsZeroWithSamePixels)
{
    TTiffGraphic image;
    FillPattern(image, 45, 30, ifBlackWhite, 200, 200);
    EXPECT_EQ(image.Compression(), tcGroup4); // the default for black and white
    const std::vector<uint8_t> before(image.Bits(), image.Bits() + 30 * image.ScanLineSize());
    TMemoryStream stream;
    image.SaveToStream(stream);
    EXPECT_EQ(std::vector<uint8_t>(image.Bits(), image.Bits() + 30 * image.ScanLineSize()), before);
    TestTiffReader lib(Bytes(stream));
    EXPECT_EQ(lib.U16(TIFFTAG_PHOTOMETRIC), 0);
    EXPECT_EQ(lib.U16(TIFFTAG_COMPRESSION), 4);
    // White-is-zero: a stored 1 (white) is a 0 bit in the file.
    const std::string line = lib.Scanline(0);
    for (int x = 0; x < 45; ++x) {
        const int fileBit = (uint8_t(line[size_t(x / 8)]) >> (7 - x % 8)) & 1;
        EXPECT_EQ(fileBit, 1 - image.GetPixelIndex(x, 0)) << x;
    }
    TTiffGraphic back;
    stream.SetPosition(0);
    back.LoadImage(stream, 1);
    EXPECT_EQ(back.ImageFormat(), ifBlackWhite);
    EXPECT_EQ(MaxChannelDifference(image, back), 0);
}

TEST(TiffWriter, ShortPaletteStillWritesAWholeColourMap)
{
    TLogPalette pal{};
    pal.palVersion = 0x300;
    pal.palNumEntries = 5;
    for (int i = 0; i < 5; ++i)
        pal.palPalEntry[i] = TPaletteEntry{uint8_t(50 * i), uint8_t(255 - 50 * i), 7, 0};
    TTiffGraphic image;
    image.NewImage(6, 3, ifColor256, &pal, 0, 0);
    for (int x = 0; x < 6; ++x)
        image.SetPixelIndex(x, 1, x % 5);
    TMemoryStream stream;
    image.SaveToStream(stream);
    TestTiffReader lib(Bytes(stream));
    const std::vector<uint16_t> map = lib.ColorMap(256);
    ASSERT_EQ(map.size(), 768u);
    EXPECT_EQ(map[4], 200 * 257);
    EXPECT_EQ(map[256 + 4], 55 * 257);
    EXPECT_EQ(map[512 + 4], 7 * 257);
    for (int i = 5; i < 256; ++i)
        EXPECT_EQ(map[size_t(i)] | map[size_t(256 + i)] | map[size_t(512 + i)], 0) << i;
    TTiffGraphic back;
    stream.SetPosition(0);
    back.LoadImage(stream, 1);
    EXPECT_EQ(MaxChannelDifference(image, back), 0);
}

TEST(TiffWriter, CompressionMustSuitTheFormat)
{
    TTiffGraphic image;
    image.NewImage(4, 4, ifColor256, nullptr, 0, 0);
    try {
        image.SetCompression(tcJpeg);
        FAIL();
    } catch (const EKerbelinError& e) {
        EXPECT_STREQ(e.what(), "JPEG compression not supported with 256 color images");
    }
    EXPECT_EQ(image.Compression(), tcPackBits);
    image.NewImage(4, 4, ifBlackWhite, nullptr, 0, 0);
    try {
        image.SetCompression(tcJpeg);
        FAIL();
    } catch (const EKerbelinError& e) {
        EXPECT_STREQ(e.what(), "JPEG compression not supported with Black and white images");
    }
    image.NewImage(4, 4, ifGray256, nullptr, 0, 0);
    try {
        image.SetCompression(tcGroup3_2D);
        FAIL();
    } catch (const EKerbelinError& e) {
        EXPECT_STREQ(e.what(), "CCITT Group 3, 2D compression not supported with 256 shades of gray images");
    }
    EXPECT_NO_THROW(image.SetCompression(tcJpeg));
    EXPECT_NO_THROW(image.SetCompression(tcZLib));
    image.NewImage(4, 4, ifBlackWhite, nullptr, 0, 0);
    EXPECT_NO_THROW(image.SetCompression(tcGroup3_1D)); // checked against the format at the time
}

TEST(TiffWriter, DefaultsCopiesAndRegistration)
{
    TTiffGraphic image;
    EXPECT_EQ(image.RowsPerStrip, 16);
    EXPECT_STREQ(image.Create()->ClassName(), "TTiffGraphic");
    const TImageFormat formats[] = {ifBlackWhite, ifGray16, ifGray256, ifColor16, ifColor256, ifTrueColor};
    for (TImageFormat f : formats) {
        image.NewImage(3, 3, f, nullptr, 0, 0);
        EXPECT_EQ(image.Compression(), f == ifBlackWhite ? tcGroup4 : tcPackBits) << int(f);
    }

    TTiffGraphic source;
    FillPattern(source, 5, 4, ifGray256, 300, 300);
    source.RowsPerStrip = 3;
    source.SetCompression(tcZLib);
    TTiffGraphic copy;
    copy.Assign(&source);
    EXPECT_EQ(copy.RowsPerStrip, 3);
    EXPECT_EQ(copy.Compression(), tcPackBits); // the format's default, not the source's
    EXPECT_EQ(copy.XDotsPerInch(), 300);
    EXPECT_EQ(MaxChannelDifference(source, copy), 0);
    TDibGraphic plain;
    FillPattern(plain, 5, 4, ifBlackWhite, 0, 0);
    copy.Assign(&plain);
    EXPECT_EQ(copy.RowsPerStrip, 3); // only a TIFF source carries it
    EXPECT_EQ(copy.Compression(), tcGroup4);

    RegisterTiffGraphic();
    for (const char* ext : {"tif", "TIFF", ".Tif"}) {
        const TRegisteredExtension* reg = FindImageExtension(ext);
        ASSERT_NE(reg, nullptr) << ext;
        EXPECT_EQ(reg->description, "TIFF file");
        EXPECT_STREQ(reg->create()->ClassName(), "TTiffGraphic");
    }
}

TEST(TiffWriter, ThreePagesAppendedToAnEmptyFile)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("series.tif").toStdString();
    TTiffGraphic pages[3];
    FillPattern(pages[0], 20, 10, ifGray256, 96, 96, 1);
    FillPattern(pages[1], 15, 12, ifTrueColor, 96, 96, 2);
    FillPattern(pages[2], 30, 9, ifColor16, 96, 96, 3);
    {
        TFileStream file(path, fmCreate);
        for (TTiffGraphic& p : pages)
            p.AppendToStream(file);
    }
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    TTiffGraphic reader;
    EXPECT_EQ(reader.GetImageCount(file), 3);
    file.SetPosition(0);
    reader.LoadImage(file, 2);
    EXPECT_EQ(reader.ImageFormat(), ifTrueColor);
    ASSERT_EQ(reader.GetWidth(), 15);
    EXPECT_EQ(MaxChannelDifference(reader, pages[1]), 0);
    for (int page = 1; page <= 3; ++page) {
        file.SetPosition(0);
        reader.LoadImage(file, page);
        ASSERT_EQ(reader.GetWidth(), pages[page - 1].GetWidth());
        EXPECT_EQ(MaxChannelDifference(reader, pages[page - 1]), 0) << page;
    }
    TMemoryStream copy;
    copy.LoadFromFile(path);
    EXPECT_EQ(TestTiffReader(Bytes(copy)).DirectoryCount(), 3);
}

TEST(TiffWriter, StreamNotAtTheStartIsWrittenAndReadRelativeToIt)
{
    TTiffGraphic image;
    FillPattern(image, 9, 7, ifColor256, 120, 120);
    TMemoryStream stream;
    const std::string prefix(100, 'x');
    stream.WriteBuffer(prefix.data(), 100);
    image.SaveToStream(stream);
    const std::string all = Bytes(stream);
    EXPECT_EQ(all.substr(0, 100), prefix);
    // The TIFF's offsets count from its own first byte.
    TestTiffReader lib(all.substr(100));
    ASSERT_TRUE(lib.IsOpen());
    EXPECT_EQ(lib.U32(TIFFTAG_IMAGEWIDTH), 9u);

    stream.SetPosition(100);
    TTiffGraphic back;
    back.LoadImage(stream, 1);
    EXPECT_EQ(MaxChannelDifference(image, back), 0);
}

TEST(TiffWriter, AppendToSomethingElseFailsToOpen)
{
    TMemoryStream stream;
    SetBytes(stream, "not a tiff at all");
    TTiffGraphic image;
    FillPattern(image, 4, 4, ifGray256, 0, 0);
    try {
        image.AppendToStream(stream);
        FAIL();
    } catch (const ETiffError& e) {
        EXPECT_STREQ(e.what(), "ETiffError TIFFOpen");
    }
}

namespace {
// A stream that accepts only so many bytes, then refuses (or raises).
class LimitedStream : public TMemoryStream {
public:
    LimitedStream(int64_t limit, bool raise) : m_limit(limit), m_raise(raise) {}
    int64_t Write(const void* buffer, int64_t count) override
    {
        if (Position() + count > m_limit) {
            if (m_raise)
                throw EWriteError("Stream write error");
            return 0;
        }
        return TMemoryStream::Write(buffer, count);
    }

private:
    int64_t m_limit;
    bool m_raise;
};
} // namespace

TEST(TiffWriter, AFailedWriteIsReportedNotSwallowed)
{
    TTiffGraphic image;
    FillPattern(image, 64, 64, ifTrueColor, 96, 96);
    image.SetCompression(tcNone);
    for (int64_t limit : {0, 8, 2000, 12000}) {
        SCOPED_TRACE(limit);
        LimitedStream refusing(limit, false);
        EXPECT_THROW(image.SaveToStream(refusing), ETiffError);
        LimitedStream raising(limit, true);
        try {
            image.SaveToStream(raising);
            FAIL();
        } catch (const EWriteError& e) {
            EXPECT_STREQ(e.what(), "Stream write error"); // the stream's own message
        }
    }
}

TEST(TiffWriter, AnEmptyImageIsNotWritten)
{
    TTiffGraphic image;
    TMemoryStream stream;
    EXPECT_THROW(image.SaveToStream(stream), EKerbelinError);
}
