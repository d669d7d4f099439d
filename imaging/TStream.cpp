#include "TStream.h"

#include "Exception.h"

#include <algorithm>
#include <limits>
#include <vector>

int64_t TStream::Size()
{
    const int64_t pos = Seek(0, soCurrent);
    const int64_t end = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

int64_t TStream::SeekTarget(int64_t base, int64_t offset)
{
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        return -1;
    return target;
}

int64_t TStream::CountWithinRange(int64_t pos, int64_t count)
{
    if (count <= 0 || pos < 0)
        return 0;
    return std::min(count, std::numeric_limits<int64_t>::max() - pos);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count < 0)
        throw EReadError("Stream read error");
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const int64_t total = count;
    constexpr int64_t chunk = 1 << 20;
    std::vector<char> buf(size_t(std::min(count, chunk)));
    while (count > 0) {
        const int64_t n = std::min(count, chunk);
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        count -= n;
    }
    return total;
}
