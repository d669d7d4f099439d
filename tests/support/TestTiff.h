#pragma once
// Independent TIFF access for tests: pages written and read straight through
// libtiff (through a temporary file), so that our reader and writer are
// checked against the library rather than against themselves.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TestTiffPage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerSample = 8;
    uint16_t samplesPerPixel = 1;
    uint16_t photometric = 1;
    uint16_t compression = 1;
    std::optional<uint32_t> rowsPerStrip;
    std::optional<uint32_t> group3Options;
    uint32_t tileSize = 0; // tiled when above 0 (a multiple of 16)
    std::optional<uint16_t> resolutionUnit;
    std::optional<float> xResolution;
    std::optional<float> yResolution;
    // Red, green and blue arrays, each 2^bitsPerSample long, one after the other.
    std::vector<uint16_t> colorMap;
    // Packed sample rows from the top, each as libtiff's scanline size.
    std::vector<std::string> rows;
};

// The bytes of a TIFF holding the pages in order.
std::string WriteTestTiff(const std::vector<TestTiffPage>& pages);

class TestTiffReader {
public:
    explicit TestTiffReader(const std::string& bytes);
    ~TestTiffReader();
    TestTiffReader(const TestTiffReader&) = delete;
    TestTiffReader& operator=(const TestTiffReader&) = delete;

    bool IsOpen() const { return m_tif != nullptr; }
    int DirectoryCount();
    bool SetDirectory(int index);
    std::optional<uint16_t> U16(uint32_t tag);
    std::optional<uint32_t> U32(uint32_t tag);
    std::optional<float> Float(uint32_t tag);
    std::optional<std::string> Text(uint32_t tag);
    // Red, green and blue arrays, each count long.
    std::vector<uint16_t> ColorMap(int count);
    // One decoded row (libtiff's scanline size).
    std::string Scanline(uint32_t row);
    // 0x00RRGGBB values, top row first, as libtiff's full-colour decoder gives them.
    std::vector<uint32_t> Rgba();

private:
    std::string m_path;
    void* m_tif = nullptr;
};
