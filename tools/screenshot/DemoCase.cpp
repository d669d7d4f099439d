#include "DemoCase.h"

#include "DicomWriter.h"

#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <vector>

namespace {

double Ellipse(double x, double y, double cx, double cy, double rx, double ry)
{
    const double dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy;
}

// One axial slice of a head phantom in 12-bit values: skull, brain with
// soft texture, ventricles whose size follows the slice.
std::vector<int16_t> HeadSlice(int n, int slice, int slices, bool t2)
{
    std::vector<int16_t> px(size_t(n) * size_t(n));
    const double t = double(slice) / std::max(slices - 1, 1);
    const double scale = 0.75 + 0.25 * std::sin(3.14159 * (0.15 + 0.7 * t));
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const double fx = double(x) / n, fy = double(y) / n;
            const double head = Ellipse(fx, fy, 0.5, 0.5, 0.38 * scale, 0.46 * scale);
            double v = 0;
            if (head < 1.0) {
                if (head > 0.86)
                    v = t2 ? 300 : 1500; // skull
                else if (head > 0.80)
                    v = t2 ? 1700 : 500; // fluid under the skull
                else {
                    // grey matter towards the rim, white matter inside, soft texture
                    const double depth = std::clamp((0.80 - head) / 0.8, 0.0, 1.0);
                    const double white = std::clamp((depth - 0.18) * 6.0, 0.0, 1.0);
                    v = t2 ? 1150 - 350 * white : 850 + 300 * white;
                    v += 35 * std::sin(fx * 57 + slice * 0.5) * std::cos(fy * 49 - slice * 0.3);
                    const double vr = 0.022 + 0.018 * std::sin(3.14159 * t);
                    if (Ellipse(fx, fy, 0.46, 0.47, vr, vr * 2.6) < 1 || Ellipse(fx, fy, 0.54, 0.47, vr, vr * 2.6) < 1)
                        v = t2 ? 1900 : 350; // ventricles
                    if (Ellipse(fx, fy, 0.5, 0.7, 0.05, 0.025) < 1)
                        v = t2 ? 1500 : 600; // the fourth ventricle
                }
            }
            px[size_t(y) * size_t(n) + size_t(x)] = int16_t(std::clamp(v, 0.0, 4095.0));
        }
    }
    return px;
}

void WriteSeries(const std::string& folder, const std::string& prefix, const std::string& uid,
                 const std::string& description, double echo, bool t2, int slices)
{
    const int n = 256;
    for (int i = 0; i < slices; ++i) {
        DicomWriter w;
        w.Text(0x00080020, "20040517")
            .Text(0x00080090, "SMITH^ANNA^^DR")
            .Text(0x00081030, "MRI BRAIN WITHOUT CONTRAST")
            .Text(0x0008103E, description)
            .Text(0x00100010, "DOE^JANE")
            .Text(0x00180080, t2 ? "4000" : "500")
            .Text(0x00180081, QString::number(echo).toStdString())
            .Text(0x0020000E, uid)
            .Text(0x00200013, std::to_string(i + 1))
            .U16(0x00280002, 1)
            .Text(0x00280004, "MONOCHROME2")
            .U16(0x00280010, uint16_t(n))
            .U16(0x00280011, uint16_t(n))
            .U16(0x00280100, 16)
            .U16(0x00280101, 12)
            .U16(0x00280102, 11)
            .U16(0x00280103, 0)
            .Pixels16(HeadSlice(n, i, slices, t2));
        char name[64];
        std::snprintf(name, sizeof name, "%s%03d.dcm", prefix.c_str(), i + 1);
        w.Save(folder + "/" + name);
    }
}

void WriteReport(const std::string& path)
{
    QPdfWriter pdf(QString::fromStdString(path));
    pdf.setTitle("Radiology report");
    QPainter p(&pdf);
    const int dpi = pdf.resolution();
    auto pt = [&](double inches) { return int(inches * dpi); };
    QFont title("DejaVu Sans", 18, QFont::Bold);
    QFont body("DejaVu Sans", 11);
    p.setFont(title);
    p.drawText(pt(0.8), pt(1.0), "Radiology report");
    p.setFont(body);
    const char* lines[] = {
        "Patient: DOE, JANE          Study date: May 17, 2004",
        "Referring physician: Dr. Anna Smith",
        "Examination: MRI brain without contrast",
        "",
        "Findings: The ventricles are normal in size and configuration.",
        "No mass effect or midline shift. No abnormal signal in the",
        "brain parenchyma. The visualised paranasal sinuses are clear.",
        "",
        "Impression: Normal MRI of the brain.",
    };
    int y = pt(1.6);
    for (const char* line : lines) {
        p.drawText(pt(0.8), y, line);
        y += pt(0.28);
    }
}

} // namespace

int WriteDemoCase(const std::string& folder)
{
    WriteReport(folder + "/report.pdf");
    WriteSeries(folder, "t1_", "1.2.826.0.1.3680043.2.1143.1", "AX T1", 12, false, 20);
    WriteSeries(folder, "t2_", "1.2.826.0.1.3680043.2.1143.2", "AX T2", 90, true, 20);
    return 1 + 40;
}
