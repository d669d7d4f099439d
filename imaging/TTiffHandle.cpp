#include "TTiffHandle.h"

#include "ETiffError.h"
#include "TStream.h"

#include <mutex>

namespace {

void QuietHandler(const char*, const char*, va_list) {}

// Returning 1 tells the library the message is handled, so the process-wide
// handlers are not called either.
int QuietHandlerExt(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsGuard {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    ~OptionsGuard() { TIFFOpenOptionsFree(options); }
};

} // namespace

void TTiffHandle::SilenceLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(QuietHandler);
        TIFFSetWarningHandler(QuietHandler);
    });
}

TTiffHandle::TTiffHandle(TStream& stream, const char* mode) : m_stream(stream)
{
    SilenceLibrary();
    OptionsGuard opts;
    if (!opts.options)
        RaiseTiffError("TIFFOpen");
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts.options, kMaxLibraryAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(opts.options, QuietHandlerExt, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts.options, QuietHandlerExt, nullptr);
    // "m": never map the stream into memory; the map procedure refuses anyway.
    const std::string fullMode = std::string(mode) + "m";
    m_tif = TIFFClientOpenExt("", fullMode.c_str(), this, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                              MapProc, UnmapProc, opts.options);
    if (!m_tif)
        Fail("TIFFOpen");
}

TTiffHandle::~TTiffHandle()
{
    if (m_tif)
        TIFFClose(m_tif);
}

void TTiffHandle::Remember(std::exception_ptr failure)
{
    if (!m_failure)
        m_failure = failure;
}

void TTiffHandle::RethrowStreamFailure()
{
    if (m_failure) {
        std::exception_ptr failure = m_failure;
        m_failure = nullptr;
        std::rethrow_exception(failure);
    }
}

void TTiffHandle::Fail(const std::string& text)
{
    RethrowStreamFailure();
    RaiseTiffError(text);
}

void TTiffHandle::Flush()
{
    if (!TIFFFlush(m_tif))
        Fail("TIFFWriteDirectory");
    RethrowStreamFailure();
}

// The procedures run inside library frames: nothing may be thrown through
// them, so a stream failure is kept and raised once the library returns.

tmsize_t TTiffHandle::ReadProc(thandle_t h, void* buffer, tmsize_t size)
{
    auto* self = static_cast<TTiffHandle*>(h);
    try {
        return tmsize_t(self->m_stream.Read(buffer, int64_t(size)));
    } catch (...) {
        self->Remember(std::current_exception());
        return -1;
    }
}

tmsize_t TTiffHandle::WriteProc(thandle_t h, void* buffer, tmsize_t size)
{
    auto* self = static_cast<TTiffHandle*>(h);
    try {
        return tmsize_t(self->m_stream.Write(buffer, int64_t(size)));
    } catch (...) {
        self->Remember(std::current_exception());
        return -1;
    }
}

toff_t TTiffHandle::SeekProc(thandle_t h, toff_t offset, int whence)
{
    auto* self = static_cast<TTiffHandle*>(h);
    const TSeekOrigin origin = whence == SEEK_CUR ? soCurrent : whence == SEEK_END ? soEnd : soBeginning;
    try {
        // Relative offsets arrive as two's-complement unsigned values.
        const int64_t pos = self->m_stream.Seek(int64_t(offset), origin);
        return pos < 0 ? toff_t(-1) : toff_t(pos);
    } catch (...) {
        self->Remember(std::current_exception());
        return toff_t(-1);
    }
}

toff_t TTiffHandle::SizeProc(thandle_t h)
{
    auto* self = static_cast<TTiffHandle*>(h);
    try {
        const int64_t size = self->m_stream.Size();
        return size < 0 ? 0 : toff_t(size);
    } catch (...) {
        self->Remember(std::current_exception());
        return 0;
    }
}

int TTiffHandle::CloseProc(thandle_t) { return 0; }

int TTiffHandle::MapProc(thandle_t, void**, toff_t*) { return 0; }

void TTiffHandle::UnmapProc(thandle_t, void*, toff_t) {}
