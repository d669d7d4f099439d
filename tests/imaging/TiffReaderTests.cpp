#include "ETiffError.h"
#include "Exception.h"
#include "TTiffGraphic.h"
#include "TTiffPageWalk.h"
#include "TestTiff.h"
#include "TiffTestImages.h"

#include <gtest/gtest.h>
#include <tiffio.h>

namespace {

// Rows of 8-bit samples from a function of (x, y, sample).
template <typename F>
std::vector<std::string> Rows8(uint32_t width, uint32_t height, int samples, F value)
{
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < height; ++y) {
        std::string row;
        for (uint32_t x = 0; x < width; ++x)
            for (int s = 0; s < samples; ++s)
                row.push_back(char(value(x, y, s)));
        rows.push_back(row);
    }
    return rows;
}

// Rows of packed indices of `bits` bits each, most significant first.
template <typename F>
std::vector<std::string> PackedRows(uint32_t width, uint32_t height, int bits, F index)
{
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < height; ++y) {
        std::string row((width * bits + 7) / 8, '\0');
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t bit = x * bits;
            row[bit / 8] = char(uint8_t(row[bit / 8]) | uint8_t(index(x, y) << (8 - bits - bit % 8)));
        }
        rows.push_back(row);
    }
    return rows;
}

TestTiffPage Grey8(uint32_t width, uint32_t height)
{
    TestTiffPage p;
    p.width = width;
    p.height = height;
    p.rows = Rows8(width, height, 1, [](uint32_t x, uint32_t y, int) { return (x * 3 + y * 17) & 0xFF; });
    return p;
}

// Loads page `page` of the bytes through our reader.
void Load(TTiffGraphic& image, const std::string& bytes, int page = 1)
{
    TMemoryStream stream;
    SetBytes(stream, bytes);
    image.LoadImage(stream, page);
}

