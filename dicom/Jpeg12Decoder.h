#pragma once
// Bridge to the 12-bit JPEG codec: lossless JPEG (process 14) of up to 12 bits
// precision and 12-bit DCT JPEG, decoded from one memory block into signed
// 16-bit samples.
//
// Header first: the caller reads the frame's size, sizes its samples from it
// (never from a size field elsewhere in the file), then decodes. A frame over
// the limits of JpegLimits.h is refused before any decompression.
//
// Failures: any codec error raises Exception "Error: C RTL longjmp called";
// the first codec warning raises Exception with the warning's formatted text
// (a lossless stream of more than 12 bits: "Must downscale data from 16 bits
// to 12"; data ending early: "Premature end of JPEG file").
//
// Threads: all state is per decoder, so decoders on different threads may
// run at once. In this program only the case loader's thread decodes.
#include "JpegLimits.h"

#include <cstdint>
#include <memory>

class TJpeg12Decoder {
public:
    // Over data[0, length), which must outlive the decoder.
    TJpeg12Decoder(const uint8_t* data, uint32_t length);
    ~TJpeg12Decoder();
    TJpeg12Decoder(const TJpeg12Decoder&) = delete;
    TJpeg12Decoder& operator=(const TJpeg12Decoder&) = delete;

    // Reads the header. Refuses a frame wider than maxWidth or taller than
    // maxHeight, over kMaxJpegPixels, or whose decode would need more than
    // kMaxJpegCodecMemory.
    void ReadHeader(int maxWidth = kAnyJpegSize, int maxHeight = kAnyJpegSize);
    // The frame's size, once the header is read.
    int FrameWidth() const;
    int FrameHeight() const;
    // Decodes into samples, a buffer of rows x columns values in row order,
    // machine byte order. Each decoded row goes to the same row of the
    // buffer; a frame larger than rows x columns is cut at the buffer's edges,
    // a smaller one leaves the rest untouched; of several components only the
    // first is kept.
    void Decode(int16_t* samples, int rows, int columns);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// The whole decode in one call, into a buffer of rows x columns samples as
// TJpeg12Decoder::Decode; decodedRows and decodedColumns (when given) receive
// the frame's size. Returns 0 (failures arrive as exceptions).
int DecodeJpeg12(const uint8_t* data, uint32_t length, int16_t* samples, int rows, int columns,
                 int* decodedRows = nullptr, int* decodedColumns = nullptr);
