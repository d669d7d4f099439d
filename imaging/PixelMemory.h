#pragma once
// Zero-filled memory for pixel stores. Every image of a case stays in memory
// while the case is open, so each store is fresh memory: large stores are
// mapped with their pages made present at once (and as huge pages where the
// system offers them) instead of faulting in one page at a time.
// Any thread.
#include <cstddef>
#include <cstdint>

namespace PixelMemory {
// Null when the memory cannot be had.
uint8_t* Allocate(size_t bytes);
void Release(uint8_t* memory, size_t bytes);
} // namespace PixelMemory
