#include "JpegMaker.h"

// The IJG 12-bit build; no C++ linkage guards in its headers.
extern "C" {
#include <gdcmjpeg/12/jpeglib.h>
}

#include "JpegMakerIjg.inc"

std::string MakeJpeg12Lossless(int width, int height, const std::vector<uint16_t>& samples)
{
    return Compress(width, height, samples, 12, true);
}

std::string MakeJpeg12Dct(int width, int height, const std::vector<uint16_t>& samples)
{
    return Compress(width, height, samples, 12, false);
}
