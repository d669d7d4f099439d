#pragma once
// A libtiff handle over one of our streams (client I/O: read, write, seek,
// size; no memory mapping). The destructor closes the handle, never the
// stream. The library's diagnostics are discarded; failures reach callers only
// through results and our own exceptions.
//
// Threads: one handle and its stream belong to the calling thread; several
// threads may each hold their own handle.
#include <tiffio.h>

#include <exception>
#include <string>

class TStream;

class TTiffHandle {
public:
    // mode "r", "w" or "a"; raises ETiffError "TIFFOpen" when the library
    // refuses the stream (or the stream's own failure, if it raised one).
    TTiffHandle(TStream& stream, const char* mode);
    ~TTiffHandle();
    TTiffHandle(const TTiffHandle&) = delete;
    TTiffHandle& operator=(const TTiffHandle&) = delete;

    TIFF* get() const { return m_tif; }
    operator TIFF*() const { return m_tif; }

    // Raises the failure the stream raised inside a library call, if any.
    void RethrowStreamFailure();
    // Raises the stream's own failure if there was one, else ETiffError text.
    [[noreturn]] void Fail(const std::string& text);
    // Writes what the library still holds (the directory of a written page);
    // a failure raises instead of going unnoticed at close.
    void Flush();

    // Installs the silent process-wide handlers (idempotent, thread-safe).
    static void SilenceLibrary();

    // Largest single allocation the library may make for one handle.
    static constexpr tmsize_t kMaxLibraryAllocation = tmsize_t(256) << 20;

private:
    static tmsize_t ReadProc(thandle_t h, void* buffer, tmsize_t size);
    static tmsize_t WriteProc(thandle_t h, void* buffer, tmsize_t size);
    static toff_t SeekProc(thandle_t h, toff_t offset, int whence);
    static toff_t SizeProc(thandle_t h);
    static int CloseProc(thandle_t h);
    static int MapProc(thandle_t h, void** base, toff_t* size);
    static void UnmapProc(thandle_t h, void* base, toff_t size);
    void Remember(std::exception_ptr failure);

    TStream& m_stream;
    TIFF* m_tif = nullptr;
    std::exception_ptr m_failure;
};
