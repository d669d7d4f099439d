#pragma once
// Builds DICOM test files in the flat encoding the stream reads: 16-bit group,
// 16-bit element, 32-bit length, value; optional 128-byte preamble + "DICM".
#include <cstdint>
#include <string>
#include <vector>

class DicomWriter {
public:
    explicit DicomWriter(bool littleEndian = true, bool preamble = true);

    // Header with the value's own length, then the value as given, then a
    // NUL pad byte when the length is odd (the header keeps the odd length).
    DicomWriter& Element(uint32_t tag, const std::string& value);
    // Text padded with one blank to an even length.
    DicomWriter& Text(uint32_t tag, const std::string& value);
    // A 16-bit number of length 2 in the file's byte order.
    DicomWriter& U16(uint32_t tag, uint16_t value);
    // A header with any length, followed by the given bytes (which may differ from it).
    DicomWriter& Header(uint32_t tag, uint32_t length, const std::string& bytes = {});
    DicomWriter& ItemStart(uint32_t length = 0) { return Header(0xFFFEE000, length); }
    DicomWriter& ItemEnd() { return Header(0xFFFEE00D, 0); }
    // Pixel data from 16-bit samples in the file's byte order.
    DicomWriter& Pixels16(const std::vector<int16_t>& samples);
    DicomWriter& Pixels8(const std::vector<uint8_t>& samples);
    // Raw bytes appended as they stand.
    DicomWriter& Raw(const std::string& bytes);

    const std::string& Data() const { return m_data; }
    void Save(const std::string& path) const;

    // A complete single-frame grey image file.
    static DicomWriter Gray16(int rows, int cols, const std::vector<int16_t>& samples);

private:
    void Put16(uint16_t v);
    void Put32(uint32_t v);
    bool m_little;
    std::string m_data;
};

// Writes bytes to a file, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
