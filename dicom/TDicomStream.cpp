#include "TDicomStream.h"

#include "EDicomError.h"
#include "Exception.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

int TDicomImageList::IndexOf(const std::string& key) const
{
    auto it = std::lower_bound(m_items.begin(), m_items.end(), key,
                               [](const auto& item, const std::string& k) { return item.first < k; });
    return (it != m_items.end() && it->first == key) ? int(it - m_items.begin()) : -1;
}

void TDicomImageList::Put(const std::string& key, int64_t position)
{
    auto it = std::lower_bound(m_items.begin(), m_items.end(), key,
                               [](const auto& item, const std::string& k) { return item.first < k; });
    if (it != m_items.end() && it->first == key)
        it->second = position;
    else
        m_items.insert(it, {key, position});
}

void TDicomImageList::Assign(std::vector<Item> items)
{
    std::sort(items.begin(), items.end(), [](const Item& x, const Item& y) { return x.first < y.first; });
    m_items = std::move(items);
}

namespace {

// The head read by a stream that walks headers only: the element headers of
// ordinary files lie well within it.
constexpr int64_t kHeadBytes = 16 * 1024;

struct TFileHandle {
    int fd = -1;
    ~TFileHandle()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

[[noreturn]] void RaiseOpenError(const std::string& fileName, const char* reason)
{
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + reason);
}

// Reads up to count bytes at offset; stops early only at the end of the data
// or on an error. Returns the bytes read.
int64_t ReadAt(int fd, uint8_t* out, int64_t count, int64_t offset)
{
    constexpr int64_t kChunk = int64_t(1) << 30;
    int64_t done = 0;
    while (done < count) {
        const ssize_t r = ::pread(fd, out + done, size_t(std::min(count - done, kChunk)), offset + done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break; // a read of 0 before the stated end: the data end here
        done += r;
    }
    return done;
}

} // namespace

TDicomStream::TDicomStream(const std::string& fileName, uint16_t)
    : m_ownBuffer(std::make_unique<TReadBuffer>())
{
    Open(fileName, *m_ownBuffer, TDicomExtent::Whole);
}

TDicomStream::TDicomStream(const std::string& fileName, TReadBuffer& buffer, TDicomExtent extent)
{
    Open(fileName, buffer, extent);
}

TDicomStream::TDicomStream(const uint8_t* data, size_t size)
    : m_data(data), m_loaded(int64_t(size)), m_size(int64_t(size))
{
    ProbeByteOrder();
    FindPixelData();
}

TDicomStream::~TDicomStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void TDicomStream::Open(const std::string& fileName, TReadBuffer& buffer, TDicomExtent extent)
{
    m_fileName = fileName;
    m_buffer = &buffer;
    // Without blocking, so that a named pipe cannot hold the caller in open().
    TFileHandle file{::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0)
        RaiseOpenError(fileName, std::strerror(errno));
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        RaiseOpenError(fileName, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        RaiseOpenError(fileName, S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "Not a regular file.");
    m_size = int64_t(st.st_size);
    const int64_t want = extent == TDicomExtent::Headers ? std::min(m_size, kHeadBytes) : m_size;
    uint8_t* data = buffer.Reserve(size_t(want));
    m_loaded = ReadAt(file.fd, data, want, 0);
    buffer.SetUsed(size_t(m_loaded));
    m_data = data;
    if (m_loaded < want)
        m_size = m_loaded;
    if (m_loaded < m_size)
        std::swap(m_fd, file.fd); // kept for the rest
    ProbeByteOrder();
    FindPixelData();
}

void TDicomStream::LoadRest()
{
    if (m_fd < 0 || m_loaded >= m_size)
        return;
    TFileHandle file{-1};
    std::swap(file.fd, m_fd);
    uint8_t* data = m_buffer->Reserve(size_t(m_size), size_t(m_loaded));
    const int64_t got = ReadAt(file.fd, data + m_loaded, m_size - m_loaded, m_loaded);
    m_loaded += got;
    m_size = m_loaded;
    m_buffer->SetUsed(size_t(m_loaded));
    m_data = data;
}

const uint8_t* TDicomStream::Bytes(int64_t pos, int64_t& count)
{
    if (pos < 0 || count <= 0 || pos >= m_size) {
        count = 0;
        return m_data;
    }
    if (pos + count > m_loaded)
        LoadRest();
    count = std::max<int64_t>(0, std::min(count, m_loaded - pos));
    return m_data + pos;
}

int64_t TDicomStream::Read(void* buffer, int64_t count)
{
    const uint8_t* from = Bytes(m_pos, count);
    if (count > 0) {
        std::memcpy(buffer, from, size_t(count));
        m_pos += count;
    }
    return count;
}

int64_t TDicomStream::Write(const void*, int64_t) { return 0; }

int64_t TDicomStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int64_t base = origin == soCurrent ? m_pos : origin == soEnd ? m_size : 0;
    // Positions stay far below the 64-bit limits: a base is at most the
    // size plus one 32-bit skip.
    const int64_t target = base + offset;
    if (target < 0)
        return -1;
    m_pos = target;
    return m_pos;
}

void TDicomStream::SetSize(int64_t) { throw EStreamError("Stream size error: the stream is read only"); }

bool TDicomStream::ReadWordSlow(uint16_t& value)
{
    uint8_t b[2];
    if (Read(b, 2) != 2)
        return false;
    value = LittleEndian ? uint16_t(b[0] | b[1] << 8) : uint16_t(b[0] << 8 | b[1]);
    return true;
}

bool TDicomStream::ReadDWord(uint32_t& value)
{
    uint8_t b[4];
    if (m_pos >= 0 && m_pos + 4 <= m_loaded) {
        std::memcpy(b, m_data + m_pos, 4);
        m_pos += 4;
    } else if (Read(b, 4) != 4) {
        return false;
    }
    value = LittleEndian ? (uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24)
                         : (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]));
    return true;
}

