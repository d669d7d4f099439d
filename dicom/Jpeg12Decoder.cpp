#include "Jpeg12Decoder.h"

#include "Exception.h"
#include "Format.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

// The IJG 12-bit build: its symbols are renamed by its own headers, so it
// links beside the 8-bit codec. Its headers carry no C++ linkage guards.
// The library is built with lossless decoding, which adds a method to its
// memory manager that the public header shows only with this definition.
#define NEED_DARRAY
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

// Many scans of a few bytes each would keep the decoder busy for minutes.
void LimitScans(j_common_ptr cinfo)
{
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans)
        ERREXIT(cinfo, JERR_NOTIMPL);
}

// Each codec call sits in its own frame with setjmp and nothing that needs
// destruction, so a longjmp back here skips only codec frames.
bool Create(j_decompress_ptr cinfo, Jpeg12ErrorMgr* err, const uint8_t* data, uint32_t length,
            jpeg_progress_mgr* progress)
{
    if (setjmp(err->jump))
        return false;
    jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    // The limit, where the memory manager's layout is the one declared (its
    // chunk limit reads as that build's constant). This build's manager does
    // not enforce it, so ReadHeader checks the worst case itself.
    constexpr long kIjgMaxAllocChunk = 1000000000L;
    if (cinfo->mem->max_alloc_chunk == kIjgMaxAllocChunk)
        cinfo->mem->max_memory_to_use = kMaxJpegCodecMemory;
    progress->progress_monitor = LimitScans;
    cinfo->progress = progress;
    auto* src = static_cast<MemoryJpegSource*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(MemoryJpegSource)));
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->data = data;
    src->length = length;
    cinfo->src = &src->pub;
    return true;
}

bool ReadHeaderCall(j_decompress_ptr cinfo, Jpeg12ErrorMgr* err, bool* multiScan)
{
    if (setjmp(err->jump))
        return false;
    jpeg_read_header(cinfo, TRUE);
    *multiScan = jpeg_has_multiple_scans(cinfo);
    return true;
}

bool DecodeCall(j_decompress_ptr cinfo, Jpeg12ErrorMgr* err, int16_t* samples, int rows, int columns)
{
    if (setjmp(err->jump))
        return false;
    jpeg_start_decompress(cinfo);
    const JDIMENSION width = cinfo->output_width;
    const int components = cinfo->output_components;
    auto* row = static_cast<JSAMPLE*>((*cinfo->mem->alloc_large)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                                 size_t(width) * size_t(components) * sizeof(JSAMPLE)));
    const int keep = int(std::min<JDIMENSION>(width, JDIMENSION(columns)));
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION y = cinfo->output_scanline;
        JSAMPROW rowPointers[1] = {row};
        jpeg_read_scanlines(cinfo, rowPointers, 1);
        if (y < JDIMENSION(rows)) {
            int16_t* out = samples + size_t(y) * size_t(columns);
            for (int x = 0; x < keep; ++x)
                out[x] = row[size_t(x) * size_t(components)];
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

struct TJpeg12Decoder::Impl {
    jpeg_decompress_struct cinfo{};
    Jpeg12ErrorMgr err{};
    jpeg_progress_mgr progress{};
    bool headerRead = false;

    ~Impl() { jpeg_destroy_decompress(&cinfo); } // safe on a half-built one

    [[noreturn]] void Fail()
    {
        if (err.warned)
            throw Exception(err.message);
        throw Exception("Error: C RTL longjmp called");
    }
};

TJpeg12Decoder::TJpeg12Decoder(const uint8_t* data, uint32_t length) : m(std::make_unique<Impl>())
{
    m->cinfo.err = jpeg_std_error(&m->err.pub);
    m->err.pub.error_exit = ErrorExit;
    m->err.pub.emit_message = EmitMessage;
    m->err.pub.output_message = OutputMessage;
    if (!Create(&m->cinfo, &m->err, data, length, &m->progress))
        m->Fail();
}

TJpeg12Decoder::~TJpeg12Decoder() = default;

void TJpeg12Decoder::ReadHeader(int maxWidth, int maxHeight)
{
    bool multiScan = false;
    if (!ReadHeaderCall(&m->cinfo, &m->err, &multiScan))
        m->Fail();
    m->headerRead = true;
    const uint32_t width = m->cinfo.image_width, height = m->cinfo.image_height;
    CheckJpegFrame(width, height, maxWidth, maxHeight);
    // Data in several scans is buffered whole: at most a 32-bit value per
    // sample of every component (the lossless differences; DCT coefficients
    // take 16 bits), on a grid rounded up to whole 8 x 8 blocks.
    if (multiScan) {
        const uint64_t grid = uint64_t((width + 7) / 8 * 8) * ((height + 7) / 8 * 8);
        const uint64_t need = grid * uint64_t(std::max(m->cinfo.num_components, 1)) * sizeof(int32_t);
        if (need > uint64_t(kMaxJpegCodecMemory))
            throw Exception(Format("JPEG frame of %u x %u pixels needs more than %ld MiB to decode", width, height,
                                   kMaxJpegCodecMemory >> 20));
    }
}

int TJpeg12Decoder::FrameWidth() const { return int(m->cinfo.image_width); }
int TJpeg12Decoder::FrameHeight() const { return int(m->cinfo.image_height); }

void TJpeg12Decoder::Decode(int16_t* samples, int rows, int columns)
{
    if (!m->headerRead)
        ReadHeader();
    if (!DecodeCall(&m->cinfo, &m->err, samples, std::max(rows, 0), std::max(columns, 0)))
        m->Fail();
}

int DecodeJpeg12(const uint8_t* data, uint32_t length, int16_t* samples, int rows, int columns, int* decodedRows,
                 int* decodedColumns)
{
    TJpeg12Decoder decoder(data, length);
    decoder.ReadHeader();
    decoder.Decode(samples, rows, columns);
    if (decodedRows)
        *decodedRows = decoder.FrameHeight();
    if (decodedColumns)
        *decodedColumns = decoder.FrameWidth();
    return 0;
}
