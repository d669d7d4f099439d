#pragma once
// Test images and stream helpers shared by the TIFF and export tests.
#include "TDibGraphic.h"
#include "TMemoryStream.h"

#include <string>

// A width x height image of the format whose pixels follow a pattern; palette
// formats other than the grey ones get a palette of distinct colours.
// smooth: a gentle gradient (for lossy codecs) instead of a busy pattern.
void FillPattern(TDibGraphic& image, int width, int height, TImageFormat format, uint16_t xDpi, uint16_t yDpi,
                 int seed = 0, bool smooth = false);

// The largest difference of any colour channel of any pixel (images of one size).
int MaxChannelDifference(const TDibGraphic& a, const TDibGraphic& b);

std::string Bytes(const TMemoryStream& stream);
void SetBytes(TMemoryStream& stream, const std::string& bytes);
