#include "TImageFormat.h"

#include "Exception.h"

int FormatBitCount(TImageFormat format)
{
    switch (format) {
    case ifBlackWhite: return 1;
    case ifGray16:
    case ifColor16: return 4;
    case ifGray256:
    case ifColor256: return 8;
    case ifTrueColor: return 24;
    }
    throw EKerbelinError("Internal error: Invalid image format");
}

const char* FormatDescription(TImageFormat format)
{
    switch (format) {
    case ifBlackWhite: return "Black and white";
    case ifGray16: return "16 shades of gray";
    case ifGray256: return "256 shades of gray";
    case ifColor16: return "16 color";
    case ifColor256: return "256 color";
    case ifTrueColor: return "True color";
    }
    throw EKerbelinError("Internal error: Invalid image format");
}

const char* FormatName(TImageFormat format)
{
    switch (format) {
    case ifBlackWhite: return "ifBlackWhite";
    case ifGray16: return "ifGray16";
    case ifGray256: return "ifGray256";
    case ifColor16: return "ifColor16";
    case ifColor256: return "ifColor256";
    case ifTrueColor: return "ifTrueColor";
    }
    throw EKerbelinError("Internal error: Invalid image format");
}
