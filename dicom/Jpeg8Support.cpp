#include "Jpeg8Support.h"

#include "Exception.h"
#include "Format.h"
#include "JpegLimits.h"
#include "TStream.h"

#include <cstring>

namespace {

constexpr size_t kBlockSize = 4096;

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<TJpeg8ErrorMgr*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++cinfo->err->num_warnings; // warnings are counted, decoding goes on
}

void OutputMessage(j_common_ptr) {}

// Reads from the stream; a stream that throws parks its exception and leaves
// the codec through the error path (never through codec frames).
size_t SafeRead(j_common_ptr cinfo, TStream& stream, JOCTET* buffer, size_t count)
{
    auto* err = reinterpret_cast<TJpeg8ErrorMgr*>(cinfo->err);
    int64_t got = 0;
    bool failed = false;
    try {
        got = stream.Read(buffer, int64_t(count));
    } catch (...) {
        err->pending = std::current_exception();
        failed = true;
    }
    if (failed)
        std::longjmp(err->jump, 1);
    return got > 0 ? size_t(got) : 0;
}

bool SafeWrite(j_common_ptr cinfo, TStream& stream, const JOCTET* buffer, size_t count)
{
    auto* err = reinterpret_cast<TJpeg8ErrorMgr*>(cinfo->err);
    int64_t put = 0;
    bool failed = false;
    try {
        put = stream.Write(buffer, int64_t(count));
    } catch (...) {
        err->pending = std::current_exception();
        failed = true;
    }
    if (failed)
        std::longjmp(err->jump, 1);
    return put == int64_t(count);
}

struct StreamJpegSource {
    jpeg_source_mgr pub;
    TStream* stream;
    JOCTET* buffer;
    boolean startOfFile;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr cinfo)
{
    reinterpret_cast<StreamJpegSource*>(cinfo->src)->startOfFile = TRUE;
}

boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<StreamJpegSource*>(cinfo->src);
    const size_t got = SafeRead(reinterpret_cast<j_common_ptr>(cinfo), *src->stream, src->buffer, kBlockSize);
    if (got == 0) {
        if (src->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // An inserted end-of-image marker lets the codec complete the image.
        src->pub.next_input_byte = kEndOfImage;
        src->pub.bytes_in_buffer = 2;
    } else {
        src->pub.next_input_byte = src->buffer;
        src->pub.bytes_in_buffer = got;
    }
    src->startOfFile = FALSE;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    auto* src = cinfo->src;
    if (count <= 0)
        return;
    while (count > long(src->bytes_in_buffer)) {
        count -= long(src->bytes_in_buffer);
        (*src->fill_input_buffer)(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= size_t(count);
}

void TermSource(j_decompress_ptr) {}

struct StreamJpegDestination {
    jpeg_destination_mgr pub;
    TStream* stream;
    JOCTET* buffer;
};

void InitDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<StreamJpegDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBlockSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<StreamJpegDestination*>(cinfo->dest);
    if (!SafeWrite(reinterpret_cast<j_common_ptr>(cinfo), *dest->stream, dest->buffer, kBlockSize))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBlockSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<StreamJpegDestination*>(cinfo->dest);
    const size_t count = kBlockSize - dest->pub.free_in_buffer;
    if (count > 0 && !SafeWrite(reinterpret_cast<j_common_ptr>(cinfo), *dest->stream, dest->buffer, count))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

void LimitScans(j_common_ptr cinfo)
{
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxJpegScans)
        return;
    auto* err = reinterpret_cast<TJpeg8ErrorMgr*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "JPEG data has more than %d scans", kMaxJpegScans);
    std::longjmp(err->jump, 1);
}

} // namespace

void LimitJpeg8Decompress(j_decompress_ptr cinfo, jpeg_progress_mgr& progress)
{
    cinfo->mem->max_memory_to_use = kMaxJpegCodecMemory;
    progress.progress_monitor = LimitScans;
    cinfo->progress = &progress;
}

jpeg_error_mgr* InitJpeg8Errors(TJpeg8ErrorMgr& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.message[0] = '\0';
    return &err.pub;
}

void ThrowJpeg8Error(TJpeg8ErrorMgr& err)
{
    if (err.pending) {
        std::exception_ptr p = err.pending;
        err.pending = nullptr;
        std::rethrow_exception(p);
    }
    throw Exception(err.message);
}

void JpegStreamSource(j_decompress_ptr cinfo, TStream& stream)
{
    if (!cinfo->src) {
        auto* src = static_cast<StreamJpegSource*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(StreamJpegSource)));
        src->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo),
                                                                      JPOOL_PERMANENT, kBlockSize));
        cinfo->src = &src->pub;
    }
    auto* src = reinterpret_cast<StreamJpegSource*>(cinfo->src);
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->stream = &stream;
}

void JpegStreamDestination(j_compress_ptr cinfo, TStream& stream)
{
    if (!cinfo->dest) {
        auto* dest = static_cast<StreamJpegDestination*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(StreamJpegDestination)));
        dest->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo),
                                                                       JPOOL_PERMANENT, kBlockSize));
        cinfo->dest = &dest->pub;
    }
    auto* dest = reinterpret_cast<StreamJpegDestination*>(cinfo->dest);
    dest->pub.init_destination = InitDestination;
    dest->pub.empty_output_buffer = EmptyOutputBuffer;
    dest->pub.term_destination = TermDestination;
    dest->stream = &stream;
}
