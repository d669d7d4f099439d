#pragma once
// Stream over an open file, with 64-bit positions. Small reads are served from
// an 8 KiB read buffer, so an element-by-element header walk costs one system
// call per buffer, not one per field; large reads go straight to the file.
#include "TStream.h"

#include <memory>
#include <string>

// Open modes (combinable with the share flags, which only document intent:
// files are always opened so that other processes may read and write them).
enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00, // create, or truncate an existing file, for reading and writing
};

class TFileStream : public TStream {
public:
    // Raises EFOpenError ("Cannot open file ...") or EFCreateError
    // ("Cannot create file ...") naming the file.
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t newSize) override;

    const std::string& FileName() const { return m_fileName; }
    int Handle() const { return m_fd; }
    // Number of read system calls made so far (for measurements).
    uint64_t ReadCalls() const { return m_readCalls; }

private:
    static constexpr int64_t kBufferSize = 8192;
    std::string m_fileName;
    int m_fd = -1;
    int64_t m_pos = 0;
    std::unique_ptr<uint8_t[]> m_buf;
    int64_t m_bufStart = 0; // file offset of m_buf[0]
    int64_t m_bufLen = 0;   // valid bytes in m_buf
    uint64_t m_readCalls = 0;
};
