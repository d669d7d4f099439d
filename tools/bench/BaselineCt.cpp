// The straightforward single-thread program for the CT cases: every file read
// with one read() into one reused buffer, the min/max pass and the 8-bit map
// pass over its samples into a malloc'd image that is kept until the case is
// done, as a loader keeps its images.
// Prints, as medians of the rounds: images per second, milliseconds to the
// first mapped image, milliseconds for the whole folder.
#include "BaselineFiles.h"
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
    const size_t n = 512 * 512;
    std::vector<double> rates, firsts, totals;
    uint64_t check = 0;
    size_t capacity = 0;
    std::unique_ptr<char[]> buffer;
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    for (int r = 0; r < rounds; ++r) {
        std::vector<uint8_t*> kept;
        kept.reserve(files.size());
        double first = -1;
        const auto t0 = Clock::now();
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
            if (got < ssize_t(n * 2))
                return 1;
            const int16_t* s = reinterpret_cast<const int16_t*>(buffer.get() + got - ssize_t(n * 2));
            int lo = 32000, hi = -32000;
            for (size_t i = 0; i < n; ++i) {
                lo = s[i] < lo ? s[i] : lo;
                hi = s[i] > hi ? s[i] : hi;
            }
            const int range = hi - lo;
            auto* out = static_cast<uint8_t*>(std::malloc(n));
            if (!out)
                return 1;
            kept.push_back(out);
            for (size_t i = 0; i < n; ++i) {
                const int v = s[i] - lo;
                out[i] = v <= 0 ? 0 : v >= range ? 255 : uint8_t((v * 510 + range) / (2 * range));
            }
            check += out[n / 2];
            if (first < 0)
                first = ms(Clock::now() - t0);
        }
        const double total = ms(Clock::now() - t0);
        rates.push_back(double(files.size()) * 1000.0 / total);
        firsts.push_back(first);
        totals.push_back(total);
        for (uint8_t* k : kept)
            std::free(k);
    }
    std::printf("%.1f %.2f %.1f\n", MedianOf(rates), MedianOf(firsts), MedianOf(totals));
    return check == 0xFFFFFFFF ? 1 : 0;
}
