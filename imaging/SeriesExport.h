#pragma once
// Saving a series under a chosen file name: a ".TIF" name (any case) gets one
// multi-page TIFF, one page per image in display order; any other name gets
// the series' source DICOM file split into numbered files. The window's Save
// command and the headless tool both call ExportSeries.
//
// Threads: UI thread (ScreenLogicalDpi asks the GUI application).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TDibGraphic;

// Writes the numbered DICOM files of a source under a target name. The DICOM
// folder provides it; imaging does not depend on that folder.
using TSplitDicom = std::function<void(const std::string& source, const std::string& target)>;

// Failures propagate with their own messages; files written before a failure
// stay (a TIFF keeps the pages written so far).
void ExportSeries(const std::vector<TDibGraphic*>& images, const std::string& source, const std::string& fileName,
                  const TSplitDicom& splitDicom, uint16_t dpi);

// True when the name's extension is ".TIF" in any case.
bool IsTiffExportName(const std::string& fileName);

// The primary screen's logical pixels per inch; 96 without a screen.
uint16_t ScreenLogicalDpi();
