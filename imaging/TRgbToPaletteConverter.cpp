#include "TRgbToPaletteConverter.h"

TRgbToPaletteConverter::TRgbToPaletteConverter(const TLogPalette* palette) : m_palette(palette)
{
    for (Slot& s : m_cache)
        s = Slot{0, -1};
}

int16_t TRgbToPaletteConverter::NearestIndex(uint32_t color)
{
    Slot& slot = m_cache[color % kSlots];
    if (slot.index >= 0 && slot.color == color) {
        ++m_hits;
        return slot.index;
    }
    ++m_misses;
    const int r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
    int16_t best = 0;
    int bestDistance = 0x7FFFFFFF;
    const int count = m_palette ? m_palette->palNumEntries : 0;
    for (int i = 0; i < count && i < 256; ++i) {
        const TPaletteEntry& e = m_palette->palPalEntry[i];
        const int dr = r - e.peRed, dg = g - e.peGreen, db = b - e.peBlue;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = int16_t(i);
            if (d == 0)
                break;
        }
    }
    slot = Slot{color, best};
    return best;
}
