#include "TFileStream.h"

#include "Exception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : m_fileName(fileName), m_buf(new uint8_t[kBufferSize])
{
    if (mode == fmCreate) {
        m_fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_fd < 0)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
        return;
    }
    int flags = O_RDONLY;
    if ((mode & 3) == fmOpenWrite)
        flags = O_WRONLY;
    else if ((mode & 3) == fmOpenReadWrite)
        flags = O_RDWR;
    // Reading never blocks in open() on a named pipe, and only regular
    // files are read.
    const bool readOnly = flags == O_RDONLY;
    m_fd = ::open(fileName.c_str(), flags | O_CLOEXEC | (readOnly ? O_NONBLOCK : 0));
    const char* reason = nullptr;
    if (m_fd >= 0) {
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode))
            reason = std::strerror(EISDIR);
        else if (readOnly && !S_ISREG(st.st_mode))
            reason = "Not a regular file.";
        if (reason) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    if (m_fd < 0)
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + (reason ? reason : std::strerror(errno)));
}

TFileStream::~TFileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    count = CountWithinRange(m_pos, count);
    if (count <= 0)
        return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    // Serve what the buffer holds at the position.
    if (m_pos >= m_bufStart && m_pos < m_bufStart + m_bufLen) {
        const int64_t n = std::min(count, m_bufStart + m_bufLen - m_pos);
        std::memcpy(out, m_buf.get() + (m_pos - m_bufStart), size_t(n));
        m_pos += n;
        done = n;
        if (done == count)
            return done;
    }
    const int64_t rest = count - done;
    if (rest >= kBufferSize) {
        while (done < count) {
            ++m_readCalls;
            const ssize_t r = ::pread(m_fd, out + done, size_t(std::min<int64_t>(count - done, 1 << 30)), m_pos);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            m_pos += r;
            done += r;
        }
        return done;
    }
    // Refill the buffer at the position, then serve from it.
    ssize_t r;
    do {
        ++m_readCalls;
        r = ::pread(m_fd, m_buf.get(), size_t(kBufferSize), m_pos);
    } while (r < 0 && errno == EINTR);
    if (r <= 0)
        return done; // at the end: keep what the buffer holds for the next walk
    m_bufStart = m_pos;
    m_bufLen = r;
    const int64_t n = std::min(rest, m_bufLen);
    std::memcpy(out + done, m_buf.get(), size_t(n));
    m_pos += n;
    return done + n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    count = CountWithinRange(m_pos, count);
    if (count <= 0)
        return 0;
    m_bufLen = 0; // the written range may overlap the read buffer
    const auto* in = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t w = ::pwrite(m_fd, in + done, size_t(std::min<int64_t>(count - done, 1 << 30)), m_pos);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        m_pos += w;
        done += w;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    if (origin == soCurrent)
        base = m_pos;
    else if (origin == soEnd)
        base = Size();
    const int64_t target = SeekTarget(base, offset);
    if (target < 0)
        return -1;
    m_pos = target;
    return m_pos;
}

int64_t TFileStream::Size()
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return 0;
    return st.st_size;
}

void TFileStream::SetSize(int64_t newSize)
{
    m_bufLen = 0;
    if (::ftruncate(m_fd, newSize) != 0)
        throw EStreamError(std::string("Stream size error: ") + std::strerror(errno));
    if (m_pos > newSize)
        m_pos = newSize;
}
