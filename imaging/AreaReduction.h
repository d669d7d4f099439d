#pragma once
// Reduces an 8-bit image to a smaller size by averaging the indices that
// each target pixel covers (a box filter over its whole area). For grey
// images the window is a palette applied after this, as viewers apply it to
// resampled data; the reduction is made once per size and kept, so that
// dragging the window at a fitted zoom only swaps the colour table.
// Any thread, on an image no other thread changes.
#include <QImage>

class TDibGraphic;

// A top-down Indexed8 image of the given size (smaller than the image in both
// directions) without a colour table.
QImage ReduceIndices(const TDibGraphic& image, QSize size);
