#pragma once
// Shared plumbing of the 8-bit JPEG codec: error manager, stream source and
// stream destination. Internal to the dicom library; include only from .cpp
// files that already use the 8-bit jpeglib.h.
//
// Errors leave the codec with longjmp to the setjmp of the bridge call that
// entered it; the bridge then throws. Nothing in this file throws through
// codec frames: stream failures are caught and parked in the error manager.
#include <cstddef>
#include <cstdio>
#include <csetjmp>
#include <exception>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

class TStream;

struct TJpeg8ErrorMgr {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // A C++ failure met inside a callback (a stream that threw), rethrown by the bridge.
    std::exception_ptr pending;
};

// Codec errors: formatted message, then longjmp. Warnings counted, traces dropped.
jpeg_error_mgr* InitJpeg8Errors(TJpeg8ErrorMgr& err);
// Throws the failure recorded by the last longjmp (the parked exception, or the message).
[[noreturn]] void ThrowJpeg8Error(TJpeg8ErrorMgr& err);

// Holds a decompressor to the limits of JpegLimits.h: working memory, and the
// number of scans (progress, owned by the caller, must live as long as cinfo).
void LimitJpeg8Decompress(j_decompress_ptr cinfo, jpeg_progress_mgr& progress);

// Data source reading the stream from its position in 4096-byte blocks.
void JpegStreamSource(j_decompress_ptr cinfo, TStream& stream);
// Data destination writing to the stream through a 4096-byte buffer.
void JpegStreamDestination(j_compress_ptr cinfo, TStream& stream);
