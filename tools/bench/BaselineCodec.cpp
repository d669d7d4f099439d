// The codecs alone on the JPEG cases: every pixel data stream is read into
// memory first, then only decoded (8-bit: libjpeg-turbo; 12-bit: the 12-bit
// codec's bridge). Prints images per second (median of the rounds).
#include "BaselineFiles.h"
#include "Jpeg12Decoder.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

int DecodeJpeg8Alone(const std::string& stream);

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const bool twelve = std::strcmp(argv[2], "12") == 0;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    std::vector<std::string> streams;
    for (const auto& f : FolderFiles(argv[1]))
        streams.push_back(PixelValue(ReadWhole(f)));
    std::vector<double> rates;
    long check = 0;
    std::vector<int16_t> samples(512 * 512);
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        for (const auto& s : streams) {
            if (twelve) {
                DecodeJpeg12(reinterpret_cast<const uint8_t*>(s.data()), uint32_t(s.size()), samples.data(), 512, 512);
                check += samples[1000];
            } else {
                check += DecodeJpeg8Alone(s);
            }
        }
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        rates.push_back(double(streams.size()) / secs);
    }
    std::printf("%.1f\n", MedianOf(rates));
    return check == -1 ? 1 : 0;
}
