#pragma once
// One series of the open case. Owned by the case model; used on the UI thread
// (the loader fills a stack before handing it over, and appends frames only
// through synchronised calls).
#include "TDibGraphic.h"

#include <memory>
#include <string>
#include <vector>

using TFrameList = std::vector<std::unique_ptr<TDibGraphic>>;

struct TStack {
    std::string Source;    // file path, or the series key of single-image files
    std::string Patient;   // raw values as stored (pad blanks kept)
    std::string StudyText;
    std::string DateText;
    std::string Referrer;
    TFrameList FrameList;  // display order; empty for the PDF report
    // For a stack grouped from single-image files: each frame's file, in
    // display order (a saved copy of the series is made from them); empty otherwise.
    std::vector<std::string> FrameFiles;
    // The texts were read from this stack's own DICOM header (not lent by
    // another series or taken from the case folder's names).
    bool DicomTexts = false;
    int32_t OffsetX = 0;
    int32_t OffsetY = 0;
    int32_t Zoom = 0;      // 0: not fitted yet
    // Where the last fit put the stack; the view re-fits a stack that is
    // still there when it grows.
    int32_t FitZoom = 0;
    int32_t FitOffsetX = 0;
    int32_t FitOffsetY = 0;

    bool AtFit() const { return FitZoom != 0 && Zoom == FitZoom && OffsetX == FitOffsetX && OffsetY == FitOffsetY; }
};
