// Times DecodeImage (through LoadImage, as the case loader calls it) for a
// 512 x 512 16-bit image, uncompressed and as 12-bit lossless JPEG, and the
// cost of one SetWindow. Prints the median and the best of the runs.
#include "DicomWriter.h"
#include "JpegMaker.h"
#include "TDicomGraphic.h"
#include "TDicomStream.h"
#include "ToolOptions.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSize = 512;

// A smooth body-like picture with some noise, 12 significant bits.
std::vector<uint16_t> Picture()
{
    std::vector<uint16_t> s(size_t(kSize) * kSize);
    uint32_t seed = 1;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            seed = seed * 1103515245u + 12345u;
            const double r = std::hypot(x - kSize / 2.0, y - kSize / 2.0);
            const int v = r < 200 ? 1000 + int(800 * std::cos(r / 30.0)) + int(seed >> 28) : 50;
            s[size_t(y) * kSize + size_t(x)] = uint16_t(std::clamp(v, 0, 4095));
        }
    return s;
}

template <typename F> void Time(const char* what, int runs, F&& f)
{
    std::vector<double> us;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(us.begin(), us.end());
    std::printf("%-40s median %9.1f us   best %9.1f us   (%d runs)\n", what, us[us.size() / 2], us.front(), runs);
}

void Bench(const char* what, const std::string& path, int runs)
{
    TDicomStream stream(path);
    stream.ScanImages();
    Time(what, runs, [&] {
        TDicomGraphic g;
        g.LoadImage(stream, 1);
    });
}

} // namespace

int main(int argc, char** argv)
{
    const char* usage = "usage: decode_bench\n"
                        "Times the decoding of a 512 x 512 image, uncompressed and 12-bit lossless JPEG.\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    const std::vector<uint16_t> picture = Picture();
    std::vector<int16_t> samples(picture.begin(), picture.end());
    char dir[] = "/tmp/decode_benchXXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string plain = std::string(dir) + "/plain.dcm";
    const std::string lossless = std::string(dir) + "/lossless.dcm";

    DicomWriter::Gray16(kSize, kSize, samples).Save(plain);
    DicomWriter w;
    w.U16(DicomTag::Rows, kSize).U16(DicomTag::Columns, kSize).U16(DicomTag::BitsAllocated, 16);
    w.U16(DicomTag::PrivateCompressedShift10, 0).Text(DicomTag::WindowCenter, "1000").Text(DicomTag::WindowWidth, "2000");
    const std::string jpeg = MakeJpeg12Lossless(kSize, kSize, picture);
    w.Element(DicomTag::PixelData, jpeg).Save(lossless);
    std::printf("lossless data stream: %zu bytes (%.2f bits per sample)\n", jpeg.size(),
                8.0 * double(jpeg.size()) / (kSize * kSize));

    Bench("DecodeImage 512x512 16-bit", plain, 200);
    Bench("DecodeImage 512x512 12-bit lossless JPEG", lossless, 50);

    TDicomStream stream(plain);
    stream.ScanImages();
    TDicomGraphic g;
    g.LoadImage(stream, 1);
    int16_t c = 0;
    Time("SetWindow (one 256-entry palette)", 2000, [&] { g.SetWindow(int16_t(c++ % 256), 100); });

    std::remove(plain.c_str());
    std::remove(lossless.c_str());
    rmdir(dir);
    return 0;
}
