#include "Jpeg12Decoder.h"

#include "Exception.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

// The IJG 12-bit build: its symbols are renamed by its own headers, so it
// links beside the 8-bit codec. Its headers carry no C++ linkage guards.
extern "C" {
#include <gdcmjpeg/12/jpeglib.h>
#include <gdcmjpeg/12/jerror.h>
}

namespace {

struct Jpeg12ErrorMgr {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool warned;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<Jpeg12ErrorMgr*>(cinfo->err);
    err->warned = false;
    std::longjmp(err->jump, 1);
}

// The first warning ends the decode with its text; traces are dropped.
void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    auto* err = reinterpret_cast<Jpeg12ErrorMgr*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    err->warned = true;
    std::longjmp(err->jump, 1);
}

void OutputMessage(j_common_ptr) {}

// Source over one memory block, kept in the decompressor's own pool: nothing
// outside the block is ever handed to the codec.
struct MemoryJpegSource {
    jpeg_source_mgr pub;
    const JOCTET* data;
    size_t length;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<MemoryJpegSource*>(cinfo->src);
    src->pub.next_input_byte = src->data;
    src->pub.bytes_in_buffer = src->length;
}

// Asked for more after the end of the block: warn (which ends the decode)
// and, should the warning ever return, supply an end-of-image marker.
boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    auto* src = cinfo->src;
    if (size_t(count) > src->bytes_in_buffer) {
        // Skipping past the end stays at the end; the next read warns.
        src->next_input_byte += src->bytes_in_buffer;
        src->bytes_in_buffer = 0;
        return;
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= size_t(count);
}

void TermSource(j_decompress_ptr) {}

struct Decode12 {
    jpeg_decompress_struct cinfo;
    Jpeg12ErrorMgr err;
    const uint8_t* data;
    uint32_t length;
    int16_t* samples;
    int rows;
    int columns;
    JSAMPLE* row; // one decoded row, all components, from the codec's image pool
    JDIMENSION outputWidth;
    JDIMENSION outputHeight;
};

// Runs the codec calls; all of them in this one frame with setjmp, which owns
// nothing that needs destruction, so a longjmp back skips only codec frames.
bool RunDecode(Decode12* d)
{
    j_decompress_ptr cinfo = &d->cinfo;
    if (setjmp(d->err.jump))
        return false;
    jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    auto* src = static_cast<MemoryJpegSource*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(MemoryJpegSource)));
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->data = d->data;
    src->length = d->length;
    cinfo->src = &src->pub;

    jpeg_read_header(cinfo, TRUE);
    jpeg_start_decompress(cinfo);

    const JDIMENSION width = cinfo->output_width;
    d->outputWidth = width;
    d->outputHeight = cinfo->output_height;
    const int components = cinfo->output_components;
    d->row = static_cast<JSAMPLE*>((*cinfo->mem->alloc_large)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                              size_t(width) * size_t(components) * sizeof(JSAMPLE)));
    const int keep = int(std::min<JDIMENSION>(width, JDIMENSION(d->columns)));
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION y = cinfo->output_scanline;
        JSAMPROW rows[1] = {d->row};
        jpeg_read_scanlines(cinfo, rows, 1);
        if (y < JDIMENSION(d->rows)) {
            int16_t* out = d->samples + size_t(y) * size_t(d->columns);
            for (int x = 0; x < keep; ++x)
                out[x] = d->row[size_t(x) * size_t(components)];
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Destroys the decompressor whatever happened (safe on a half-built one).
struct DecompressGuard {
    jpeg_decompress_struct* cinfo;
    ~DecompressGuard() { jpeg_destroy_decompress(cinfo); }
};

} // namespace

int DecodeJpeg12(const uint8_t* data, uint32_t length, int16_t* samples, int rows, int columns, int* decodedRows,
                 int* decodedColumns)
{
    auto d = std::make_unique<Decode12>(); // zero-initialised
    d->cinfo.err = jpeg_std_error(&d->err.pub);
    d->err.pub.error_exit = ErrorExit;
    d->err.pub.emit_message = EmitMessage;
    d->err.pub.output_message = OutputMessage;
    d->data = data;
    d->length = length;
    d->samples = samples;
    d->rows = std::max(rows, 0);
    d->columns = std::max(columns, 0);

    bool ok;
    bool warned;
    {
        DecompressGuard guard{&d->cinfo};
        ok = RunDecode(d.get());
        warned = d->err.warned;
    }
    if (ok) {
        if (decodedRows)
            *decodedRows = int(d->outputHeight);
        if (decodedColumns)
            *decodedColumns = int(d->outputWidth);
        return 0;
    }
    if (warned)
        throw Exception(d->err.message);
    throw Exception("Error: C RTL longjmp called");
}
