// Writes the three loading-benchmark cases into OUTDIR:
//   ct/   300 single-image CT files, 512 x 512 signed 16-bit samples
//   ct2000/ 2,000 such files
//   mr12/ 100 single-image files, 512 x 512 12-bit lossless JPEG
//   rgb/  50 single-image files, 1024 x 768 RGB baseline JPEG
#include "DicomWriter.h"
#include "JpegMaker.h"
#include "ToolOptions.h"

#include <QDir>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kPrivateJpeg = 0x7FE10010;

void Header(DicomWriter& w, const std::string& uid, int instance, int rows, int cols, int bits, int samples)
{
    w.Text(0x00080020, "20261208").Text(0x00100010, "BENCH^CASE").Text(0x00081030, "LOAD BENCHMARK");
    w.Text(0x00080090, "DR^BENCH").Text(0x0020000E, uid).Text(0x00200013, std::to_string(instance));
    w.U16(0x00280002, uint16_t(samples)).Text(0x00280004, samples == 3 ? "RGB" : "MONOCHROME2");
    w.U16(0x00280010, uint16_t(rows)).U16(0x00280011, uint16_t(cols)).U16(0x00280100, uint16_t(bits));
}

std::string Path(const QString& dir, const char* pattern, int i)
{
    char name[64];
    std::snprintf(name, sizeof name, pattern, i);
    return QDir(dir).filePath(name).toStdString();
}

// CT: air around a water-like disc with a bony ring, in stored units.
void WriteCt(const QString& dir, int count, std::mt19937& rng)
{
    std::uniform_int_distribution<int> noise(-20, 20);
    for (int i = 0; i < count; ++i) {
        std::vector<int16_t> s(512 * 512);
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) {
                const double r = std::hypot(x - 256.0, y - 256.0 + (i % 50));
                int v = r < 200 ? 1064 : 24;
                if (r > 185 && r < 200)
                    v = 2200;
                s[size_t(y * 512 + x)] = int16_t(v + noise(rng));
            }
        DicomWriter w;
        Header(w, "1.2.826.0.1.3680043.2.1", i + 1, 512, 512, 16, 1);
        w.Text(0x00281050, "40").Text(0x00281051, "400").Text(0x00281052, "-1024").Text(0x00281053, "1");
        w.Pixels16(s).Save(Path(dir, "CT%04d.dcm", i));
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* usage = "usage: make_bench_cases OUTDIR\n"
                        "Writes the loading benchmark's cases ct/, ct2000/, mr12/ and rgb/ into OUTDIR.\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    if (argc != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (const char* sub : {"ct", "ct2000", "mr12", "rgb"})
        QDir().mkpath(QDir(out).filePath(sub));
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> noise(-20, 20);

    WriteCt(QDir(out).filePath("ct"), 300, rng);
    WriteCt(QDir(out).filePath("ct2000"), 2000, rng);
    // MR, 12-bit lossless.
    for (int i = 0; i < 100; ++i) {
        std::vector<uint16_t> s(512 * 512);
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) {
                const double v = 2000 + 1500 * std::sin(x / 40.0 + i / 10.0) * std::cos(y / 55.0) + noise(rng) * 3;
                s[size_t(y * 512 + x)] = uint16_t(std::clamp(int(v), 0, 4095));
            }
        DicomWriter w;
        Header(w, "1.2.826.0.1.3680043.2.2", i + 1, 512, 512, 16, 1);
        std::string jpeg = MakeJpeg12Lossless(512, 512, s);
        if (jpeg.size() % 2)
            jpeg += '\0';
        w.U16(kPrivateJpeg, 0).Element(0x7FE00010, jpeg);
        w.Save(Path(QDir(out).filePath("mr12"), "MR%04d.dcm", i));
    }
    // RGB, baseline JPEG.
    for (int i = 0; i < 50; ++i) {
        std::vector<uint8_t> p(1024 * 768 * 3);
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x) {
                uint8_t* px = &p[size_t((y * 1024 + x) * 3)];
                px[0] = uint8_t((x + i * 7) & 0xFF);
                px[1] = uint8_t((y * 2 + noise(rng)) & 0xFF);
                px[2] = uint8_t(((x ^ y) + i) & 0xFF);
            }
        std::string jpeg = MakeJpeg8(1024, 768, 3, p, {.quality = 90});
        if (jpeg.size() % 2)
            jpeg += '\0';
        DicomWriter w;
        Header(w, "1.2.826.0.1.3680043.2.3", i + 1, 768, 1024, 8, 3);
        w.U16(kPrivateJpeg, 0).Element(0x7FE00010, jpeg);
        w.Save(Path(QDir(out).filePath("rgb"), "RGB%04d.dcm", i));
    }
    return 0;
}
