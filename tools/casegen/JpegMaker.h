#pragma once
// JPEG data streams for tests, made with the codecs' own compressors:
// 8-bit baseline/progressive (grey or RGB), 12-bit lossless and DCT, and
// 16-bit lossless (a precision the decoder must refuse).
#include <cstdint>
#include <string>
#include <vector>

struct Jpeg8Options {
    bool progressive = false;
    int quality = 95;
    int densityUnit = 0; // 0 none, 1 per inch, 2 per cm
    int xDensity = 1;
    int yDensity = 1;
};

// pixels: height rows of width x components bytes (grey, or red-green-blue).
std::string MakeJpeg8(int width, int height, int components, const std::vector<uint8_t>& pixels,
                      const Jpeg8Options& options = {});
// 12-bit lossless (process 14, predictor 1).
std::string MakeJpeg12Lossless(int width, int height, const std::vector<uint16_t>& samples);
// 12-bit DCT (lossy) grey.
std::string MakeJpeg12Dct(int width, int height, const std::vector<uint16_t>& samples);
// 16-bit lossless grey.
std::string MakeJpeg16Lossless(int width, int height, const std::vector<uint16_t>& samples);
