#include "DicomWriter.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

DicomWriter::DicomWriter(bool littleEndian, bool preamble) : m_little(littleEndian)
{
    if (preamble) {
        m_data.assign(128, '\0');
        m_data += "DICM";
    }
}

void DicomWriter::Put16(uint16_t v)
{
    if (m_little) {
        m_data += char(v & 0xFF);
        m_data += char(v >> 8);
    } else {
        m_data += char(v >> 8);
        m_data += char(v & 0xFF);
    }
}

void DicomWriter::Put32(uint32_t v)
{
    if (m_little) {
        Put16(uint16_t(v & 0xFFFF));
        Put16(uint16_t(v >> 16));
    } else {
        Put16(uint16_t(v >> 16));
        Put16(uint16_t(v & 0xFFFF));
    }
}

DicomWriter& DicomWriter::Header(uint32_t tag, uint32_t length, const std::string& bytes)
{
    Put16(uint16_t(tag >> 16));
    Put16(uint16_t(tag & 0xFFFF));
    Put32(length);
    m_data += bytes;
    return *this;
}

DicomWriter& DicomWriter::Element(uint32_t tag, const std::string& value)
{
    Header(tag, uint32_t(value.size()), value);
    if (value.size() % 2)
        m_data += '\0'; // the pad byte that readers skip after an odd length
    return *this;
}

DicomWriter& DicomWriter::Text(uint32_t tag, const std::string& value)
{
    std::string v = value;
    if (v.size() % 2)
        v += ' ';
    return Element(tag, v);
}

DicomWriter& DicomWriter::U16(uint32_t tag, uint16_t value)
{
    Header(tag, 2);
    Put16(value);
    return *this;
}

DicomWriter& DicomWriter::Pixels16(const std::vector<int16_t>& samples)
{
    Header(0x7FE00010, uint32_t(samples.size() * 2));
    for (int16_t s : samples)
        Put16(uint16_t(s));
    return *this;
}

DicomWriter& DicomWriter::Pixels8(const std::vector<uint8_t>& samples)
{
    return Element(0x7FE00010, std::string(samples.begin(), samples.end()));
}

DicomWriter& DicomWriter::Raw(const std::string& bytes)
{
    m_data += bytes;
    return *this;
}

void DicomWriter::Save(const std::string& path) const { WriteFile(path, m_data); }

DicomWriter DicomWriter::Gray16(int rows, int cols, const std::vector<int16_t>& samples)
{
    DicomWriter w;
    w.U16(0x00280002, 1).Text(0x00280004, "MONOCHROME2").U16(0x00280010, uint16_t(rows)).U16(0x00280011, uint16_t(cols));
    w.U16(0x00280100, 16).Pixels16(samples);
    return w;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}
