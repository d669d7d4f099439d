#include "TiffTestImages.h"

#include <algorithm>
#include <cstdlib>

void FillPattern(TDibGraphic& image, int width, int height, TImageFormat format, uint16_t xDpi, uint16_t yDpi,
                 int seed, bool smooth)
{
    TLogPalette pal{};
    const TLogPalette* palette = nullptr;
    if (format == ifColor16 || format == ifColor256) {
        pal.palVersion = 0x300;
        pal.palNumEntries = format == ifColor16 ? 16 : 256;
        for (int i = 0; i < pal.palNumEntries; ++i)
            pal.palPalEntry[i] = TPaletteEntry{uint8_t(i * 37 + 5), uint8_t(255 - i), uint8_t(i * 11), 0};
        palette = &pal;
    }
    image.NewImage(width, height, format, palette, xDpi, yDpi);
    const int entries = format == ifTrueColor ? 0 : image.LogPalette()->palNumEntries;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = smooth ? (x * 4 + y * 2 + seed) : (x * 7 + y * 13 + seed * 5 + (x * y) % 3);
            if (format == ifTrueColor) {
                const uint32_t r = uint32_t(v) & 0xFF, g = uint32_t(smooth ? 200 - y : v * 3 + 1) & 0xFF,
                               b = uint32_t(smooth ? 40 + x : v * 5 + 2) & 0xFF;
                image.SetPixel(x, y, r << 16 | g << 8 | b);
            } else {
                image.SetPixelIndex(x, y, (smooth ? std::min(v, entries - 1) : v) % entries);
            }
        }
}

int MaxChannelDifference(const TDibGraphic& a, const TDibGraphic& b)
{
    int worst = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x) {
            const uint32_t p = a.GetPixel(x, y), q = b.GetPixel(x, y);
            for (int shift = 0; shift <= 16; shift += 8)
                worst = std::max(worst, std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
        }
    return worst;
}

std::string Bytes(const TMemoryStream& stream)
{
    return std::string(reinterpret_cast<const char*>(stream.Memory()), size_t(const_cast<TMemoryStream&>(stream).Size()));
}

void SetBytes(TMemoryStream& stream, const std::string& bytes)
{
    stream.Clear();
    stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    stream.SetPosition(0);
}