std::string LoadError(const std::string& bytes, int page = 1)
{
    TTiffGraphic image;
    try {
        Load(image, bytes, page);
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

// Rewrites a SHORT or LONG value of the first directory of a little-endian TIFF.
void PatchFirstDirectory(std::string& bytes, uint16_t tag, uint16_t value)
{
    auto u16 = [&](size_t at) { return uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
    ASSERT_EQ(bytes.substr(0, 2), "II");
    const size_t ifd = u32(4);
    for (size_t i = 0, n = u16(ifd); i < n; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (u16(entry) != tag)
            continue;
        bytes[entry + 8] = char(value & 0xFF);
        bytes[entry + 9] = char(value >> 8);
        if (u16(entry + 2) == TIFF_LONG)
            bytes[entry + 10] = bytes[entry + 11] = 0;
        return;
    }
    FAIL() << "tag " << tag << " not found";
}

// Rewrites a SHORT or LONG value in every directory of a little-endian TIFF.
void PatchEveryDirectory(std::string& bytes, uint16_t tag, uint32_t value)
{
    auto u16 = [&](size_t at) { return uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
    for (size_t ifd = u32(4); ifd != 0;) {
        const size_t n = u16(ifd);
        for (size_t i = 0; i < n; ++i) {
            const size_t entry = ifd + 2 + 12 * i;
            if (u16(entry) != tag)
                continue;
            const bool isLong = u16(entry + 2) == TIFF_LONG;
            ASSERT_TRUE(isLong || value <= 0xFFFF);
            for (int b = 0; b < (isLong ? 4 : 2); ++b)
                bytes[entry + 8 + size_t(b)] = char((value >> (8 * b)) & 0xFF);
        }
        ifd = u32(ifd + 2 + 12 * n);
    }
}

// A memory stream that counts the bytes read from it.
class CountingStream : public TMemoryStream {
public:
    int64_t Read(void* buffer, int64_t count) override
    {
        const int64_t got = TMemoryStream::Read(buffer, count);
        BytesRead += std::max<int64_t>(got, 0);
        return got;
    }
    int64_t BytesRead = 0;
};

// Every page through one walk: widths of the pages read, "x" for a page that failed.
std::vector<std::string> WalkPages(TStream& stream)
{
    std::vector<std::string> pages;
    TTiffPageWalk walk(stream);
    do {
        TTiffGraphic page;
        try {
            walk.Read(page);
            pages.push_back(std::to_string(page.GetWidth()));
        } catch (const Exception&) {
            pages.push_back("x");
        }
    } while (walk.Next());
    return pages;
}

} // namespace

TEST(TiffReaderCompression, LzwIsRefusedThoughTheLibraryHasIt)
{
    TestTiffPage p = Grey8(12, 5);
    p.compression = COMPRESSION_LZW;
    const std::string bytes = WriteTestTiff({p});
    TTiffGraphic image;
    try {
        Load(image, bytes);
        FAIL();
    } catch (const EKerbelinError& e) {
        EXPECT_STREQ(e.what(), "LZW compression not supported");
    }
}

TEST(TiffReaderCompression, UnknownCodesNameTheCodeWithoutPrefix)
{
    TestTiffPage p = Grey8(12, 5);
    p.compression = COMPRESSION_ADOBE_DEFLATE; // the library reads it; we do not
    TTiffGraphic image;
    try {
        Load(image, WriteTestTiff({p}));
        FAIL();
    } catch (const ETiffError& e) {
        EXPECT_STREQ(e.what(), "Unsupported compression tag, 8");
    }
}

TEST(TiffReaderCompression, CodesMapToCompressions)
{
    TestTiffPage p = Grey8(16, 9);
    p.compression = COMPRESSION_DEFLATE;
    TTiffGraphic image;
    Load(image, WriteTestTiff({p}));
    EXPECT_EQ(image.Compression(), tcZLib);

    TestTiffPage fax;
    fax.width = 40;
    fax.height = 6;
    fax.bitsPerSample = 1;
    fax.photometric = PHOTOMETRIC_MINISWHITE;
    fax.compression = COMPRESSION_CCITTFAX3;
    fax.group3Options = GROUP3OPT_2DENCODING;
    fax.rows = PackedRows(40, 6, 1, [](uint32_t x, uint32_t y) { return (x / 4 + y) % 2; });
    Load(image, WriteTestTiff({fax}));
    EXPECT_EQ(image.Compression(), tcGroup3_2D);
    EXPECT_EQ(image.ImageFormat(), ifBlackWhite);
    // White-is-zero in the file: a 1 bit is black, which is index 0 here.
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(image.GetPixelIndex(x, 2), 1 - int((x / 4 + 2) % 2)) << x;

    fax.group3Options = 0;
    Load(image, WriteTestTiff({fax}));
    EXPECT_EQ(image.Compression(), tcGroup3_1D);
}

TEST(TiffReaderCompression, FaxPagesAreAlwaysWhiteIsZero)
{
    TestTiffPage fax;
    fax.width = 24;
    fax.height = 4;
    fax.bitsPerSample = 1;
    fax.photometric = PHOTOMETRIC_MINISBLACK; // ignored for fax pages
    fax.compression = COMPRESSION_CCITTFAX4;
    fax.rows = PackedRows(24, 4, 1, [](uint32_t x, uint32_t) { return x < 8 ? 1 : 0; });
    TTiffGraphic image;
    Load(image, WriteTestTiff({fax}));
    EXPECT_EQ(image.Compression(), tcGroup4);
    EXPECT_EQ(image.GetPixel(0, 0), 0x000000u); // a set bit is black
    EXPECT_EQ(image.GetPixel(20, 3), 0xFFFFFFu);
}

TEST(TiffReaderFormats, TwoBitGreyIsRefusedWithItsDepth)
{
    TestTiffPage p;
    p.width = 16;
    p.height = 3;
    p.bitsPerSample = 2;
    p.rows = PackedRows(16, 3, 2, [](uint32_t x, uint32_t) { return x % 4; });
    EXPECT_EQ(LoadError(WriteTestTiff({p})), "ETiffError Unsupported bit count: 2");
}

TEST(TiffReaderFormats, OneAndTwoBitPalettePagesShowTheirColours)
{
    for (int bits : {1, 2}) {
        SCOPED_TRACE(bits);
        const int n = 1 << bits;
        TestTiffPage p;
        p.width = 21;
        p.height = 5;
        p.bitsPerSample = uint16_t(bits);
        p.photometric = PHOTOMETRIC_PALETTE;
        p.compression = COMPRESSION_PACKBITS;
        p.colorMap.resize(size_t(3 * n));
        for (int i = 0; i < n; ++i) {
            p.colorMap[size_t(i)] = uint16_t((40 + 60 * i) * 257);
            p.colorMap[size_t(n + i)] = uint16_t((200 - 50 * i) * 257);
            p.colorMap[size_t(2 * n + i)] = uint16_t(9 * 257);
        }
        auto index = [n](uint32_t x, uint32_t y) { return uint32_t((x + 2 * y) % uint32_t(n)); };
        p.rows = PackedRows(21, 5, bits, index);
        TTiffGraphic image;
        Load(image, WriteTestTiff({p}));
        EXPECT_EQ(image.ImageFormat(), ifColor16);
        EXPECT_EQ(image.LogPalette()->palNumEntries, n);
        for (uint32_t y = 0; y < 5; ++y)
            for (uint32_t x = 0; x < 21; ++x) {
                const uint32_t i = index(x, y);
                ASSERT_EQ(image.GetPixelIndex(int(x), int(y)), int(i)) << x << "," << y;
                ASSERT_EQ(image.GetPixel(int(x), int(y)), (40 + 60 * i) << 16 | (200 - 50 * i) << 8 | 9u);
            }
    }
}

TEST(TiffReaderFormats, PaletteFromEightAndSixteenBitColourMaps)
{
    for (bool sixteen : {false, true}) {
        SCOPED_TRACE(sixteen);
        TestTiffPage p = Grey8(10, 4);
        p.photometric = PHOTOMETRIC_PALETTE;
        p.colorMap.assign(768, 0);
        for (int i = 0; i < 256; ++i) {
            const int r = i, g = 255 - i, b = (i * 3) & 0xFF;
            const int scale = sixteen ? 257 : 1;
            p.colorMap[size_t(i)] = uint16_t(r * scale);
            p.colorMap[size_t(256 + i)] = uint16_t(g * scale);
            p.colorMap[size_t(512 + i)] = uint16_t(b * scale);
        }
        TTiffGraphic image;
        Load(image, WriteTestTiff({p}));
        EXPECT_EQ(image.ImageFormat(), ifColor256);
        EXPECT_EQ(image.LogPalette()->palNumEntries, 256);
        const TPaletteEntry& e = image.LogPalette()->palPalEntry[200];
        EXPECT_EQ(e.peRed, 200);
        EXPECT_EQ(e.peGreen, 55);
        EXPECT_EQ(e.peBlue, (600) & 0xFF);
        EXPECT_EQ(image.GetPixelIndex(3, 2), int((3 * 3 + 2 * 17) & 0xFF));
    }
}

TEST(TiffReaderFormats, SixteenBitGreyGoesThroughTheFullColourRoute)
{
    TestTiffPage p;
    p.width = 7;
    p.height = 3;
    p.bitsPerSample = 16;
    for (uint32_t y = 0; y < 3; ++y) {
        std::string row;
        for (uint32_t x = 0; x < 7; ++x) {
            const uint16_t v = uint16_t((x * 20 + y * 50) * 256 + 0x55);
            row.push_back(char(v & 0xFF)); // the file's byte order (little-endian here)
            row.push_back(char(v >> 8));
        }
        p.rows.push_back(row);
    }
    const std::string bytes = WriteTestTiff({p});
    TTiffGraphic image;
    Load(image, bytes);
    EXPECT_EQ(image.ImageFormat(), ifTrueColor);
    TestTiffReader lib(bytes);
    const std::vector<uint32_t> rgba = lib.Rgba();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(image.GetPixel(x, y), rgba[size_t(y * 7 + x)]);
            EXPECT_EQ(image.GetPixel(x, y) & 0xFF, uint32_t(x * 20 + y * 50)) << x << "," << y;
        }
}

TEST(TiffReaderFormats, RgbAndRgbaStripsSetEveryPixel)
{
    for (int samples : {3, 4}) {
        TestTiffPage p;
        p.width = 11;
        p.height = 6;
        p.samplesPerPixel = uint16_t(samples);
        p.photometric = PHOTOMETRIC_RGB;
        p.rowsPerStrip = 4;
        p.rows = Rows8(11, 6, samples, [](uint32_t x, uint32_t y, int s) { return (x * 20 + y * 7 + s * 90) & 0xFF; });
        TTiffGraphic image;
        Load(image, WriteTestTiff({p}));
        EXPECT_EQ(image.ImageFormat(), ifTrueColor);
        EXPECT_EQ(image.RowsPerStrip, 4);
        for (uint32_t y = 0; y < 6; ++y)
            for (uint32_t x = 0; x < 11; ++x) {
                const uint32_t r = (x * 20 + y * 7) & 0xFF, g = (r + 90) & 0xFF, b = (r + 180) & 0xFF;
                ASSERT_EQ(image.GetPixel(int(x), int(y)), r << 16 | g << 8 | b) << samples;
            }
    }
}

TEST(TiffReaderFormats, WhiteIsZeroBecomesOrdinaryGreyOnEveryRoute)
{
    // The same 8-bit white-is-zero page: plain strips, JPEG and tiles.
    TestTiffPage p = Grey8(32, 16);
    p.photometric = PHOTOMETRIC_MINISWHITE;
    p.rows = Rows8(32, 16, 1, [](uint32_t x, uint32_t, int) { return 30 + x * 4; });
    TTiffGraphic plain;
    Load(plain, WriteTestTiff({p}));
    EXPECT_EQ(plain.ImageFormat(), ifGray256);
    EXPECT_EQ(plain.GetPixel(0, 0), 0xE1E1E1u); // stored 30 shows as 225
    EXPECT_EQ(plain.GetPixelIndex(5, 3), 255 - (30 + 5 * 4));

    TestTiffPage jpeg = p;
    jpeg.compression = COMPRESSION_JPEG;
    jpeg.rowsPerStrip = 8;
    TTiffGraphic fromJpeg;
    Load(fromJpeg, WriteTestTiff({jpeg}));
    EXPECT_EQ(fromJpeg.ImageFormat(), ifGray256);
    EXPECT_EQ(fromJpeg.Compression(), tcJpeg);
    EXPECT_LE(MaxChannelDifference(plain, fromJpeg), 6);

    TestTiffPage tiled = p;
    tiled.tileSize = 16;
    // Compressed: this libtiff cannot decode uncompressed tiles into RGBA over client I/O.
    tiled.compression = COMPRESSION_PACKBITS;
    TTiffGraphic fromTiles;
    Load(fromTiles, WriteTestTiff({tiled}));
    EXPECT_EQ(fromTiles.ImageFormat(), ifGray256);
    EXPECT_EQ(MaxChannelDifference(plain, fromTiles), 0);

    TestTiffPage bw;
    bw.width = 32;
    bw.height = 16;
    bw.bitsPerSample = 1;
    bw.photometric = PHOTOMETRIC_MINISWHITE;
    bw.rows = PackedRows(32, 16, 1, [](uint32_t x, uint32_t) { return x < 10 ? 1 : 0; });
    TTiffGraphic bwStrips;
    Load(bwStrips, WriteTestTiff({bw}));
    bw.tileSize = 16;
    bw.compression = COMPRESSION_PACKBITS;
    TTiffGraphic bwTiles;
    Load(bwTiles, WriteTestTiff({bw}));
    EXPECT_EQ(bwStrips.GetPixel(0, 0), 0x000000u);
    EXPECT_EQ(bwStrips.GetPixel(31, 15), 0xFFFFFFu);
    EXPECT_EQ(bwTiles.ImageFormat(), ifBlackWhite);
    EXPECT_EQ(MaxChannelDifference(bwStrips, bwTiles), 0);
}

TEST(TiffReaderTags, ResolutionInInchesOrCentimetres)
{
    TestTiffPage p = Grey8(4, 4);
    p.resolutionUnit = RESUNIT_CENTIMETER;
    p.xResolution = 300;
    p.yResolution = 100;
    TTiffGraphic image;
    Load(image, WriteTestTiff({p}));
    EXPECT_EQ(image.XDotsPerInch(), 762);
    EXPECT_EQ(image.YDotsPerInch(), 254);
    p.resolutionUnit = RESUNIT_INCH;
    p.xResolution = 72;
    p.yResolution = 72.4f;
    Load(image, WriteTestTiff({p}));
    EXPECT_EQ(image.XDotsPerInch(), 72);
    EXPECT_EQ(image.YDotsPerInch(), 72);
    p.resolutionUnit.reset(); // inches when absent
    p.xResolution = 200;
    p.yResolution = 1e9f; // beyond what the image model holds
    Load(image, WriteTestTiff({p}));
    EXPECT_EQ(image.XDotsPerInch(), 200);
    EXPECT_EQ(image.YDotsPerInch(), 0);
    p.xResolution.reset();
    p.yResolution.reset();
    Load(image, WriteTestTiff({p}));
    EXPECT_EQ(image.XDotsPerInch(), 0);
}

TEST(TiffReaderTags, PageWithoutRowsPerStripIsOneStrip)
{
    TestTiffPage p = Grey8(50, 40);
    p.compression = COMPRESSION_PACKBITS; // no strip chopping for compressed pages
    const std::string bytes = WriteTestTiff({p});
    TestTiffReader lib(bytes);
    ASSERT_FALSE(lib.U32(TIFFTAG_ROWSPERSTRIP)); // really absent
    TTiffGraphic image;
    Load(image, bytes);
    EXPECT_EQ(image.RowsPerStrip, 16);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(image.GetPixelIndex(x, y), (x * 3 + y * 17) & 0xFF) << x << "," << y;
}

TEST(TiffReaderStreams, ReadsFromTheStreamsCurrentPosition)
{
    TestTiffPage p = Grey8(9, 5);
    const std::string tiff = WriteTestTiff({p});
    TMemoryStream stream;
    SetBytes(stream, std::string(37, '\x7f') + tiff);
    stream.SetPosition(37);
    TTiffGraphic image;
    image.LoadImage(stream, 1);
    EXPECT_EQ(image.GetPixelIndex(8, 4), (8 * 3 + 4 * 17) & 0xFF);
}

TEST(TiffReaderStreams, PagesAreCountedAndChosen)
{
    std::vector<TestTiffPage> pages;
    for (uint32_t i = 1; i <= 4; ++i)
        pages.push_back(Grey8(i * 3, i));
    const std::string bytes = WriteTestTiff(pages);
    TMemoryStream stream;
    SetBytes(stream, bytes);
    TTiffGraphic image;
    EXPECT_EQ(image.GetImageCount(stream), 4);
    for (int page = 1; page <= 4; ++page) {
        Load(image, bytes, page);
        EXPECT_EQ(image.GetWidth(), page * 3);
    }
    // A page the file does not have is an error, not another page.
    EXPECT_EQ(LoadError(bytes, 5), "ETiffError TIFFSetDirectory");
    EXPECT_EQ(LoadError(bytes, 0), "ETiffError TIFFSetDirectory");
    TMemoryStream junk;
    SetBytes(junk, "II*\0garbage");
    try {
        image.GetImageCount(junk);
        FAIL();
    } catch (const ETiffError& e) {
        EXPECT_STREQ(e.what(), "ETiffError TIFFOpen");
    }
}

TEST(TiffReaderStreams, MultiImageLoadMakesOneFramePerPage)
{
    std::vector<TestTiffPage> pages = {Grey8(5, 5), Grey8(6, 6), Grey8(7, 7)};
    TMemoryStream stream;
    SetBytes(stream, WriteTestTiff(pages));
    TTiffGraphic image;
    image.MultiImage = true;
    image.LoadFromStream(stream);
    ASSERT_EQ(image.FrameCount(), 3);
    EXPECT_STREQ(image.Frames()[2]->ClassName(), "TTiffGraphic");
    EXPECT_EQ(image.Frames()[2]->GetWidth(), 7);
    EXPECT_EQ(image.GetWidth(), 5); // frame 1 shown
}

TEST(TiffReaderHostile, SizeFieldsAreBoundedBeforeAllocating)
{
    // A small page whose size fields claim 60000 x 60000 pixels.
    for (uint16_t bits : {8, 16}) { // strips, and the full-colour route
        TestTiffPage p;
        p.width = 4;
        p.height = 4;
        p.bitsPerSample = bits;
        p.rows.assign(4, std::string(4 * bits / 8, '\x10'));
        std::string bytes = WriteTestTiff({p});
        PatchFirstDirectory(bytes, TIFFTAG_IMAGEWIDTH, 60000);
        PatchFirstDirectory(bytes, TIFFTAG_IMAGELENGTH, 60000);
        EXPECT_EQ(LoadError(bytes), "ETiffError Invalid image size: 60000 x 60000");
    }
}

TEST(TiffReaderHostile, TruncatedAndDamagedFilesRaiseCleanly)
{
    // Every cut and a sweep of damaged bytes: each load either succeeds or
    // raises one of our exceptions, and never reads or writes out of bounds.
    std::vector<std::string> originals;
    TTiffGraphic grey, colour, bw;
    FillPattern(grey, 40, 30, ifGray256, 96, 96);
    FillPattern(colour, 33, 17, ifTrueColor, 96, 96);
    colour.SetCompression(tcJpeg);
    FillPattern(bw, 70, 20, ifBlackWhite, 96, 96);
    for (TTiffGraphic* g : {&grey, &colour, &bw}) {
        TMemoryStream s;
        g->SaveToStream(s);
        originals.push_back(Bytes(s));
    }
    int failures = 0;
    for (const std::string& original : originals) {
        for (size_t cut = 0; cut < original.size(); cut += 7) {
            const std::string message = LoadError(original.substr(0, cut));
            failures += message != "(no error)";
        }
        for (size_t at = 0; at < original.size(); at += 3) {
            std::string damaged = original;
            damaged[at] = char(uint8_t(damaged[at]) ^ 0xA5);
            LoadError(damaged);
        }
    }
    EXPECT_GT(failures, 0);
    // A full-colour page the decoder cannot finish is an error, not a black page.
    // (the strips come first in the file, the directory after them)
    std::string noJpeg = originals[1];
    std::fill(noJpeg.begin() + 8, noJpeg.begin() + 8 + 200, '\0');
    EXPECT_EQ(LoadError(noJpeg), "ETiffError TIFFReadRGBAImage");
}

TEST(TiffReaderHostile, PageWalkReadsEachDirectoryOnce)
{
    std::vector<TestTiffPage> pages;
    for (uint32_t i = 0; i < 200; ++i)
        pages.push_back(Grey8(1 + i % 7, 2));
    const std::string bytes = WriteTestTiff(pages);
    CountingStream stream;
    SetBytes(stream, bytes);
    const std::vector<std::string> widths = WalkPages(stream);
    ASSERT_EQ(widths.size(), 200u);
    for (size_t i = 0; i < widths.size(); ++i)
        ASSERT_EQ(widths[i], std::to_string(1 + i % 7)) << i;
    // Linear in the file: choosing every page from the start would read the
    // directories about 100 times over.
    EXPECT_LT(stream.BytesRead, 3 * int64_t(bytes.size())) << bytes.size();
    stream.SetPosition(0);
    EXPECT_EQ(TTiffGraphic().GetImageCount(stream), 200);
}

TEST(TiffReaderHostile, DamagedPagesFailBeforeAllocatingWhatTheyClaim)
{
    // 200 small pages whose size fields claim 16384 x 8192 each (3.3 GB in
    // all): every page fails on its stored bytes, and the walk costs no more
    // than reading the file.
    for (uint16_t bits : {8, 16}) { // strips, and the full-colour route
        std::vector<TestTiffPage> pages;
        for (int i = 0; i < 200; ++i) {
            TestTiffPage p;
            p.width = 4;
            p.height = 4;
            p.bitsPerSample = bits;
            p.rowsPerStrip = 100000;
            p.compression = i % 2 ? COMPRESSION_DEFLATE : COMPRESSION_NONE;
            p.rows.assign(4, std::string(4 * bits / 8, '\x10'));
            pages.push_back(p);
        }
        std::string bytes = WriteTestTiff(pages);
        PatchEveryDirectory(bytes, TIFFTAG_IMAGEWIDTH, 16384);
        PatchEveryDirectory(bytes, TIFFTAG_IMAGELENGTH, 8192);
        CountingStream stream;
        SetBytes(stream, bytes);
        const std::vector<std::string> results = WalkPages(stream);
        EXPECT_EQ(results, std::vector<std::string>(200, "x")) << bits;
        EXPECT_LT(stream.BytesRead, 3 * int64_t(bytes.size()));
        EXPECT_EQ(LoadError(bytes, 7), "ETiffError Image data too short for 16384 x 8192 pixels");
    }
}

TEST(TiffReaderHostile, StoredBytesMustBeAbleToFillThePage)
{
    // A page that compresses well still loads: 1000 x 1000 of one grey in Deflate.
    TestTiffPage flat;
    flat.width = 1000;
    flat.height = 1000;
    flat.compression = COMPRESSION_DEFLATE;
    flat.rowsPerStrip = 1000;
    flat.rows.assign(1000, std::string(1000, '\x40'));
    TTiffGraphic image;
    Load(image, WriteTestTiff({flat}));
    EXPECT_EQ(image.GetPixelIndex(999, 999), 0x40);
    // The same bytes claiming 10000 x 10000 cannot be: Deflate gives at most
    // about 1032 bytes per stored byte.
    std::string claimed = WriteTestTiff({flat});
    PatchFirstDirectory(claimed, TIFFTAG_IMAGEWIDTH, 10000);
    PatchFirstDirectory(claimed, TIFFTAG_IMAGELENGTH, 10000);
    PatchFirstDirectory(claimed, TIFFTAG_ROWSPERSTRIP, 10000);
    EXPECT_EQ(LoadError(claimed), "ETiffError Image data too short for 10000 x 10000 pixels");
    // Uncompressed strips must hold every byte, and inside the file.
    TestTiffPage plain = Grey8(10, 10);
    plain.rowsPerStrip = 100000;
    std::string taller = WriteTestTiff({plain});
    PatchFirstDirectory(taller, TIFFTAG_IMAGELENGTH, 1000);
    EXPECT_EQ(LoadError(taller), "ETiffError Image data too short for 10 x 1000 pixels");
}
