// libjpeg-turbo alone, decoding from memory to RGB rows in a new image's
// memory (kept by the caller, as a loader keeps its images).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "PixelMemory.h"

// Returns the decoded image (PixelMemory, bytes in *size).
uint8_t* DecodeJpeg8Alone(const std::string& stream, size_t* size)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(stream.data()), static_cast<unsigned long>(stream.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    *size = size_t(cinfo.output_width) * cinfo.output_height * size_t(cinfo.output_components);
    uint8_t* image = PixelMemory::Allocate(*size);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image + size_t(cinfo.output_scanline) * cinfo.output_width * size_t(cinfo.output_components);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image;
}
