#pragma once
// Window presets from a case folder's exam-information file ("Exam Info*"):
// a big-endian file of tagged chunks ("EXAM", then tag, 32-bit length, body)
// whose "Imag" records carry an upper and a lower sample limit per image of a
// multi-image DICOM file.
//
// Threads: the case loader's thread, on an image no other thread sees yet.
// The file is opened, read from the start and closed within each call.
#include <cstdint>
#include <string>

class TDicomGraphic;

// Sets image's ExamCenter and ExamWidth (stored sample units) from the record
// of image number imageNumber (from 1) of the DICOM file fileName (name only,
// compared case-sensitively); 0 and 0 when there is none. caseFolder ends with
// a path separator. Never raises for a missing or unreadable file.
void ReadExamInfo(TDicomGraphic& image, const std::string& caseFolder, const std::string& fileName, int imageNumber);
