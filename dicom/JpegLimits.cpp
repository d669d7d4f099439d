#include "JpegLimits.h"

#include "Exception.h"
#include "Format.h"

void CheckJpegFrame(uint32_t width, uint32_t height, int maxWidth, int maxHeight)
{
    const bool wider = maxWidth != kAnyJpegSize && int64_t(width) > maxWidth;
    const bool taller = maxHeight != kAnyJpegSize && int64_t(height) > maxHeight;
    if (wider || taller)
        throw Exception(Format("JPEG frame of %u x %u pixels is larger than the image (%d x %d)", width, height,
                               maxWidth, maxHeight));
    if (uint64_t(width) * height > kMaxJpegPixels)
        throw Exception(Format("JPEG frame of %u x %u pixels is too large", width, height));
}
