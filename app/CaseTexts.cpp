#include "CaseTexts.h"

#include "Formatting.h"
#include "TDicomStream.h"
#include "TStack.h"

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
