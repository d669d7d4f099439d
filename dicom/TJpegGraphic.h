#pragma once
// The image library's JPEG image: loads one 8-bit JPEG data stream (grey or
// colour) from a stream's position and saves grey or true-colour images as
// one JPEG data stream. Reachable through the file-extension registry only.
//
// Threads: as every image, one owner thread at a time. RegisterJpegGraphic
// runs once at start-up on the UI thread, before any lookup.
#include "TDibGraphic.h"

#include <cstdint>

class TJpegGraphic : public TDibGraphic {
public:
    const char* ClassName() const override { return "TJpegGraphic"; }
    std::unique_ptr<TDibGraphic> Create() const override;

    // Loads the JPEG data stream at the stream's position (index is not used).
    void LoadImage(TStream& stream, int index) override;
    // Writes the image (ifGray256 or ifTrueColor) as one JPEG data stream.
    void SaveToStream(TStream& stream) override;

    uint8_t Quality = 80;
    bool Progressive = false;
    bool OptimizeCoding = false;
};

// Registers TJpegGraphic for the extensions "JPG" and "JPEG". Call at start-up
// (an explicit call, since nothing else would pull this code out of the library).
void RegisterJpegGraphic();
