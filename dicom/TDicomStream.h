#pragma once
// Read-only stream over one DICOM file, walked element by element in one flat
// encoding: 16-bit group, 16-bit element, 32-bit length, no value
// representation. Settles the byte order, finds the pixel data, looks up raw
// values and indexes the images of a multi-image file.
//
// Threads: one user at a time (the case loader's thread, or the UI thread for
// an export). No locks.
#include "TFileStream.h"
#include "TReadBuffer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace DicomTag {
constexpr uint32_t StudyDate = 0x00080020;
constexpr uint32_t ContentTime = 0x00080033;
constexpr uint32_t ReferringPhysicianName = 0x00080090;
constexpr uint32_t StudyDescription = 0x00081030;
constexpr uint32_t SeriesDescription = 0x0008103E;
constexpr uint32_t ManufacturerModelName = 0x00081090;
constexpr uint32_t PatientName = 0x00100010;
constexpr uint32_t RepetitionTime = 0x00180080;
constexpr uint32_t EchoTime = 0x00180081;
constexpr uint32_t SeriesInstanceUID = 0x0020000E;
constexpr uint32_t InstanceNumber = 0x00200013;
constexpr uint32_t SamplesPerPixel = 0x00280002;
constexpr uint32_t PhotometricInterpretation = 0x00280004;
constexpr uint32_t PlanarConfiguration = 0x00280006;
constexpr uint32_t Rows = 0x00280010;
constexpr uint32_t Columns = 0x00280011;
constexpr uint32_t BitsAllocated = 0x00280100;
constexpr uint32_t PixelRepresentation = 0x00280103;
constexpr uint32_t WindowCenter = 0x00281050;
constexpr uint32_t WindowWidth = 0x00281051;
constexpr uint32_t RescaleIntercept = 0x00281052;
constexpr uint32_t RescaleSlope = 0x00281053;
constexpr uint32_t PixelData = 0x7FE00010;
constexpr uint32_t PrivateCompressedShift1 = 0x7FE10001;
constexpr uint32_t PrivateSampleOffset = 0x7FE10002;
constexpr uint32_t PrivateCompressedShift10 = 0x7FE10010;
constexpr uint32_t Item = 0xFFFEE000;
constexpr uint32_t ItemDelimitation = 0xFFFEE00D;
} // namespace DicomTag

// Sorted image index: key "%4d" of the image number, start of its elements.
class TDicomImageList {
public:
    using Item = std::pair<std::string, int64_t>;
    int Count() const { return int(m_items.size()); }
    const std::string& Key(int i) const { return m_items[size_t(i)].first; }
    int64_t Position(int i) const { return m_items[size_t(i)].second; }
    int IndexOf(const std::string& key) const;
    // Adds the key in order, or replaces the position of an existing key.
    void Put(const std::string& key, int64_t position);
    // Takes items with distinct keys in any order and sorts them once.
    void Assign(std::vector<Item> items);
    const std::vector<Item>& Items() const { return m_items; }
    void Clear() { m_items.clear(); }

private:
    std::vector<Item> m_items;
};

// How much of the file the constructor reads: the whole file, or only its
// first bytes, the rest being read (once, in one piece) when a walk needs it.
enum class TDicomExtent { Whole, Headers };

// The file's bytes are read into memory when the stream is made (one read
// per file, or a head and then the rest), and every walk runs over that
// memory. Only regular files are read: the file is opened without blocking
// and checked before any read. A read that ends before the size the file
// stated ends the data there.
class TDicomStream : public TStream {
public:
    // Opens and reads the file (its open failure raises EFOpenError) into
    // memory of its own, settles the byte order and leaves the position at
    // the first pixel data value. Raises "EDicomError No pixel data." when
    // there is none.
    explicit TDicomStream(const std::string& fileName, uint16_t mode = fmOpenRead | fmShareDenyNone);
    // The same into the caller's buffer, which must outlive the stream.
    TDicomStream(const std::string& fileName, TReadBuffer& buffer, TDicomExtent extent = TDicomExtent::Whole);
    // Walks bytes that the caller keeps alive and unchanged for the stream's life.
    TDicomStream(const uint8_t* data, size_t size);
    ~TDicomStream() override;
    TDicomStream(const TDicomStream&) = delete;
    TDicomStream& operator=(const TDicomStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    // Read only: writes nothing.
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return m_size; }
    // Raises EStreamError: the stream is read only.
    void SetSize(int64_t newSize) override;

    const std::string& FileName() const { return m_fileName; }
    // Up to count bytes of the file at pos, in memory; count becomes how many
    // there are (0 past the end). The pointer lives as long as the stream.
    const uint8_t* Bytes(int64_t pos, int64_t& count);

    bool ReadWord(uint16_t& value)
    {
        if (m_pos >= 0 && m_pos + 2 <= m_loaded) {
            const uint8_t* b = m_data + m_pos;
            value = LittleEndian ? uint16_t(b[0] | b[1] << 8) : uint16_t(b[0] << 8 | b[1]);
            m_pos += 2;
            return true;
        }
        return ReadWordSlow(value);
    }
    bool ReadDWord(uint32_t& value);
    bool ReadTag(uint32_t& tag);

    // The raw value (length bytes as stored) of the first element with the tag,
    // walking from the data-set start to the first item delimiter.
    std::string GetElementString(uint32_t tag, const std::string& defaultText);
    // Fills ImageList and sets HasItems.
    void ScanImages();

    // Moves to the data-set start (132 after "DICM" at 128, else 0) and returns it.
    int64_t SeekDataSetStart();
    // One element header at the position: false at the end of data.
    bool ReadElementHeader(uint32_t& tag, uint32_t& length);
    // Moves past a value of the given length that starts at the position.
    void SkipValue(uint32_t length);

    bool LittleEndian = true;
    bool HasItems = false;
    TDicomImageList ImageList;

private:
    void Open(const std::string& fileName, TReadBuffer& buffer, TDicomExtent extent);
    // Reads the part of the file not read yet, when only its head was.
    void LoadRest();
    bool ReadWordSlow(uint16_t& value);
    void ProbeByteOrder();
    void FindPixelData();

    std::string m_fileName;
    std::unique_ptr<TReadBuffer> m_ownBuffer;
    TReadBuffer* m_buffer = nullptr;
    int m_fd = -1;               // open only while part of the file is unread
    const uint8_t* m_data = nullptr;
    int64_t m_loaded = 0;        // bytes in memory
    int64_t m_size = 0;          // bytes in the file (as far as reads went)
    int64_t m_pos = 0;
};
