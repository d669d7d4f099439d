#include "CaseTexts.h"

#include "Formatting.h"
#include "TCaseList.h"
#include "TDicomStream.h"
#include "TStack.h"

#include <vector>

std::string TrimControls(const std::string& text)
{
    size_t b = 0, e = text.size();
    while (b < e && uint8_t(text[b]) <= ' ')
        ++b;
    while (e > b && uint8_t(text[e - 1]) <= ' ')
        --e;
    return text.substr(b, e - b);
}

std::string FormatStudyDate(const std::string& rawDate)
{
    std::string date;
    for (char c : rawDate)
        if (c != '.')
            date += c;
    return FormatCaseDate(date);
}

void FillCaseTexts(TStack& stack, TDicomStream& stream)
{
    stack.Patient = stream.GetElementString(DicomTag::PatientName, "");
    stack.StudyText = stream.GetElementString(DicomTag::StudyDescription, "N/A");
    const std::string rawDate = stream.GetElementString(DicomTag::StudyDate, "");
    stack.Referrer = stream.GetElementString(DicomTag::ReferringPhysicianName, "N/A");
    stack.DateText = FormatStudyDate(rawDate);
    stack.DicomTexts = true;
}

void FillFolderCaseTexts(TStack& stack, const std::string& folder)
{
    // The last three names of the path make the case's key.
    std::vector<std::string> names;
    size_t from = 0;
    while (from < folder.size()) {
        const size_t slash = folder.find('/', from);
        const size_t end = slash == std::string::npos ? folder.size() : slash;
        if (end > from)
            names.push_back(folder.substr(from, end - from));
        from = end + 1;
    }
    constexpr size_t kKeyNames = 3;
    std::string key;
    for (size_t i = names.size() > kKeyNames ? names.size() - kKeyNames : 0; i < names.size(); ++i) {
        if (!key.empty())
            key += '\\';
        key += names[i];
    }
    const TParsedKey parsed = ParseCaseKey(key);
    stack.Patient = parsed.patient;
    stack.StudyText = parsed.study.empty() ? "N/A" : parsed.study;
    stack.DateText = parsed.hasDate ? FormatStudyDate(parsed.dateField) : std::string();
    stack.Referrer = "N/A";
}

void CopyCaseTexts(const TStack& from, TStack& to)
{
    to.Patient = from.Patient;
    to.StudyText = from.StudyText;
    to.DateText = from.DateText;
    to.Referrer = from.Referrer;
}

std::string SeriesKey(TDicomStream& stream)
{
    std::string key = stream.GetElementString(DicomTag::SeriesInstanceUID, "") + "^" +
                      stream.GetElementString(DicomTag::RepetitionTime, "") + "^" +
                      stream.GetElementString(DicomTag::EchoTime, "");
    if (stream.GetElementString(DicomTag::ManufacturerModelName, "") == "ARS ") {
        key += '^';
        key += stream.GetElementString(DicomTag::SeriesDescription, "");
    }
    return key;
}

std::string ImageSortKey(TDicomStream& stream, const std::string& fileName)
{
    const std::string none = std::string(1, '\x01') + "none"; // cannot be a stored value
    std::string value = stream.GetElementString(DicomTag::InstanceNumber, none);
    if (value == none)
        value = stream.GetElementString(DicomTag::ContentTime, "");
    value = TrimControls(value);
    std::string key(12, ' ');
    const std::string cut = value.substr(0, 12);
    key.replace(12 - cut.size(), cut.size(), cut);
    return key + "|" + fileName;
}
