#include "TTiffCompression.h"

const char* TiffCompressionDescription(TTiffCompression compression)
{
    switch (compression) {
    case tcNone: return "None";
    case tcPackBits: return "Packbits";
    case tcGroup3_1D: return "CCITT Group 3, 1D";
    case tcGroup3_2D: return "CCITT Group 3, 2D";
    case tcGroup4: return "CCITT Group 4";
    case tcZLib: return "ZLib";
    case tcJpeg: return "JPEG";
    }
    return "";
}

uint16_t TiffCompressionCode(TTiffCompression compression)
{
    switch (compression) {
    case tcNone: return 1;
    case tcPackBits: return 32773;
    case tcGroup3_1D:
    case tcGroup3_2D: return 3;
    case tcGroup4: return 4;
    case tcZLib: return 32946;
    case tcJpeg: return 7;
    }
    return 1;
}

bool IsCcittCompression(TTiffCompression compression)
{
    return compression == tcGroup3_1D || compression == tcGroup3_2D || compression == tcGroup4;
}

bool TiffCompressionAllowed(TTiffCompression compression, TImageFormat format)
{
    switch (compression) {
    case tcNone:
    case tcPackBits:
    case tcZLib: return format <= ifTrueColor;
    case tcGroup3_1D:
    case tcGroup3_2D:
    case tcGroup4: return format == ifBlackWhite;
    case tcJpeg: return format == ifGray256 || format == ifTrueColor;
    }
    return false;
}
