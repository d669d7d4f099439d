#pragma once
#include <cstdint>

// Pixel format of an image; the values are stored and compared as one byte.
enum TImageFormat : uint8_t {
    ifBlackWhite = 0, // 1 bit, 2 entries
    ifGray16 = 1,     // 4 bits, 16 grey entries
    ifGray256 = 2,    // 8 bits, 256 grey entries
    ifColor16 = 3,    // 4 bits, up to 16 colour entries
    ifColor256 = 4,   // 8 bits, up to 256 colour entries
    ifTrueColor = 5,  // 24 bits, blue-green-red, no palette
};

// Bits per pixel of a format; raises "Internal error: Invalid image format" above 5.
int FormatBitCount(TImageFormat format);
// "Black and white", "16 shades of gray", ... as used in messages.
const char* FormatDescription(TImageFormat format);
// "ifBlackWhite", "ifGray16", ... (the identifier's name).
const char* FormatName(TImageFormat format);
