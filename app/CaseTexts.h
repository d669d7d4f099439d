#pragma once
// Texts and keys that the case loader takes from a DICOM file's header.
#include <string>

class TDicomStream;
struct TStack;

// Patient, study, date and referrer of a stack, from an open stream.
void FillCaseTexts(TStack& stack, TDicomStream& stream);
// The same texts from a case folder's path, ".../group/patient/study/": the
// names shown for the case in the download manager; no referrer ("N/A").
void FillFolderCaseTexts(TStack& stack, const std::string& folder);
// Patient, study, date and referrer of from, given to to.
void CopyCaseTexts(const TStack& from, TStack& to);
// The study date without dots as "ddd MMM d, yyyy" in the user's locale, or
// the dot-free text when it is no date.
std::string FormatStudyDate(const std::string& rawDate);
// Series Instance UID ^ Repetition Time ^ Echo Time [^ Series Description
// when the model name is exactly "ARS "].
std::string SeriesKey(TDicomStream& stream);
// "%12.12s|%s" of the trimmed instance number (else content time) and the file name.
std::string ImageSortKey(TDicomStream& stream, const std::string& fileName);
// Leading and trailing blanks and control characters removed.
std::string TrimControls(const std::string& text);
