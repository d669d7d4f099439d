#include "TTiffPageReader.h"

#include "ETiffError.h"
#include "Exception.h"
#include "Format.h"
#include "TNegativeTransform.h"
#include "TStream.h"
#include "TTiffFields.h"
#include "TTiffGraphic.h"
#include "TTiffHandle.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

bool IsFax(uint16_t compression)
{
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
           compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW;
}

// Dots per inch from a resolution tag; centimetres for any unit but inches.
// Values that do not fit the image model (or are not numbers) count as absent.
uint16_t DotsPerInch(std::optional<float> value, uint16_t unit)
{
    if (!value)
        return 0;
    const double dpi = std::nearbyint(unit == RESUNIT_INCH ? double(*value) : double(*value) * 2.54);
    if (!std::isfinite(dpi) || dpi < 0 || dpi > 65535)
        return 0;
    return uint16_t(dpi);
}

void ReadFilePalette(const TTiffFields& fields, uint16_t bits, TLogPalette& pal)
{
    const int entries = 1 << std::min<int>(bits, 8);
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    fields.GetColorMap(&red, &green, &blue);
    bool sixteenBit = false;
    for (int i = 0; i < entries; ++i)
        if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256)
            sixteenBit = true;
    auto level = [sixteenBit](uint16_t v) { return uint8_t(sixteenBit ? uint32_t(v) * 255 / 65535 : v & 0xFF); };
    pal.palVersion = 0x300;
    pal.palNumEntries = uint16_t(entries);
    for (int i = 0; i < entries; ++i)
        pal.palPalEntry[i] = TPaletteEntry{level(red[i]), level(green[i]), level(blue[i]), 0};
}

TTiffCompression CompressionFromCode(uint16_t code, const TTiffFields& fields)
{
    switch (code) {
    case COMPRESSION_NONE: return tcNone;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW: return tcGroup3_1D;
    case COMPRESSION_CCITTFAX3:
        // T4Options is optional; absent means 1D coding.
        return (fields.TryU32(TIFFTAG_GROUP3OPTIONS).value_or(0) & GROUP3OPT_2DENCODING) ? tcGroup3_2D : tcGroup3_1D;
    case COMPRESSION_CCITTFAX4: return tcGroup4;
    case COMPRESSION_JPEG: return tcJpeg;
    case COMPRESSION_PACKBITS: return tcPackBits;
    case COMPRESSION_DEFLATE: return tcZLib;
    }
    throw ETiffError(Format("Unsupported compression tag, %d", int(code)));
}

// Stored bytes of the page's strips or tiles that lie inside the file.
uint64_t StoredBytes(TIFF* tif)
{
    const uint64_t fileSize = TIFFGetSizeProc(tif)(TIFFClientdata(tif));
    const uint32_t striles = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    uint64_t total = 0;
    for (uint32_t i = 0; i < striles; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tif, i);
        if (offset < fileSize)
            total += std::min(TIFFGetStrileByteCount(tif, i), fileSize - offset);
    }
    // Strips may share bytes; the file cannot give more than it holds.
    return std::min(total, fileSize);
}

} // namespace

uint64_t TTiffPageReader::MaxExpansion(uint16_t compression)
{
    switch (compression) {
    case COMPRESSION_NONE: return 1;
    case COMPRESSION_PACKBITS: return 64;
    case COMPRESSION_DEFLATE: return 1032;
    default: return 2048;
    }
}

void TTiffPageReader::Read(TStream& stream, int page)
{
    TTiffHandle tif(stream, "r");
    // A page the file does not have must not silently load another one.
    if (page < 1 || !TIFFSetDirectory(tif, tdir_t(page - 1)))
        tif.Fail("TIFFSetDirectory");
    ReadCurrent(tif);
}

