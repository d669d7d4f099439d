// Harnesses of the DICOM decoding: the stream walk, image decoding, the
// exam-information presets and the splitter.
#include "FuzzFiles.h"
#include "FuzzTargets.h"

#include "Exception.h"
#include "ReadExamInfo.h"
#include "SplitImages.h"
#include "TDicomGraphic.h"
#include "TDicomStream.h"

#include <memory>

namespace {

// Tags the case loader reads, and two it never finds.
constexpr uint32_t kLookedUp[] = {DicomTag::PatientName, DicomTag::StudyDate, DicomTag::SeriesInstanceUID,
                                  DicomTag::InstanceNumber, DicomTag::PixelData, 0xFFFFFFFF, 0};

// The stream over the input with its images indexed; null when the input is
// refused (which is the expected answer for most inputs).
std::unique_ptr<TDicomStream> OpenScanned(const TFuzzFile& file)
{
    try {
        auto stream = std::make_unique<TDicomStream>(file.Path());
        stream->ScanImages();
        return stream;
    } catch (const Exception&) {
        return nullptr;
    }
}

} // namespace

int FuzzDicomWalk(const uint8_t* data, size_t size)
{
    const TFuzzFile file(data, size);
    std::unique_ptr<TDicomStream> stream = OpenScanned(file);
    if (!stream)
        return 0;
    try {
        for (uint32_t tag : kLookedUp)
            stream->GetElementString(tag, "none");
        for (int i = 0; i < stream->ImageList.Count(); ++i)
            stream->ImageList.IndexOf(stream->ImageList.Key(i));
    } catch (const Exception&) {
    }
    return 0;
}

int FuzzDicomDecode(const uint8_t* data, size_t size)
{
    const TFuzzFile file(data, size);
    std::unique_ptr<TDicomStream> stream = OpenScanned(file);
    if (!stream)
        return 0;
    for (int n = 1; n <= 2 && n <= stream->ImageList.Count(); ++n) {
        TDicomGraphic image;
        try {
            image.LoadImage(*stream, n);
            // What the display does with a loaded image.
            int32_t center, width;
            image.GetWindow(center, width);
            image.SetWindow(int16_t(center + 1), int16_t(width - 1));
        } catch (const Exception&) {
        }
    }
    return 0;
}

int FuzzExamInfo(const uint8_t* data, size_t size)
{
    const std::string folder = FuzzScratchFolder();
    WriteFuzzFile(folder + "Exam Info", data, size);
    TDicomGraphic image;
    for (int n = 1; n <= 3; ++n)
        ReadExamInfo(image, folder, "A.DCM", n);
    return 0;
}

int FuzzSplitImages(const uint8_t* data, size_t size)
{
    const TFuzzFile file(data, size);
    const std::string folder = FuzzScratchFolder();
    try {
        SplitImages(file.Path(), folder + "IMG.DCM");
    } catch (const Exception&) {
    }
    return 0;
}
