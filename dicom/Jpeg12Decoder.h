#pragma once
// Bridge to the 12-bit JPEG codec: lossless JPEG (process 14) of up to 12 bits
// precision and 12-bit DCT JPEG, decoded from one memory block into signed
// 16-bit samples.
//
// Failures: any codec error raises Exception "Error: C RTL longjmp called";
// the first codec warning raises Exception with the warning's formatted text
// (a lossless stream of more than 12 bits: "Must downscale data from 16 bits
// to 12"; data ending early: "Premature end of JPEG file").
//
// Threads: all state is per call, so decodes on different threads may overlap.
// In this program only the case loader's thread decodes.
#include <cstdint>

// Decodes the data stream held in data[0, length) into samples, a caller
// buffer of rows x columns values in row order, machine byte order. Each
// decoded row goes to the same row of the buffer; a decoded image larger than
// rows x columns is cut at the buffer's edges, a smaller one leaves the rest
// of the buffer untouched; of several components only the first is kept.
// decodedRows and decodedColumns (when given) receive the data stream's own
// image size. Returns 0 (failures arrive as exceptions).
int DecodeJpeg12(const uint8_t* data, uint32_t length, int16_t* samples, int rows, int columns,
                 int* decodedRows = nullptr, int* decodedColumns = nullptr);
