#pragma once
// Bounds every JPEG frame the bridges decode, so that memory follows the data
// and not a size field: a frame is refused before decompression when it is
// larger than the image it is decoded into or than kMaxJpegPixels, and each
// codec is held to kMaxJpegCodecMemory of working memory.
//
// Threads: pure functions, any thread.
#include <cstdint>

constexpr uint64_t kMaxJpegPixels = uint64_t(1) << 27;
// Working memory of one decompressor (coefficient buffers of progressive or
// multi-scan data above all); the codec's error ends a decode that needs more.
constexpr long kMaxJpegCodecMemory = 256L << 20;
// Not a real picture's scan count, but enough of them to let a few bytes of
// progressive data keep the decoder busy for minutes.
constexpr int kMaxJpegScans = 1000;

// No limit on one side of the image.
constexpr int kAnyJpegSize = -1;

// Raises Exception when the frame is over kMaxJpegPixels, or wider
// than maxWidth or taller than maxHeight (each unless kAnyJpegSize).
void CheckJpegFrame(uint32_t width, uint32_t height, int maxWidth, int maxHeight);
