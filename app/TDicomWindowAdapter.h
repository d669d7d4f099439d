#pragma once
// The window adapter of the DICOM image class.
// Threads: UI thread only.
#include "IWindowAdapter.h"

class TDicomWindowAdapter : public IWindowAdapter {
public:
    bool HasWindow(const TDibGraphic& image) const override;
    void GetWindow(const TDibGraphic& image, int& center, int& width) const override;
    void SetWindow(TDibGraphic& image, int center, int width) const override;
    void GetSampleRange(const TDibGraphic& image, int& minValue, int& maxValue) const override;
};
