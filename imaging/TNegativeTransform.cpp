#include "TNegativeTransform.h"

#include "TDibGraphic.h"

#include <cstring>
#include <vector>

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
            uint8_t* row = image.ScanLine(y);
            for (int i = 0; i < image.ScanLineSize(); ++i)
                row[i] = uint8_t(~row[i]);
        }
        break;
    case ifTrueColor:
        // Blue, green and red bytes inverted in place: a pixel call each would
        // make a large image take seconds.
        for (int y = 0; y < h; ++y) {
            Progress(y, 0, h - 1);
            uint8_t* row = image.ScanLine(y);
            for (size_t i = 0; i < size_t(w) * 3; ++i)
                row[i] = uint8_t(~row[i]);
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