bool TDicomStream::ReadTag(uint32_t& tag)
{
    uint16_t group, element;
    if (!ReadWord(group))
        return false;
    if (!ReadWord(element))
        return false;
    tag = uint32_t(group) << 16 | element;
    return true;
}

int64_t TDicomStream::SeekDataSetStart()
{
    SetPosition(128);
    char magic[4];
    if (Read(magic, 4) == 4 && std::memcmp(magic, "DICM", 4) == 0)
        return 132;
    SetPosition(0);
    return 0;
}

bool TDicomStream::ReadElementHeader(uint32_t& tag, uint32_t& length)
{
    return ReadTag(tag) && ReadDWord(length);
}

void TDicomStream::SkipValue(uint32_t length)
{
    // 64-bit sum: an undefined length jumps past the end and ends the walk.
    m_pos += int64_t(length) + int64_t(length & 1);
}

void TDicomStream::ProbeByteOrder()
{
    LittleEndian = true;
    const int64_t start = SeekDataSetStart();
    uint32_t tag = 0, length = 0;
    bool found = false;
    while (ReadElementHeader(tag, length)) {
        if (length != 0) {
            found = true;
            break;
        }
    }
    SetPosition(start);
    if (found)
        LittleEndian = length < 0xFFFFFF;
}

void TDicomStream::FindPixelData()
{
    SeekDataSetStart();
    uint32_t tag, length;
    for (;;) {
        if (!ReadElementHeader(tag, length))
            RaiseDicomError("No pixel data.");
        if (tag == DicomTag::PixelData)
            return;
        if (tag == DicomTag::Item)
            HasItems = true;
        SkipValue(length);
    }
}

std::string TDicomStream::GetElementString(uint32_t tag, const std::string& defaultText)
{
    SeekDataSetStart();
    uint32_t t, length;
    while (ReadElementHeader(t, length)) {
        if (t == DicomTag::ItemDelimitation)
            break;
        if (t == tag) {
            // Never allocate more than the file can still supply.
            const int64_t available = std::max<int64_t>(0, Size() - Position());
            std::string value(size_t(std::min<int64_t>(length, available)), '\0');
            const int64_t got = Read(value.data(), int64_t(value.size()));
            value.resize(size_t(std::max<int64_t>(got, 0)));
            return value;
        }
        SkipValue(length);
    }
    return defaultText;
}

namespace {

// The integer of an Instance Number text: the value up to its first NUL,
// trimmed of blanks and control characters; -1 when it is not an integer.
int ParseInstanceNumber(const char* data, size_t size)
{
    size_t end = 0;
    while (end < size && data[end] != '\0')
        ++end;
    size_t begin = 0;
    while (begin < end && uint8_t(data[begin]) <= ' ')
        ++begin;
    while (end > begin && uint8_t(data[end - 1]) <= ' ')
        --end;
    if (begin < end && data[begin] == '+')
        ++begin;
    int value = 0;
    const auto r = std::from_chars(data + begin, data + end, value);
    if (begin == end || r.ec != std::errc() || r.ptr != data + end)
        return -1;
    return value;
}

} // namespace

void TDicomStream::ScanImages()
{
    // Keys are gathered with a hash index and sorted once at the end, so a
    // file of many items costs n log n, not n squared.
    std::vector<TDicomImageList::Item> items = ImageList.Items();
    std::unordered_map<std::string, size_t> index;
    index.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        index.emplace(items[i].first, i);
    int64_t start = SeekDataSetStart();
    int number = -1;
    uint32_t tag, length;
    while (ReadElementHeader(tag, length)) {
        if (tag == DicomTag::Item) {
            HasItems = true;
            start = Position();
            number = -1;
            continue; // enter the item whatever its length says
        }
        if (tag == DicomTag::InstanceNumber) {
            // At most 255 characters of the value are looked at; the walk
            // continues after the whole value.
            const int64_t valueStart = Position();
            int64_t got = std::min<int64_t>(int64_t(length) + (length & 1), 255);
            const uint8_t* text = Bytes(valueStart, got);
            number = ParseInstanceNumber(reinterpret_cast<const char*>(text), size_t(got));
            SkipValue(length);
            continue;
        }
        if (tag == DicomTag::PixelData) {
            if (number == -1)
                number = int(items.size()) + 1;
            char key[16];
            std::snprintf(key, sizeof key, "%4d", number);
            const auto [it, added] = index.emplace(key, items.size());
            if (added)
                items.emplace_back(key, start);
            else
                items[it->second].second = start;
        }
        SkipValue(length);
    }
    ImageList.Assign(std::move(items));
}
