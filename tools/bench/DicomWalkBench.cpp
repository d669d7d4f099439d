// Header walk cost: opens generated single-image files the way the case
// loader does (constructor, ScanImages, ten look-ups) and reports the time
// and the read system calls per file, beside reading each file whole.
#include "TDicomStream.h"
#include "ToolOptions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

void Put16(std::string& s, uint16_t v) { s += char(v & 0xFF); s += char(v >> 8); }
void Put32(std::string& s, uint32_t v) { Put16(s, uint16_t(v)); Put16(s, uint16_t(v >> 16)); }
void Element(std::string& s, uint32_t tag, const std::string& value)
{
    Put16(s, uint16_t(tag >> 16));
    Put16(s, uint16_t(tag));
    Put32(s, uint32_t(value.size()));
    s += value;
}

std::string MakeFile(int instance)
{
    std::string s(128, '\0');
    s += "DICM";
    // A realistic header: ~60 elements of text before the pixel data.
    for (int i = 0; i < 50; ++i)
        Element(s, 0x00090000u + uint32_t(i), std::string(16 + (i % 5) * 2, 'A' + char(i % 26)));
    Element(s, DicomTag::StudyDate, "20040517");
    Element(s, DicomTag::PatientName, "DOE^JANE");
    Element(s, DicomTag::SeriesInstanceUID, "1.2.840.113619.2.55.3.1234");
    Element(s, DicomTag::InstanceNumber, std::to_string(instance) + (std::to_string(instance).size() % 2 ? " " : ""));
    Element(s, DicomTag::Rows, std::string("\x00\x02", 2));
    Element(s, DicomTag::Columns, std::string("\x00\x02", 2));
    Element(s, DicomTag::PixelData, std::string(512 * 512 * 2, '\x01'));
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    const char* usage = "usage: dicom_walk_bench [FILES]\n"
                        "Times the loader's header walk over FILES generated files (300) beside whole reads.\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    QTemporaryDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        const std::string p = dir.filePath(QString("img%1.dcm").arg(i)).toStdString();
        std::ofstream(p, std::ios::binary) << MakeFile(i + 1);
        paths.push_back(p);
    }
    const uint32_t tags[] = {DicomTag::StudyDate, DicomTag::ContentTime, DicomTag::ReferringPhysicianName,
                             DicomTag::StudyDescription, DicomTag::SeriesDescription, DicomTag::ManufacturerModelName,
                             DicomTag::PatientName, DicomTag::RepetitionTime, DicomTag::EchoTime,
                             DicomTag::SeriesInstanceUID};
    std::vector<double> walk, whole;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer t;
        t.start();
        size_t found = 0;
        for (const auto& p : paths) {
            TDicomStream s(p);
            s.ScanImages();
            for (uint32_t tag : tags)
                found += s.GetElementString(tag, "").size();
        }
        walk.push_back(double(t.nsecsElapsed()) / 1000.0 / files);
        t.restart();
        std::vector<char> buf(600000);
        for (const auto& p : paths) {
            TFileStream f(p, fmOpenRead | fmShareDenyNone);
            found += size_t(f.Read(buf.data(), int64_t(buf.size())));
        }
        whole.push_back(double(t.nsecsElapsed()) / 1000.0 / files);
        if (found == 0)
            return 1;
    }
    std::sort(walk.begin(), walk.end());
    std::sort(whole.begin(), whole.end());
    std::printf("header walk (open and read, ScanImages, 10 look-ups): %.1f us/file median\n", walk[walk.size() / 2]);
    std::printf("baseline, one read of the whole 512 KiB file:  %.1f us/file median\n", whole[whole.size() / 2]);
    return 0;
}
