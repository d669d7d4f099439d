#pragma once
// 8-bit JPEG compressor writing one data stream to a stream through a
// 4096-byte buffer (a short write is the codec's "Output file write error").
// Codec errors surface as Exception with the codec's formatted message; the
// compressor is destroyed with the writer on every path.
//
// Threads: one writer belongs to the thread that saves the image (UI thread).
#include <cstdint>
#include <memory>

class TStream;

struct TJpegWriteOptions {
    int Width = 0;
    int Height = 0;
    int Components = 1; // 1 grey, 3 RGB
    uint16_t XDotsPerInch = 0;
    uint16_t YDotsPerInch = 0;
    int Quality = 80; // baseline tables forced
    bool Progressive = false;
    bool OptimizeCoding = false;
};

class TJpegWriter {
public:
    explicit TJpegWriter(TStream& stream);
    ~TJpegWriter();
    TJpegWriter(const TJpegWriter&) = delete;
    TJpegWriter& operator=(const TJpegWriter&) = delete;

    // Sets the parameters and starts compression, writing all tables.
    void Start(const TJpegWriteOptions& options);
    // One row of Width x Components bytes (grey, or red-green-blue).
    void WriteScanline(const uint8_t* row);
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
