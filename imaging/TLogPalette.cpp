#include "TLogPalette.h"

#include "Exception.h"

#include <utility>

namespace {

void Set(TLogPalette& pal, int i, int r, int g, int b)
{
    pal.palPalEntry[i] = TPaletteEntry{uint8_t(r), uint8_t(g), uint8_t(b), 0};
}

void Reset(TLogPalette& pal, uint16_t count)
{
    pal = TLogPalette{};
    pal.palVersion = 0x300;
    pal.palNumEntries = count;
}

const int kVga16[16][3] = {
    {0, 0, 0}, {0, 0, 170}, {0, 170, 0}, {0, 170, 170}, {170, 0, 0}, {170, 0, 170}, {170, 85, 0}, {170, 170, 170},
    {85, 85, 85}, {85, 85, 255}, {85, 255, 85}, {85, 255, 255}, {255, 85, 85}, {255, 85, 255}, {255, 255, 85},
    {255, 255, 255}};

void BuildColor16(TLogPalette& pal)
{
    Reset(pal, 16);
    for (int i = 0; i < 16; ++i)
        Set(pal, i, kVga16[i][0], kVga16[i][1], kVga16[i][2]);
}

// The VGA default 256-colour table: 16 colours, a grey ramp, then nine rings of
// 24 hues (high, medium and low saturation at intensities 255, 113 and 65),
// then eight blacks.
void BuildColor256(TLogPalette& pal)
{
    Reset(pal, 256);
    for (int i = 0; i < 16; ++i)
        Set(pal, i, kVga16[i][0], kVga16[i][1], kVga16[i][2]);
    const int grey[16] = {0, 20, 32, 44, 56, 69, 81, 97, 113, 130, 146, 162, 182, 203, 227, 255};
    for (int i = 0; i < 16; ++i)
        Set(pal, 16 + i, grey[i], grey[i], grey[i]);
    // Each ring walks the hue circle blue -> magenta -> red -> yellow -> green
    // -> cyan -> blue in 24 steps between a low level lo and the top level hi.
    const int levels[3][5] = {
        {0, 65, 125, 190, 255},    // intensity 255, high saturation
        {125, 158, 190, 223, 255}, // intensity 255, medium
        {182, 199, 219, 235, 255}, // intensity 255, low
    };
    const int scaled[3][3][5] = {
        {{0, 28, 56, 85, 113}, {56, 69, 85, 97, 113}, {81, 89, 97, 105, 113}},
        {{0, 16, 32, 48, 65}, {32, 40, 48, 56, 65}, {44, 48, 52, 60, 65}},
        {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
    };
    int idx = 32;
    for (int intensity = 0; intensity < 3; ++intensity) {
        for (int sat = 0; sat < 3; ++sat) {
            const int* v = intensity == 0 ? levels[sat] : scaled[intensity - 1][sat];
            const int lo = v[0], hi = v[4];
            int r = lo, g = lo, b = hi;
            // 24 hues: 6 segments of 4 steps, each step moving one channel.
            for (int seg = 0; seg < 6; ++seg) {
                for (int step = 0; step < 4; ++step) {
                    Set(pal, idx++, r, g, b);
                    switch (seg) {
                    case 0: r = v[step + 1]; break;     // blue -> magenta: red rises
                    case 1: b = v[3 - step]; break;     // magenta -> red: blue falls
                    case 2: g = v[step + 1]; break;     // red -> yellow: green rises
                    case 3: r = v[3 - step]; break;     // yellow -> green: red falls
                    case 4: b = v[step + 1]; break;     // green -> cyan: blue rises
                    case 5: g = v[3 - step]; break;     // cyan -> blue: green falls
                    }
                }
            }
        }
    }
    for (; idx < 256; ++idx)
        Set(pal, idx, 0, 0, 0);
}

struct Defaults {
    TLogPalette bw, g16, g256, c16, c256;
    Defaults()
    {
        BuildBlackWhitePalette(bw);
        BuildGray16Palette(g16);
        BuildGray256Palette(g256);
        BuildColor16(c16);
        BuildColor256(c256);
    }
};

const Defaults& TheDefaults()
{
    static const Defaults d;
    return d;
}

} // namespace

void BuildBlackWhitePalette(TLogPalette& pal)
{
    Reset(pal, 2);
    Set(pal, 0, 0, 0, 0);
    Set(pal, 1, 255, 255, 255);
}

void BuildGray16Palette(TLogPalette& pal)
{
    Reset(pal, 16);
    for (int i = 0; i < 16; ++i)
        Set(pal, i, 17 * i, 17 * i, 17 * i);
}

void BuildGray256Palette(TLogPalette& pal)
{
    Reset(pal, 256);
    for (int i = 0; i < 256; ++i)
        Set(pal, i, i, i, i);
}

const TLogPalette* DefaultPalette(TImageFormat format)
{
    const Defaults& d = TheDefaults();
    switch (format) {
    case ifBlackWhite: return &d.bw;
    case ifGray16: return &d.g16;
    case ifGray256: return &d.g256;
    case ifColor16: return &d.c16;
    case ifColor256: return &d.c256;
    case ifTrueColor: return nullptr;
    }
    throw EKerbelinError("Internal error: Invalid image format");
}

void SwapRedBlue(uint8_t* data, size_t n)
{
    for (size_t i = 0; i + 3 <= n; i += 3)
        std::swap(data[i], data[i + 2]);
}
