#pragma once
// Maps colour values (0x00RRGGBB) to the nearest entry of a logical palette,
// with a 1020-slot cache because SetPixel on palette images runs per pixel.
#include "TLogPalette.h"

#include <cstdint>

class TRgbToPaletteConverter {
public:
    // The palette is referenced, not copied: it is the owning image's own.
    explicit TRgbToPaletteConverter(const TLogPalette* palette);

    int16_t NearestIndex(uint32_t color);

    uint32_t HitCount() const { return m_hits; }
    uint32_t MissCount() const { return m_misses; }

    static constexpr int kSlots = 1020;

private:
    struct Slot {
        uint32_t color;
        int16_t index;
    };
    const TLogPalette* m_palette;
    Slot m_cache[kSlots];
    uint32_t m_hits = 0;
    uint32_t m_misses = 0;
};
