#include "TestTiff.h"

#include <tiffio.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace {

void Quiet(const char*, const char*, va_list) {}

std::string TempPath()
{
    // Library diagnostics would only clutter the test output.
    TIFFSetErrorHandler(Quiet);
    TIFFSetWarningHandler(Quiet);
    static std::atomic<int> counter{0};
    return (std::filesystem::temp_directory_path() /
            ("caldris-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tif"))
        .string();
}

void Check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("test TIFF: ") + what);
}

void WritePage(TIFF* tif, const TestTiffPage& p)
{
    Check(TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width), "width");
    Check(TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height), "length");
    Check(TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bitsPerSample), "bits");
    Check(TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.samplesPerPixel), "samples");
    Check(TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric), "photometric");
    Check(TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression), "compression");
    if (p.group3Options)
        Check(TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, *p.group3Options), "group 3 options");
    if (p.rowsPerStrip)
        Check(TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, *p.rowsPerStrip), "rows per strip");
    if (p.resolutionUnit)
        Check(TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, *p.resolutionUnit), "unit");
    if (p.xResolution)
        Check(TIFFSetField(tif, TIFFTAG_XRESOLUTION, double(*p.xResolution)), "x resolution");
    if (p.yResolution)
        Check(TIFFSetField(tif, TIFFTAG_YRESOLUTION, double(*p.yResolution)), "y resolution");
    if (p.samplesPerPixel > 1)
        Check(TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG), "planar");
    if (!p.colorMap.empty()) {
        const size_t n = p.colorMap.size() / 3;
        std::vector<uint16_t> map = p.colorMap;
        Check(TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n), "colour map");
    }
    if (p.tileSize > 0) {
        Check(TIFFSetField(tif, TIFFTAG_TILEWIDTH, p.tileSize), "tile width");
        Check(TIFFSetField(tif, TIFFTAG_TILELENGTH, p.tileSize), "tile length");
        const tmsize_t rowBytes = TIFFScanlineSize(tif);
        const uint32_t tileRowBytes = uint32_t(TIFFTileRowSize(tif));
        std::vector<uint8_t> tile(size_t(TIFFTileSize(tif)));
        for (uint32_t ty = 0; ty < p.height; ty += p.tileSize)
            for (uint32_t tx = 0; tx < p.width; tx += p.tileSize) {
                std::fill(tile.begin(), tile.end(), 0);
                const uint32_t byteX = uint32_t(uint64_t(tx) * uint64_t(rowBytes) / p.width);
                for (uint32_t y = 0; y < p.tileSize && ty + y < p.height; ++y) {
                    const std::string& row = p.rows[ty + y];
                    for (uint32_t b = 0; b < tileRowBytes && byteX + b < row.size(); ++b)
                        tile[y * tileRowBytes + b] = uint8_t(row[byteX + b]);
                }
                Check(TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0) != -1, "tile");
            }
    } else {
        for (uint32_t y = 0; y < p.height; ++y) {
            std::string row = p.rows[y];
            Check(TIFFWriteScanline(tif, row.data(), y, 0) != -1, "scanline");
        }
    }
    Check(TIFFWriteDirectory(tif), "directory");
}

} // namespace

std::string WriteTestTiff(const std::vector<TestTiffPage>& pages)
{
    const std::string path = TempPath();
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    Check(tif != nullptr, "create");
    try {
        for (const TestTiffPage& p : pages)
            WritePage(tif, p);
    } catch (...) {
        TIFFClose(tif);
        std::remove(path.c_str());
        throw;
    }
    TIFFClose(tif);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::remove(path.c_str());
    return bytes.str();
}

TestTiffReader::TestTiffReader(const std::string& bytes) : m_path(TempPath())
{
    {
        std::ofstream out(m_path, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    m_tif = TIFFOpen(m_path.c_str(), "r");
}

TestTiffReader::~TestTiffReader()
{
    if (m_tif)
        TIFFClose(static_cast<TIFF*>(m_tif));
    std::remove(m_path.c_str());
}

int TestTiffReader::DirectoryCount() { return m_tif ? int(TIFFNumberOfDirectories(static_cast<TIFF*>(m_tif))) : 0; }

bool TestTiffReader::SetDirectory(int index) { return m_tif && TIFFSetDirectory(static_cast<TIFF*>(m_tif), tdir_t(index)); }

std::optional<uint16_t> TestTiffReader::U16(uint32_t tag)
{
    uint16_t v = 0;
    if (!m_tif || !TIFFGetField(static_cast<TIFF*>(m_tif), tag, &v))
        return std::nullopt;
    return v;
}

std::optional<uint32_t> TestTiffReader::U32(uint32_t tag)
{
    uint32_t v = 0;
    if (!m_tif || !TIFFGetField(static_cast<TIFF*>(m_tif), tag, &v))
        return std::nullopt;
    return v;
}

std::optional<float> TestTiffReader::Float(uint32_t tag)
{
    float v = 0;
    if (!m_tif || !TIFFGetField(static_cast<TIFF*>(m_tif), tag, &v))
        return std::nullopt;
    return v;
}

std::optional<std::string> TestTiffReader::Text(uint32_t tag)
{
    char* v = nullptr;
    if (!m_tif || !TIFFGetField(static_cast<TIFF*>(m_tif), tag, &v) || !v)
        return std::nullopt;
    return std::string(v);
}

std::vector<uint16_t> TestTiffReader::ColorMap(int count)
{
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!m_tif || !TIFFGetField(static_cast<TIFF*>(m_tif), TIFFTAG_COLORMAP, &r, &g, &b))
        return {};
    std::vector<uint16_t> out;
    out.insert(out.end(), r, r + count);
    out.insert(out.end(), g, g + count);
    out.insert(out.end(), b, b + count);
    return out;
}

std::string TestTiffReader::Scanline(uint32_t row)
{
    TIFF* tif = static_cast<TIFF*>(m_tif);
    std::string out(size_t(TIFFScanlineSize(tif)), '\0');
    Check(TIFFReadScanline(tif, out.data(), row, 0) != -1, "read scanline");
    return out;
}

std::vector<uint32_t> TestTiffReader::Rgba()
{
    TIFF* tif = static_cast<TIFF*>(m_tif);
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(size_t(w) * h);
    Check(TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 1), "read RGBA");
    for (uint32_t& v : raster)
        v = TIFFGetR(v) << 16 | TIFFGetG(v) << 8 | TIFFGetB(v);
    return raster;
}
