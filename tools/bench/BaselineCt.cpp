// The fastest any loader can be on the CT case: every file read with one read
// call, then only the min/max pass and the 8-bit map pass over its samples.
// Prints images per second (median of the rounds).
#include "BaselineFiles.h"
#include "MulDiv.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const auto files = FolderFiles(argv[1]);
    std::vector<double> rates;
    uint64_t check = 0;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        for (const auto& f : files) {
            const std::string data = ReadWhole(f);
            const std::string pixels = PixelValue(data);
            const size_t n = pixels.size() / 2;
            std::vector<int16_t> s(n);
            std::memcpy(s.data(), pixels.data(), n * 2);
            int lo = 32000, hi = -32000;
            for (int16_t v : s) {
                if (v < lo) lo = v;
                if (v > hi) hi = v;
            }
            const int range = hi - lo;
            std::vector<uint8_t> out(n);
            for (size_t i = 0; i < n; ++i)
                out[i] = s[i] <= lo ? 0 : s[i] >= hi ? 255 : uint8_t(MulDiv(s[i] - lo, 255, range));
            check += out[n / 2];
        }
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        rates.push_back(double(files.size()) / secs);
    }
    std::printf("%.1f\n", MedianOf(rates));
    return check == 0xFFFFFFFF ? 1 : 0;
}
