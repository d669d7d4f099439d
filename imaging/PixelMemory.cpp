#include "PixelMemory.h"

#include <cstdlib>
#include <sys/mman.h>

namespace {
constexpr size_t kMapped = 256 * 1024;     // from here on: a mapping of its own
constexpr size_t kHuge = 2 * 1024 * 1024;  // from here on: ask for huge pages
// Up to here the pages are made present at once. A larger store (far beyond
// any real image) is mapped lazily, so that a hostile header naming a huge
// image with little data behind it cannot commit that much memory at once.
constexpr size_t kPopulated = 64u * 1024 * 1024;

size_t Rounded(size_t bytes)
{
    const size_t page = 4096;
    return (bytes + page - 1) / page * page;
}
} // namespace

namespace PixelMemory {

uint8_t* Allocate(size_t bytes)
{
    if (bytes < kMapped)
        return static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
    const size_t length = Rounded(bytes);
    const int populate = length <= kPopulated ? MAP_POPULATE : 0;
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | populate, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    if (length >= kHuge)
        ::madvise(p, length, MADV_HUGEPAGE); // advice only; ignored where not offered
    return static_cast<uint8_t*>(p);
}

void Release(uint8_t* memory, size_t bytes)
{
    if (!memory)
        return;
    if (bytes < kMapped)
        std::free(memory);
    else
        ::munmap(memory, Rounded(bytes));
}

} // namespace PixelMemory
