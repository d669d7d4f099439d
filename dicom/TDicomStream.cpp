#include "TDicomStream.h"

#include "EDicomError.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

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

TDicomStream::TDicomStream(const std::string& fileName, uint16_t mode) : TFileStream(fileName, mode)
{
    ProbeByteOrder();
    FindPixelData();
}

bool TDicomStream::ReadWord(uint16_t& value)
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
    if (Read(b, 4) != 4)
        return false;
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
    SetPosition(Position() + int64_t(length) + int64_t(length & 1));
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
            char text[255];
            const int64_t want = std::min<int64_t>(int64_t(length) + (length & 1), int64_t(sizeof text));
            const int64_t got = std::max<int64_t>(0, Read(text, want));
            number = ParseInstanceNumber(text, size_t(got));
            SetPosition(valueStart);
            SkipValue(length);
            continue;
        }
        if (tag == DicomTag::PixelData) {
            if (number == -1)
                number = ImageList.Count() + 1;
            char key[16];
            std::snprintf(key, sizeof key, "%4d", number);
            ImageList.Put(key, start);
        }
        SkipValue(length);
    }
}
