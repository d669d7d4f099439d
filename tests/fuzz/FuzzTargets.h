#pragma once
// The fuzz harnesses: each takes one input and runs one parser over it; every
// failure the parser reports is an expected outcome, anything else (a crash,
// a leak, a sanitizer report, a hang) is a finding. Built as libFuzzer
// targets (one per harness, CALDRIS_FUZZ) and linked together into the test
// that replays every input kept under regressions/<name>/.
#include <cstddef>
#include <cstdint>

using FuzzEntry = int (*)(const uint8_t* data, size_t size);

// The DICOM walk: stream construction, ScanImages, GetElementString.
int FuzzDicomWalk(const uint8_t* data, size_t size);
// DecodeImage of images 1 and 2, every pipeline and both JPEG codecs.
int FuzzDicomDecode(const uint8_t* data, size_t size);
// A case folder's exam-information file.
int FuzzExamInfo(const uint8_t* data, size_t size);
// Cutting a multi-image file apart.
int FuzzSplitImages(const uint8_t* data, size_t size);
// Every page of a TIFF.
int FuzzTiff(const uint8_t* data, size_t size);
// The settings file.
int FuzzProfile(const uint8_t* data, size_t size);
// A server's reply lines: codes, sizes, passive replies, the log's form.
int FuzzFtpReply(const uint8_t* data, size_t size);
// An MLSD listing, line by line.
int FuzzMachineListing(const uint8_t* data, size_t size);
// An NLST name list and the name checks that every listed name passes.
int FuzzNameList(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name;
    FuzzEntry entry;
};

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"dicom_walk", FuzzDicomWalk}, {"dicom_decode", FuzzDicomDecode}, {"exam_info", FuzzExamInfo},
    {"split_images", FuzzSplitImages}, {"tiff", FuzzTiff},           {"profile", FuzzProfile},
    {"ftp_reply", FuzzFtpReply},       {"mlsd", FuzzMachineListing}, {"nlst", FuzzNameList},
};
