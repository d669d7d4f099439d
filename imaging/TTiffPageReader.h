#pragma once
// Reads one page of a TIFF into a TTiffGraphic: the tag rules and defaults,
// the pixel format and palette, then the pixels by one of three routes (fax
// rows, strips, or the library's full-colour decoder). Used by TTiffGraphic on
// the thread that owns the image and the stream (the case loader's).
#include <cstdint>

class TStream;
class TTiffGraphic;
class TTiffHandle;
struct TLogPalette;

class TTiffPageReader {
public:
    explicit TTiffPageReader(TTiffGraphic& image) : m_image(image) {}
    // The TIFF starts at the stream's first byte; page counts from 1.
    void Read(TStream& stream, int page);
    // The page of the handle's current directory.
    void ReadCurrent(TTiffHandle& tif);

    // Largest page accepted, in pixels: bounds every buffer a hostile size field could ask for.
    static constexpr uint64_t kMaxPixels = uint64_t(1) << 27;
    // Most decoded bytes one stored byte can give, per compression (Deflate's
    // limit is about 1032; JPEG's, with subsampled colour, below 2048).
    static uint64_t MaxExpansion(uint16_t compression);

private:
    void ReadFaxRows(TTiffHandle& tif, int64_t rowSize);
    void ReadFullColour(TTiffHandle& tif);
    void ReadStrips(TTiffHandle& tif, int64_t rowSize, int bytesPerPixel, uint32_t stripRows);
    // Puts one decoded row into the image's row, widening 1- and 2-bit palette indices.
    void StoreRow(int row, const uint8_t* data, int64_t rowSize);

    TTiffGraphic& m_image;
    int m_sourceBits = 8;          // bits per sample of the page
    bool m_widenIndices = false;   // 1- or 2-bit palette page shown as 4-bit
};
