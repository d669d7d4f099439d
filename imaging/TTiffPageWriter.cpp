#include "TTiffPageWriter.h"

#include "Exception.h"
#include "TTiffFields.h"
#include "TTiffGraphic.h"
#include "TTiffHandle.h"

#include <cstring>
#include <ctime>
#include <vector>

namespace {

std::string LocalDateTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
    return text;
}

struct PageLayout {
    uint16_t bitsPerSample;
    uint16_t samplesPerPixel;
    uint16_t photometric;
};

PageLayout LayoutOf(TImageFormat format, bool ccitt)
{
    switch (format) {
    case ifBlackWhite: return {1, 1, uint16_t(ccitt ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK)};
    case ifGray16: return {4, 1, PHOTOMETRIC_MINISBLACK};
    case ifGray256: return {8, 1, PHOTOMETRIC_MINISBLACK};
    case ifColor16: return {4, 1, PHOTOMETRIC_PALETTE};
    case ifColor256: return {8, 1, PHOTOMETRIC_PALETTE};
    case ifTrueColor: return {8, 3, PHOTOMETRIC_RGB};
    }
    throw EKerbelinError("Internal error: Invalid image format");
}

} // namespace

void TTiffPageWriter::Write(TStream& stream, const char* mode)
{
    // Nothing to write: the library would produce a page without strips.
    if (m_image.GetEmpty())
        throw EKerbelinError("Cannot write an empty image");

    const TImageFormat format = m_image.ImageFormat();
    const TTiffCompression compression = m_image.Compression();
    const bool ccitt = IsCcittCompression(compression);
    const PageLayout layout = LayoutOf(format, ccitt);

    TTiffHandle tif(stream, mode);
    const TTiffFields fields(tif);

    int32_t stripHeight = m_image.RowsPerStrip;
    if (compression == tcGroup3_1D || compression == tcGroup3_2D) {
        // The Group 3 codec must be selected before its option can be set.
        fields.SetInt(TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        fields.SetInt(TIFFTAG_GROUP3OPTIONS, compression == tcGroup3_2D ? GROUP3OPT_2DENCODING : 0);
    } else if (compression == tcJpeg) {
        stripHeight = 8; // the JPEG codec writes whole 8-row blocks
    }
    if (stripHeight > 0)
        fields.SetInt(TIFFTAG_ROWSPERSTRIP, uint32_t(stripHeight));
    fields.SetInt(TIFFTAG_COMPRESSION, TiffCompressionCode(compression));
    fields.SetInt(TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    fields.SetText(TIFFTAG_SOFTWARE, "Kerbelin Image Library");
    fields.SetText(TIFFTAG_DATETIME, LocalDateTime().c_str());
    fields.SetInt(TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    fields.SetFloat(TIFFTAG_XRESOLUTION, double(m_image.XDotsPerInch()));
    fields.SetFloat(TIFFTAG_YRESOLUTION, double(m_image.YDotsPerInch()));
    fields.SetInt(TIFFTAG_IMAGEWIDTH, uint32_t(m_image.GetWidth()));
    fields.SetInt(TIFFTAG_IMAGELENGTH, uint32_t(m_image.GetHeight()));
    fields.SetInt(TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample);
    fields.SetInt(TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
    fields.SetInt(TIFFTAG_PHOTOMETRIC, layout.photometric);

    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        // The library copies 2^BitsPerSample entries from each array; arrays
        // of 256 cover that whatever the palette's own entry count.
        const TLogPalette* pal = m_image.LogPalette();
        std::vector<uint16_t> red(256, 0), green(256, 0), blue(256, 0);
        const int entries = pal->palNumEntries > 256 ? 256 : pal->palNumEntries;
        for (int i = 0; i < entries; ++i) {
            red[size_t(i)] = uint16_t(pal->palPalEntry[i].peRed * 257);
            green[size_t(i)] = uint16_t(pal->palPalEntry[i].peGreen * 257);
            blue[size_t(i)] = uint16_t(pal->palPalEntry[i].peBlue * 257);
        }
        fields.SetColorMap(red.data(), green.data(), blue.data());
    }

    const int rowBytes = m_image.ScanLineSize();
    const bool invert = format == ifBlackWhite && ccitt;
    const bool swap = format == ifTrueColor;
    std::vector<uint8_t> copy(static_cast<size_t>(rowBytes));
    for (int row = 0; row < m_image.GetHeight(); ++row) {
        uint8_t* data = m_image.ScanLine(row);
        if (invert) {
            for (int i = 0; i < rowBytes; ++i)
                copy[size_t(i)] = uint8_t(~data[i]);
            data = copy.data();
        } else if (swap) {
            std::memcpy(copy.data(), data, size_t(rowBytes));
            SwapRedBlue(copy.data(), size_t(rowBytes));
            data = copy.data();
        }
        if (TIFFWriteScanline(tif, data, uint32_t(row), 0) == -1)
            tif.Fail("TIFFWriteScanLine");
    }
    tif.Flush();
}
