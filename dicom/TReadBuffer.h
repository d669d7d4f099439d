#pragma once
// Memory that one file at a time is read into, kept from file to file so that
// a case of similar files costs one allocation, not one per file. Under
// AddressSanitizer the bytes beyond the current file are poisoned, so a read
// past a file's end is still caught although the memory is there.
//
// Threads: one user at a time (a loader worker, or the stream that owns it).
#include <cstddef>
#include <cstdint>
#include <memory>

class TReadBuffer {
public:
    TReadBuffer() = default;
    ~TReadBuffer();
    TReadBuffer(const TReadBuffer&) = delete;
    TReadBuffer& operator=(const TReadBuffer&) = delete;

    // Room for bytes; the first keep bytes of the old content stay.
    uint8_t* Reserve(size_t bytes, size_t keep = 0);
    // The first bytes are the current file's; the rest is off limits.
    void SetUsed(size_t bytes);
    uint8_t* Data() const { return m_data.get(); }
    size_t Used() const { return m_used; }
    // Gives back memory kept for an unusually large file.
    void Trim();

private:
    static constexpr size_t kKeep = 32u << 20;
    std::unique_ptr<uint8_t[]> m_data;
    size_t m_capacity = 0;
    size_t m_used = 0;
};
