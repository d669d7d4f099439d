#include "CaseFolder.h"

#include "TDicomStream.h"
#include "TFileStream.h"
#include "TTiffGraphic.h"

DicomWriter& CaseFolder::Header(DicomWriter& w, const ImageSpec& image)
{
    w.Text(DicomTag::StudyDate, image.date).Text(DicomTag::PatientName, image.patient);
    w.Text(DicomTag::StudyDescription, "HEAD CT").Text(DicomTag::ReferringPhysicianName, "DR^WHO");
    if (!image.model.empty())
        w.Text(DicomTag::ManufacturerModelName, image.model);
    if (!image.description.empty())
        w.Text(DicomTag::SeriesDescription, image.description);
    if (!image.echo.empty())
        w.Text(DicomTag::EchoTime, image.echo);
    w.Text(DicomTag::SeriesInstanceUID, image.seriesUid);
    if (!image.instance.empty())
        w.Text(DicomTag::InstanceNumber, image.instance);
    return w;
}

DicomWriter& CaseFolder::Image(DicomWriter& w, uint8_t value, int rows, int cols)
{
    w.U16(DicomTag::SamplesPerPixel, 1).Text(DicomTag::PhotometricInterpretation, "MONOCHROME2");
    w.U16(DicomTag::Rows, uint16_t(rows)).U16(DicomTag::Columns, uint16_t(cols)).U16(DicomTag::BitsAllocated, 8);
    return w.Pixels8(std::vector<uint8_t>(size_t(rows * cols), value));
}

void CaseFolder::Single(const std::string& name, const ImageSpec& image)
{
    DicomWriter w;
    Header(w, image);
    Image(w, image.value);
    w.Save(File(name));
}

void CaseFolder::Multi(const std::string& name, const std::vector<uint8_t>& values)
{
    DicomWriter w;
    Header(w, ImageSpec{});
    for (uint8_t v : values) {
        w.ItemStart();
        Image(w, v);
        w.ItemEnd();
    }
    w.Save(File(name));
}

void CaseFolder::Pdf(const std::string& name) { WriteFile(File(name), "%PDF-1.4\n%%EOF\n"); }

void CaseFolder::Raw(const std::string& name, const std::string& bytes) { WriteFile(File(name), bytes); }

void CaseFolder::Tiff(const std::string& name, int pages)
{
    TFileStream file(File(name), fmCreate);
    for (int p = 0; p < pages; ++p) {
        TTiffGraphic page;
        page.NewImage(5, 3, ifGray256, nullptr, 72, 72);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                page.SetPixelIndex(x, y, 100 + p);
        if (p == 0)
            page.SaveToStream(file);
        else
            page.AppendToStream(file);
    }
}
