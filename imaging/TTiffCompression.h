#pragma once
// The compressions a TIFF page can be written with, and which pixel formats
// each one accepts. Pure functions; any thread.
#include "TImageFormat.h"

#include <cstdint>

enum TTiffCompression : uint8_t {
    tcNone = 0,
    tcPackBits = 1,
    tcGroup3_1D = 2,
    tcGroup3_2D = 3,
    tcGroup4 = 4,
    tcZLib = 5,
    tcJpeg = 6,
};

// "None", "Packbits", ... as used in messages.
const char* TiffCompressionDescription(TTiffCompression compression);
// The Compression (259) code written for it.
uint16_t TiffCompressionCode(TTiffCompression compression);
// True for the CCITT codecs, which take only black-and-white pages.
bool IsCcittCompression(TTiffCompression compression);
bool TiffCompressionAllowed(TTiffCompression compression, TImageFormat format);
