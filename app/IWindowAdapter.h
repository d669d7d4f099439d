#pragma once
// Window and level of a displayed frame, for the display's gestures. Only
// DICOM images have them; other frames (TIFF pages) answer HasWindow false
// and are left alone. Centre and width are in palette units (0..255 map the
// sample range MinValue..MaxValue).
//
// Threads: UI thread only.
class TDibGraphic;

class IWindowAdapter {
public:
    virtual ~IWindowAdapter() = default;
    virtual bool HasWindow(const TDibGraphic& image) const = 0;
    virtual void GetWindow(const TDibGraphic& image, int& center, int& width) const = 0;
    // Rebuilds the image's palette; the pixels stay.
    virtual void SetWindow(TDibGraphic& image, int center, int width) const = 0;
    virtual void GetSampleRange(const TDibGraphic& image, int& minValue, int& maxValue) const = 0;
};
