#include "JpegMaker.h"

// The IJG 16-bit build; no C++ linkage guards in its headers.
extern "C" {
#include <gdcmjpeg/16/jpeglib.h>
}

namespace {

struct VectorDestination {
    jpeg_destination_mgr pub;
    std::string* out;
    JOCTET buffer[4096];
};

void InitDestination(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = sizeof d->buffer;
}

boolean EmptyBuffer(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    d->out->append(reinterpret_cast<char*>(d->buffer), sizeof d->buffer);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = sizeof d->buffer;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    d->out->append(reinterpret_cast<char*>(d->buffer), sizeof d->buffer - d->pub.free_in_buffer);
}

std::string Compress(int width, int height, const std::vector<uint16_t>& samples, int precision, bool lossless)
{
    std::string out;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    VectorDestination dest{};
    dest.pub.init_destination = InitDestination;
    dest.pub.empty_output_buffer = EmptyBuffer;
    dest.pub.term_destination = TermDestination;
    dest.out = &out;
    cinfo.dest = &dest.pub;
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    cinfo.data_precision = precision;
    if (lossless)
        jpeg_simple_lossless(&cinfo, 1, 0);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x)
            row[size_t(x)] = JSAMPLE(samples[size_t(cinfo.next_scanline) * size_t(width) + size_t(x)]);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return out;
}

} // namespace

std::string MakeJpeg16Lossless(int width, int height, const std::vector<uint16_t>& samples)
{
    return Compress(width, height, samples, 16, true);
}
