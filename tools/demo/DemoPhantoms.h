#pragma once
// Anatomy-like phantoms for the demo cases, and a one-page PDF report.
// Every picture is square or as sized, row by row from the top; z and phase
// run from 0 to 1 through a series; the seed varies the noise.
#include <cstdint>
#include <string>
#include <vector>

// Exam-information window of the brain MR slices, stored sample units.
constexpr int kMrExamUpper = 1000;
constexpr int kMrExamLower = 200;

// Axial head CT, stored values = Hounsfield units + 1024.
std::vector<int16_t> HeadCtSlice(int size, double z, bool contrast, unsigned seed);
// Axial T2-weighted brain MR, samples 0 to about 1000.
std::vector<int16_t> BrainMrSlice(int size, double z, unsigned seed);
// Short-axis cardiac cine frame, 8-bit grey.
std::vector<uint8_t> CineFrame(int size, double phase, unsigned seed);
// Echocardiography frame with a colour-flow patch: red-green-blue bytes.
std::vector<uint8_t> EchoFrame(int width, int height, double phase, unsigned seed);
// Sagittal proton-density knee MR, 12-bit samples.
std::vector<uint16_t> KneeSlice(int size, double z, unsigned seed);

// A valid one-page PDF: the title in large type, then the lines.
std::string ReportPdf(const std::string& title, const std::vector<std::string>& lines);
