#include "TReadBuffer.h"

#include <algorithm>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define CALDRIS_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define CALDRIS_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define CALDRIS_POISON(p, n) ((void)(p), (void)(n))
#define CALDRIS_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

TReadBuffer::~TReadBuffer()
{
    if (m_data)
        CALDRIS_UNPOISON(m_data.get(), m_capacity);
}

uint8_t* TReadBuffer::Reserve(size_t bytes, size_t keep)
{
    keep = std::min(keep, m_used);
    if (bytes > m_capacity) {
        // Uninitialised on purpose: the file's bytes overwrite it.
        std::unique_ptr<uint8_t[]> grown(new uint8_t[bytes]);
        if (keep)
            std::memcpy(grown.get(), m_data.get(), keep);
        if (m_data)
            CALDRIS_UNPOISON(m_data.get(), m_capacity);
        m_data = std::move(grown);
        m_capacity = bytes;
    }
    CALDRIS_UNPOISON(m_data.get(), bytes);
    m_used = bytes;
    return m_data.get();
}

void TReadBuffer::SetUsed(size_t bytes)
{
    m_used = std::min(bytes, m_capacity);
    if (m_data) {
        CALDRIS_UNPOISON(m_data.get(), m_used);
        CALDRIS_POISON(m_data.get() + m_used, m_capacity - m_used);
    }
}

void TReadBuffer::Trim()
{
    if (m_capacity <= kKeep)
        return;
    if (m_data)
        CALDRIS_UNPOISON(m_data.get(), m_capacity);
    m_data.reset();
    m_capacity = 0;
    m_used = 0;
}
