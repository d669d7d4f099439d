#pragma once
// Builds exam-information files for tests and fuzz seeds: "EXAM", then chunks
// of a four-letter tag, a big-endian 32-bit length and the body.
#include <algorithm>
#include <cstdint>
#include <string>

class ExamFile {
public:
    ExamFile() : m_data("EXAM") {}
    ExamFile& Chunk(const std::string& tag, const std::string& body)
    {
        return Chunk(tag, uint32_t(body.size()), body);
    }
    ExamFile& Chunk(const std::string& tag, uint32_t length, const std::string& body)
    {
        m_data += tag;
        m_data += char(length >> 24);
        m_data += char(length >> 16);
        m_data += char(length >> 8);
        m_data += char(length);
        m_data += body;
        return *this;
    }
    ExamFile& Seri() { return Chunk("Seri", std::string(20, 'x')); }
    ExamFile& Imag(const std::string& name, int16_t upper, int16_t lower, size_t bodySize = 40)
    {
        std::string body(std::max<size_t>(bodySize, 38), '\0');
        body[0] = char(name.size());
        body.replace(1, name.size(), name);
        body[34] = char(uint16_t(upper) >> 8);
        body[35] = char(upper);
        body[36] = char(uint16_t(lower) >> 8);
        body[37] = char(lower);
        body.resize(bodySize);
        return Chunk("Imag", body);
    }
    ExamFile& Raw(const std::string& bytes)
    {
        m_data += bytes;
        return *this;
    }
    const std::string& Data() const { return m_data; }

private:
    std::string m_data;
};
