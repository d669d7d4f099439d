#pragma once
// Builds case folders for loader tests: 8-bit grey DICOM images whose first
// pixel tells them apart, multi-image files, TIFF files and PDF stand-ins.
#include "DicomWriter.h"

#include <QTemporaryDir>

#include <string>
#include <vector>

struct ImageSpec {
    uint8_t value = 0;          // every pixel
    std::string instance;       // Instance Number text; empty: none
    std::string seriesUid = "1.2.3";
    std::string echo;           // Echo Time
    std::string model;          // Manufacturer's Model Name (padded)
    std::string description;    // Series Description
    std::string patient = "DOE^JANE";
    std::string date = "2004.05.17";
};

class CaseFolder {
public:
    std::string Path() const { return m_dir.path().toStdString() + "/"; }
    std::string File(const std::string& name) const { return Path() + name; }
    void Single(const std::string& name, const ImageSpec& image);
    // A multi-image file with one item per value.
    void Multi(const std::string& name, const std::vector<uint8_t>& values);
    void Pdf(const std::string& name);
    void Tiff(const std::string& name, int pages);
    void Raw(const std::string& name, const std::string& bytes);

    static DicomWriter& Header(DicomWriter& w, const ImageSpec& image);
    static DicomWriter& Image(DicomWriter& w, uint8_t value, int rows = 4, int cols = 4);

private:
    QTemporaryDir m_dir;
};
