#pragma once
// Turns an image into its negative: grey and black-and-white rows are
// complemented byte by byte, true colour pixel by pixel, colour palettes
// entry by entry (indices kept).
#include "TImageTransform.h"

class TNegativeTransform : public TImageTransform {
public:
    const char* ClassName() const override { return "TNegativeTransform"; }
    void Apply(TDibGraphic& image) override;
    void ApplyOnDest(TDibGraphic& source, TDibGraphic& dest) override;
};
