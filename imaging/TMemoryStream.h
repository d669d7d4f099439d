#pragma once
// Stream over a growable block of memory that it owns.
#include "TStream.h"

#include <string>
#include <vector>

class TMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return int64_t(m_data.size()); }
    void SetSize(int64_t newSize) override;

    uint8_t* Memory() { return m_data.data(); }
    const uint8_t* Memory() const { return m_data.data(); }
    void Clear();
    // Replaces the content with the whole of stream (from its start).
    void LoadFromStream(TStream& stream);
    // Writes the whole content at stream's position.
    void SaveToStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

private:
    std::vector<uint8_t> m_data;
    int64_t m_pos = 0;
};
