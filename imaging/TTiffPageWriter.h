#pragma once
// Writes one image as one TIFF page: the tags in a fixed order, then every row
// with TIFFWriteScanline. Used by TTiffGraphic on the thread that owns the
// image and the stream.
class TStream;
class TTiffGraphic;

class TTiffPageWriter {
public:
    explicit TTiffPageWriter(const TTiffGraphic& image) : m_image(image) {}
    // mode "w" starts a new TIFF at the stream's first byte; "a" adds a page
    // to the TIFF the stream holds.
    void Write(TStream& stream, const char* mode);

private:
    const TTiffGraphic& m_image;
};
