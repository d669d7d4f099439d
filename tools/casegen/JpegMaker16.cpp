#include "JpegMaker.h"

// The IJG 16-bit build; no C++ linkage guards in its headers.
extern "C" {
#include <gdcmjpeg/16/jpeglib.h>
}

#include "JpegMakerIjg.inc"

std::string MakeJpeg16Lossless(int width, int height, const std::vector<uint16_t>& samples)
{
    return Compress(width, height, samples, 16, true);
}
