// The fastest any loader can be on the CT case: every file read with one read
// call into a reused buffer, then only the min/max pass and the 8-bit map
// pass over its samples. Like a loader it keeps every mapped image until the
// case is done, in memory from the same allocator as the image model's.
// Prints images per second (median).
#include "BaselineFiles.h"
#include "PixelMemory.h"
#include "ToolOptions.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv)
{
    const char* usage = "usage: baseline_ct FOLDER [ROUNDS]\n"
                        "Reads and maps every CT file of FOLDER the fastest way; prints images per second.\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    if (argc < 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const auto files = FolderFiles(argv[1]);
    std::vector<double> rates;
    uint64_t check = 0;
    size_t capacity = 0;
    std::unique_ptr<char[]> buffer;
    for (int r = 0; r < rounds; ++r) {
        std::vector<uint8_t*> kept;
        const auto t0 = std::chrono::steady_clock::now();
        for (const auto& f : files) {
            const int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st {};
            ::fstat(fd, &st);
            if (size_t(st.st_size) > capacity) {
                capacity = size_t(st.st_size);
                buffer.reset(new char[capacity]);
            }
            const ssize_t got = ::read(fd, buffer.get(), capacity);
            ::close(fd);
            // The generated files end with their pixel data.
            const size_t n = 512 * 512;
            if (got < ssize_t(n * 2))
                return 1;
            const int16_t* s = reinterpret_cast<const int16_t*>(buffer.get() + got - ssize_t(n * 2));
            int lo = 32000, hi = -32000;
            for (size_t i = 0; i < n; ++i) {
                lo = s[i] < lo ? s[i] : lo;
                hi = s[i] > hi ? s[i] : hi;
            }
            const int range = hi - lo;
            uint8_t* out = PixelMemory::Allocate(n);
            kept.push_back(out);
            for (size_t i = 0; i < n; ++i) {
                const int v = s[i] - lo;
                out[i] = v <= 0 ? 0 : v >= range ? 255 : uint8_t((v * 510 + range) / (2 * range));
            }
            check += out[n / 2];
        }
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        rates.push_back(double(files.size()) / secs);
        for (uint8_t* k : kept)
            PixelMemory::Release(k, 512 * 512);
    }
    std::printf("%.1f\n", MedianOf(rates));
    return check == 0xFFFFFFFF ? 1 : 0;
}
