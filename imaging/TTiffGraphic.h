#pragma once
// The image model for TIFF files: writes an image as a page of a new TIFF or
// as a further page of an existing one, and reads any page of a TIFF.
//
// Threads: reading runs on the case loader thread, writing on the UI thread;
// an image and its stream are used by one thread at a time.
// RegisterTiffGraphic runs once at start-up, before any thread reads the registry.
#include "TDibGraphic.h"
#include "TTiffCompression.h"

#include <cstdint>

class TTiffGraphic : public TDibGraphic {
public:
    const char* ClassName() const override { return "TTiffGraphic"; }
    std::unique_ptr<TDibGraphic> Create() const override;

    using TDibGraphic::Assign;
    // The image model's copy; from another TTiffGraphic also RowsPerStrip.
    // Compression stays the default NewImage chose for the format.
    void Assign(const TGraphic* source) override;
    // Also sets the default compression: CCITT Group 4 for black and white,
    // PackBits for every other format.
    void NewImage(int width, int height, TImageFormat format, const TLogPalette* palette, uint16_t xDpi,
                  uint16_t yDpi) override;

    // A one-page TIFF at the stream's position.
    void SaveToStream(TStream& stream) override;
    // A further page of the TIFF the stream holds; an empty stream gets a new TIFF.
    void AppendToStream(TStream& stream) override;
    // Pages of the TIFF starting at the stream's first byte.
    int GetImageCount(TStream& stream) override;
    // Page `page` (from 1) of the TIFF starting at the stream's position.
    void LoadImage(TStream& stream, int page) override;

    TTiffCompression Compression() const { return m_compression; }
    // Raises "%s compression not supported with %s images" when the current
    // format cannot take the compression.
    void SetCompression(TTiffCompression compression);

    int32_t RowsPerStrip = 16;

private:
    TTiffCompression m_compression = tcNone;
};

// Registers the class for "TIF" and "TIFF" ("TIFF file"). Called explicitly
// at start-up: a static registrar in a static library would be dropped.
void RegisterTiffGraphic();
