#include "TNegativeTransform.h"

#include "TDibGraphic.h"

#include <cstring>
#include <vector>

namespace {

// Eight bytes a step: a whole-store negative of a large image stays well
// under a second even in instrumented builds.
void InvertBytes(uint8_t* bytes, size_t count)
{
    size_t i = 0;
    for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        word = ~word;
        std::memcpy(bytes + i, &word, sizeof word);
    }
    for (; i < count; ++i)
        bytes[i] = uint8_t(~bytes[i]);
}

} // namespace

void TNegativeTransform::ApplyOnDest(TDibGraphic& source, TDibGraphic& dest)
{
    dest.Assign(&source);
    Apply(dest);
}

void TNegativeTransform::Apply(TDibGraphic& image)
{
    m_lastPercent = 255;
    Progress(0, 0, 100);
    const int h = image.GetHeight(), w = image.GetWidth();
    switch (image.ImageFormat()) {
    case ifBlackWhite:
    case ifGray16:
    case ifGray256:
        for (int y = 0; y < h; ++y) {
            Progress(y, 0, h - 1);
            InvertBytes(image.ScanLine(y), size_t(image.ScanLineSize()));
        }
        break;
    case ifTrueColor:
        // Blue, green and red bytes inverted in place: a pixel call each would
        // make a large image take seconds.
        for (int y = 0; y < h; ++y) {
            Progress(y, 0, h - 1);
            InvertBytes(image.ScanLine(y), size_t(w) * 3);
        }
        break;
    case ifColor16:
    case ifColor256: {
        const size_t bytes = size_t(h) * size_t(image.ScanLineSize());
        std::vector<uint8_t> saved(image.Bits(), image.Bits() + bytes);
        TLogPalette pal = *image.LogPalette();
        for (int i = 0; i < pal.palNumEntries; ++i) {
            TPaletteEntry& e = pal.palPalEntry[i];
            e = TPaletteEntry{uint8_t(255 - e.peRed), uint8_t(255 - e.peGreen), uint8_t(255 - e.peBlue), 0};
        }
        image.NewImage(w, h, image.ImageFormat(), &pal, image.XDotsPerInch(), image.YDotsPerInch());
        std::memcpy(image.Bits(), saved.data(), bytes);
        break;
    }
    }
    image.PixelsChanged();
    Progress(100, 0, 100);
}
