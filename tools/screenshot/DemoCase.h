#pragma once
// Writes a demonstration case folder: a PDF report and two series of
// 16-bit grey DICOM images of a synthetic head phantom.
#include <string>

// folder must exist; returns the number of files written.
int WriteDemoCase(const std::string& folder);
