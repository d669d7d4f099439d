#pragma once
// 8-bit JPEG decompressor over a stream (baseline and progressive, grey or
// RGB output), read from the stream's position in 4096-byte blocks. Every
// codec error surfaces as Exception with the codec's formatted message; codec
// warnings are counted and decoding goes on. The decompressor is destroyed
// with the reader on every path.
//
// Threads: one reader belongs to one thread (the case loader's, or the UI
// thread when a JPEG file is opened); readers on different threads are independent.
#include <cstdint>
#include <memory>

class TStream;

class TJpegReader {
public:
    explicit TJpegReader(TStream& stream);
    ~TJpegReader();
    TJpegReader(const TJpegReader&) = delete;
    TJpegReader& operator=(const TJpegReader&) = delete;

    // Frames wider or taller than this are refused by ReadHeader (before any
    // decompression), as are frames over the limits of JpegLimits.h.
    void LimitFrame(int width, int height);
    // Reads the header (an image is required) and asks for grey output when
    // the data is grey, colour output otherwise: red-green-blue, or
    // blue-green-red (the image model's order, straight from the codec).
    void ReadHeader(bool blueGreenRed = false);
    void StartDecompress();
    // The frame's size, once the header is read.
    int ImageWidth() const;
    int ImageHeight() const;
    int OutputWidth() const;
    int OutputHeight() const;
    int OutputComponents() const;
    // Density fields of the header: unit 0 none, 1 dots per inch, 2 dots per cm.
    int DensityUnit() const;
    int XDensity() const;
    int YDensity() const;
    // Rows decoded so far.
    int OutputScanline() const;
    // Decodes the next row into row (OutputWidth x OutputComponents bytes).
    void ReadScanline(uint8_t* row);
    void FinishDecompress();
    // Warnings the codec has issued so far (a premature end among them).
    long Warnings() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
