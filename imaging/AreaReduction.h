#pragma once
// Reduces an image to a smaller size by averaging the values that each
// target pixel covers (a box filter over its whole area). For grey images the
// window is applied after this, as viewers apply it to resampled data; the
// reduction is made once per size and kept, so that dragging the window at a
// fitted zoom only maps the smaller picture.
// Any thread, on an image no other thread changes.
#include <QImage>

#include <cstdint>
#include <vector>

class TDibGraphic;

// A top-down Indexed8 image of the given size (smaller than the image in both
// directions) without a colour table.
QImage ReduceIndices(const TDibGraphic& image, QSize size);

// The same reduction of top-down 16-bit samples (width x height, row after
// row) at full depth; empty when size is not smaller in both directions.
std::vector<uint16_t> ReduceSamples(const uint16_t* samples, int width, int height, QSize size);
