#include "TMemoryStream.h"

#include "Exception.h"
#include "TFileStream.h"

#include <algorithm>
#include <cstring>

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    const int64_t size = int64_t(m_data.size());
    if (count <= 0 || m_pos >= size)
        return 0;
    const int64_t n = std::min(count, size - m_pos);
    std::memcpy(buffer, m_data.data() + m_pos, size_t(n));
    m_pos += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    count = CountWithinRange(m_pos, count);
    if (count <= 0)
        return 0;
    const int64_t end = m_pos + count;
    if (uint64_t(end) > m_data.max_size())
        return 0; // no memory block can reach that far
    if (end > int64_t(m_data.size())) {
        if (m_data.capacity() < size_t(end))
            m_data.reserve(std::max<size_t>(size_t(end), m_data.capacity() * 2));
        m_data.resize(size_t(end));
    }
    std::memcpy(m_data.data() + m_pos, buffer, size_t(count));
    m_pos = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    if (origin == soCurrent)
        base = m_pos;
    else if (origin == soEnd)
        base = int64_t(m_data.size());
    const int64_t target = SeekTarget(base, offset);
    if (target < 0)
        return -1;
    m_pos = target;
    return m_pos;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        throw EStreamError("Stream size error");
    m_data.resize(size_t(newSize));
    if (m_pos > newSize)
        m_pos = newSize;
}

void TMemoryStream::Clear()
{
    m_data.clear();
    m_data.shrink_to_fit();
    m_pos = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream)
{
    stream.SetPosition(0);
    const int64_t size = stream.Size();
    SetSize(size);
    stream.ReadBuffer(m_data.data(), size);
    m_pos = 0;
}

void TMemoryStream::SaveToStream(TStream& stream)
{
    stream.WriteBuffer(m_data.data(), int64_t(m_data.size()));
}

void TMemoryStream::LoadFromFile(const std::string& fileName)
{
    TFileStream f(fileName, fmOpenRead | fmShareDenyNone);
    LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& fileName)
{
    TFileStream f(fileName, fmCreate);
    SaveToStream(f);
}