void TTiffPageReader::ReadCurrent(TTiffHandle& tif)
{
    const TTiffFields fields(tif);
    const uint32_t width = fields.GetU32(TIFFTAG_IMAGEWIDTH);
    const uint32_t height = fields.GetU32(TIFFTAG_IMAGELENGTH);
    uint16_t photometric = fields.TryU16(TIFFTAG_PHOTOMETRIC).value_or(PHOTOMETRIC_MINISWHITE);
    const uint16_t compression = fields.GetU16(TIFFTAG_COMPRESSION);
    const bool fax = IsFax(compression);
    const auto bitsTag = fields.TryU16(TIFFTAG_BITSPERSAMPLE);
    const uint16_t bits = bitsTag ? *bitsTag : fax ? 1 : fields.GetU16(TIFFTAG_BITSPERSAMPLE);
    const uint16_t planar = fields.GetU16(TIFFTAG_PLANARCONFIG);
    const uint16_t unit = fields.TryU16(TIFFTAG_RESOLUTIONUNIT).value_or(RESUNIT_INCH);
    const uint16_t xDpi = DotsPerInch(fields.TryFloat(TIFFTAG_XRESOLUTION), unit);
    const uint16_t yDpi = DotsPerInch(fields.TryFloat(TIFFTAG_YRESOLUTION), unit);

    if (compression == COMPRESSION_LZW)
        throw EKerbelinError("LZW compression not supported");

    // Size fields come from the file: bound them before anything is allocated.
    if (width == 0 || height == 0 || uint64_t(width) * height > kMaxPixels)
        RaiseTiffError(Format("Invalid image size: %u x %u", width, height));

    const bool fullColour = compression == COMPRESSION_JPEG || TIFFIsTiled(tif) ||
                            photometric == PHOTOMETRIC_SEPARATED || photometric == PHOTOMETRIC_YCBCR || bits > 8 ||
                            planar > PLANARCONFIG_CONTIG;

    const int64_t rowSize = TIFFScanlineSize64(tif);
    if (rowSize <= 0 || rowSize > TTiffHandle::kMaxLibraryAllocation)
        tif.Fail("TIFFScanlineSize");
    int bytesPerPixel = int(std::nearbyint(double(rowSize) / double(width)));
    if (bytesPerPixel <= 0)
        bytesPerPixel = 1;
    const int depth = int(std::min<int64_t>(int64_t(bits) * bytesPerPixel, 24));
    // Palette pages of 1 or 2 bits are widened to 4-bit indices rather than refused.
    m_sourceBits = bits;
    m_widenIndices = photometric == PHOTOMETRIC_PALETTE && (bits == 1 || bits == 2);
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && !m_widenIndices)
        RaiseTiffError("Unsupported bit count: " + std::to_string(depth));

    if (fax && photometric == PHOTOMETRIC_MINISBLACK)
        photometric = PHOTOMETRIC_MINISWHITE; // fax pages are always white-is-zero

    TImageFormat format = ifTrueColor;
    TLogPalette filePalette{};
    const TLogPalette* palette = nullptr;
    const bool minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || minIsWhite;
    if (grey && bits == 1)
        format = ifBlackWhite;
    if (grey && bits == 4)
        format = ifGray16;
    if (grey && bits == 8)
        format = ifGray256;
    // White-is-zero rows are stored as they come and inverted afterwards; the
    // full-colour decoder has already turned them into ordinary grey.
    const bool invert = minIsWhite && (bits == 1 || bits == 4 || bits == 8) && !fullColour;
    if (photometric == PHOTOMETRIC_PALETTE) {
        ReadFilePalette(fields, bits, filePalette);
        palette = &filePalette;
        format = bits <= 4 ? ifColor16 : ifColor256;
    }

    const TTiffCompression tiffCompression = CompressionFromCode(compression, fields);
    // What the page decodes to must be something its stored bytes can give:
    // a few bytes claiming a huge page fail here, before the image, the strip
    // buffer or the full-colour raster is allocated. Fax rows go through one
    // row buffer and are left out (a blank row codes in one bit).
    if (!fax) {
        const uint64_t planes = planar == PLANARCONFIG_SEPARATE ? fields.TryU16(TIFFTAG_SAMPLESPERPIXEL).value_or(1) : 1;
        const uint64_t decoded = uint64_t(rowSize) * height * planes;
        if (decoded > StoredBytes(tif) * MaxExpansion(compression))
            RaiseTiffError(Format("Image data too short for %u x %u pixels", width, height));
    }

    m_image.NewImage(int(width), int(height), format, palette, xDpi, yDpi);
    m_image.SetCompression(tiffCompression);
    const auto rowsPerStrip = fields.TryU32(TIFFTAG_ROWSPERSTRIP);
    m_image.RowsPerStrip = rowsPerStrip ? int32_t(std::min<uint32_t>(*rowsPerStrip, INT32_MAX)) : 16;

    if (fax)
        ReadFaxRows(tif, rowSize);
    else if (fullColour)
        ReadFullColour(tif);
    else
        ReadStrips(tif, rowSize, bytesPerPixel, rowsPerStrip.value_or(height));

    if (invert)
        TNegativeTransform().Apply(m_image);
}

