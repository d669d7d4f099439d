#pragma once
// Logical palette record and the default palettes of the pixel formats.
#include "TImageFormat.h"

#include <cstddef>
#include <cstdint>

struct TPaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
};

struct TLogPalette {
    uint16_t palVersion = 0;    // 0x300 once set
    uint16_t palNumEntries = 0; // at most 256
    TPaletteEntry palPalEntry[256];
};

// Fill a caller's palette with black/white, 16 greys or 256 greys.
void BuildBlackWhitePalette(TLogPalette& pal);
void BuildGray16Palette(TLogPalette& pal);
void BuildGray256Palette(TLogPalette& pal);

// The shared, read-only default palette of a palette format (built once);
// null for ifTrueColor; raises "Internal error: Invalid image format" above 5.
const TLogPalette* DefaultPalette(TImageFormat format);

// Exchanges the first and third byte of every 3-byte group of n bytes
// (blue-green-red to red-green-blue and back).
void SwapRedBlue(uint8_t* data, size_t n);
