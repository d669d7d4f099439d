// The codecs alone on the JPEG cases: every pixel data stream is read into
// memory first, then only decoded (8-bit: libjpeg-turbo; 12-bit: the 12-bit
// codec's bridge), each into a new image's memory that is kept until the
// round ends, as a loader keeps its images. Prints, as medians of the
// rounds: images per second, milliseconds to the first decoded image,
// milliseconds for all.
#include "BaselineFiles.h"
#include "Jpeg12Decoder.h"
#include "PixelMemory.h"
#include "ToolOptions.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

uint8_t* DecodeJpeg8Alone(const std::string& stream, size_t* size);

int main(int argc, char** argv)
{
    const char* usage = "usage: baseline_codec FOLDER 8|12 [ROUNDS]\n"
                        "Decodes every JPEG pixel stream of FOLDER with the codec alone; prints images per second.\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    if (argc < 3) {
        std::fputs(usage, stderr);
        return 2;
    }
    const bool twelve = std::strcmp(argv[2], "12") == 0;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    std::vector<std::string> streams;
    for (const auto& f : FolderFiles(argv[1]))
        streams.push_back(PixelValue(ReadWhole(f)));
    std::vector<double> rates, firsts, totals;
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    long check = 0;
    for (int r = 0; r < rounds; ++r) {
        std::vector<std::pair<uint8_t*, size_t>> kept;
        double first = -1;
        const auto t0 = Clock::now();
        for (const auto& s : streams) {
            if (twelve) {
                const size_t bytes = 512 * 512 * sizeof(int16_t);
                auto* samples = reinterpret_cast<int16_t*>(PixelMemory::Allocate(bytes));
                DecodeJpeg12(reinterpret_cast<const uint8_t*>(s.data()), uint32_t(s.size()), samples, 512, 512);
                check += samples[1000];
                kept.emplace_back(reinterpret_cast<uint8_t*>(samples), bytes);
            } else {
                size_t bytes = 0;
                uint8_t* image = DecodeJpeg8Alone(s, &bytes);
                check += image[bytes / 2];
                kept.emplace_back(image, bytes);
            }
            if (first < 0)
                first = ms(Clock::now() - t0);
        }
        const double total = ms(Clock::now() - t0);
        rates.push_back(double(streams.size()) * 1000.0 / total);
        firsts.push_back(first);
        totals.push_back(total);
        for (const auto& [p, bytes] : kept)
            PixelMemory::Release(p, bytes);
    }
    std::printf("%.1f %.2f %.1f\n", MedianOf(rates), MedianOf(firsts), MedianOf(totals));
    return check == -1 ? 1 : 0;
}