void TTiffPageReader::StoreRow(int row, const uint8_t* data, int64_t rowSize)
{
    uint8_t* out = m_image.ScanLine(row);
    if (!m_widenIndices) {
        std::memcpy(out, data, size_t(std::min<int64_t>(rowSize, m_image.ScanLineSize())));
        return;
    }
    const int bits = m_sourceBits;
    const int mask = (1 << bits) - 1;
    for (int x = 0; x < m_image.GetWidth(); ++x) {
        const int64_t bit = int64_t(x) * bits;
        if (bit / 8 >= rowSize)
            break;
        const int index = (data[bit / 8] >> (8 - bits - int(bit % 8))) & mask;
        m_image.SetPixelIndex(x, row, index);
    }
}

void TTiffPageReader::ReadFaxRows(TTiffHandle& tif, int64_t rowSize)
{
    std::vector<uint8_t> buffer(static_cast<size_t>(rowSize));
    for (int row = 0; row < m_image.GetHeight(); ++row) {
        if (TIFFReadScanline(tif, buffer.data(), uint32_t(row), 0) == -1)
            tif.Fail("TIFFReadScanline");
        StoreRow(row, buffer.data(), rowSize);
    }
}

void TTiffPageReader::ReadFullColour(TTiffHandle& tif)
{
    const int width = m_image.GetWidth(), height = m_image.GetHeight();
    std::vector<uint32_t> raster(size_t(width) * size_t(height)); // bounded by kMaxPixels
    if (!TIFFReadRGBAImage(tif, uint32_t(width), uint32_t(height), raster.data(), 1))
        tif.Fail("TIFFReadRGBAImage");
    // The decoder's first row is the bottom row of the page.
    for (int k = 0; k < height; ++k) {
        const uint32_t* in = raster.data() + size_t(k) * size_t(width);
        const int y = height - 1 - k;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = in[x];
            const uint32_t red = v & 0xFF, green = (v >> 8) & 0xFF, blue = (v >> 16) & 0xFF, alpha = v >> 24;
            m_image.SetPixel(x, y, alpha << 24 | red << 16 | green << 8 | blue);
        }
    }
}

void TTiffPageReader::ReadStrips(TTiffHandle& tif, int64_t rowSize, int bytesPerPixel, uint32_t stripRows)
{
    const int height = m_image.GetHeight(), width = m_image.GetWidth();
    if (stripRows == 0 || stripRows > uint32_t(height))
        stripRows = uint32_t(height);
    const int64_t stripSize = TIFFStripSize64(tif);
    if (stripSize <= 0 || stripSize > TTiffHandle::kMaxLibraryAllocation)
        tif.Fail("TIFFReadEncodedStrip");
    std::vector<uint8_t> buffer(static_cast<size_t>(stripSize));
    for (int r = 0; r < height; r += int(stripRows)) {
        const int rows = std::min(int(stripRows), height - r);
        const int64_t wanted = rowSize * rows;
        if (wanted > stripSize) // the strip layout disagrees with the tags
            tif.Fail("TIFFReadEncodedStrip");
        if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, uint32_t(r), 0), buffer.data(), tmsize_t(wanted)) == -1)
            tif.Fail("TIFFReadEncodedStrip");
        for (int i = 0; i < rows; ++i) {
            const uint8_t* data = buffer.data() + rowSize * i;
            if (bytesPerPixel == 3 || bytesPerPixel == 4) {
                for (int x = 0; x < width && int64_t(x) * bytesPerPixel + 2 < rowSize; ++x) {
                    const uint8_t* p = data + int64_t(x) * bytesPerPixel;
                    m_image.SetPixel(x, r + i, uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
                }
            } else {
                StoreRow(r + i, data, rowSize);
            }
        }
    }
}
