#include "TDicomWindowAdapter.h"

#include "TDibGraphic.h"

#include <algorithm>

// The DICOM decoder may not be part of every build of the viewer library;
// without it no frame has a window.
#if __has_include("TDicomGraphic.h")
#include "TDicomGraphic.h"
#define CALDRIS_HAVE_DICOM_IMAGE 1
#endif

#ifdef CALDRIS_HAVE_DICOM_IMAGE

namespace {
const TDicomGraphic* Dicom(const TDibGraphic& image) { return dynamic_cast<const TDicomGraphic*>(&image); }
} // namespace

bool TDicomWindowAdapter::HasWindow(const TDibGraphic& image) const { return Dicom(image) != nullptr; }

void TDicomWindowAdapter::GetWindow(const TDibGraphic& image, int& center, int& width) const
{
    center = 128;
    width = 256;
    if (const TDicomGraphic* d = Dicom(image))
        d->GetWindow(center, width);
}

void TDicomWindowAdapter::SetWindow(TDibGraphic& image, int center, int width) const
{
    // The image keeps 16-bit values; a drag far past them stays at the limit.
    if (auto* d = dynamic_cast<TDicomGraphic*>(&image))
        d->SetWindow(int16_t(std::clamp(center, -32768, 32767)), int16_t(std::clamp(width, -32768, 32767)));
}

void TDicomWindowAdapter::GetSampleRange(const TDibGraphic& image, int& minValue, int& maxValue) const
{
    minValue = maxValue = 0;
    if (const TDicomGraphic* d = Dicom(image)) {
        minValue = d->MinValue();
        maxValue = d->MaxValue();
    }
}

#else

bool TDicomWindowAdapter::HasWindow(const TDibGraphic&) const { return false; }
void TDicomWindowAdapter::GetWindow(const TDibGraphic&, int& center, int& width) const
{
    center = 128;
    width = 256;
}
void TDicomWindowAdapter::SetWindow(TDibGraphic&, int, int) const {}
void TDicomWindowAdapter::GetSampleRange(const TDibGraphic&, int& minValue, int& maxValue) const
{
    minValue = maxValue = 0;
}

#endif
