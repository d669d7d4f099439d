#include "DemoPhantoms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Ellipse measure: below 1 inside.
double Ell(double u, double v, double cu, double cv, double ru, double rv)
{
    const double a = (u - cu) / ru, b = (v - cv) / rv;
    return a * a + b * b;
}

template <typename F>
void ForEachPixel(int width, int height, F f)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            f(x, y, (x - width / 2.0) / (width / 2.0), (y - height / 2.0) / (height / 2.0));
}

std::string PdfText(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

std::vector<int16_t> HeadCtSlice(int size, double z, bool contrast, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 4.0);
    const double k = 0.55 + 0.45 * std::sin(kPi * (0.2 + 0.7 * z)); // head narrows towards the top
    const double vent = std::max(0.0, 1.0 - std::abs(z - 0.5) * 3.0); // ventricles mid-head only
    std::vector<int16_t> out(size_t(size) * size);
    ForEachPixel(size, size, [&](int x, int y, double u, double v) {
        const double e = Ell(u, v, 0, 0.02, 0.72 * k, 0.88 * k);
        double hu = -1000;
        if (e < 1.0) {
            hu = 40; // scalp
            if (e < 0.9)
                hu = 900 + 150 * std::sin(u * 40) * std::sin(v * 40); // skull
            if (e < 0.8) {
                hu = 44 + 3 * std::sin(u * 60 + v * 20); // grey matter with a gyral pattern
                if (Ell(u, v, 0, 0.02, 0.55 * k, 0.7 * k) < 1.0)
                    hu = 24; // white matter
                if (vent > 0 && (Ell(u, v, -0.1, -0.05, 0.06 * vent, 0.2 * vent) < 1.0 ||
                                 Ell(u, v, 0.1, -0.05, 0.06 * vent, 0.2 * vent) < 1.0))
                    hu = 5; // lateral ventricles
                if (std::abs(u) < 0.012 && e < 0.75)
                    hu = contrast ? 90 : 45; // falx
                if (contrast && (Ell(u, v, -0.25, 0.3, 0.025, 0.025) < 1 || Ell(u, v, 0.25, 0.3, 0.025, 0.025) < 1))
                    hu = 160; // enhanced vessels
            }
        }
        hu += noise(rng);
        out[size_t(y * size + x)] = int16_t(std::clamp(hu + 1024, -2000.0, 4000.0));
    });
    return out;
}

std::vector<int16_t> BrainMrSlice(int size, double z, unsigned seed)
{
    std::mt19937 rng(seed + 1000);
    std::normal_distribution<double> noise(0.0, 15.0);
    const double k = 0.55 + 0.45 * std::sin(kPi * (0.2 + 0.7 * z));
    const double vent = std::max(0.0, 1.0 - std::abs(z - 0.5) * 3.0);
    std::vector<int16_t> out(size_t(size) * size);
    ForEachPixel(size, size, [&](int x, int y, double u, double v) {
        const double e = Ell(u, v, 0, 0.02, 0.72 * k, 0.88 * k);
        double s = 0;
        if (e < 1.0) {
            s = 520; // scalp fat
            if (e < 0.92)
                s = 40; // skull
            if (e < 0.84)
                s = 900; // CSF around the brain
            if (e < 0.78) {
                s = 600 + 40 * std::sin(u * 60 + v * 20); // grey matter
                if (Ell(u, v, 0, 0.02, 0.55 * k, 0.7 * k) < 1.0)
                    s = 330; // white matter
                if (vent > 0 && (Ell(u, v, -0.1, -0.05, 0.06 * vent, 0.2 * vent) < 1.0 ||
                                 Ell(u, v, 0.1, -0.05, 0.06 * vent, 0.2 * vent) < 1.0))
                    s = 950;
            }
        }
        out[size_t(y * size + x)] = int16_t(std::abs(s + noise(rng)));
    });
    return out;
}

std::vector<uint8_t> CineFrame(int size, double phase, unsigned seed)
{
    std::mt19937 rng(seed + 2000);
    std::normal_distribution<double> noise(0.0, 6.0);
    const double beat = std::cos(2 * kPi * phase);          // 1 at end-diastole
    const double pool = 0.16 + 0.05 * beat;                 // blood pool radius
    const double wall = pool + 0.09 - 0.03 * beat;          // the wall thickens as it contracts
    std::vector<uint8_t> out(size_t(size) * size);
    ForEachPixel(size, size, [&](int x, int y, double u, double v) {
        double s = 15;
        if (Ell(u, v, 0, 0.05, 0.9, 0.7) < 1.0)
            s = 70; // chest
        if (Ell(u, v, 0.12, 0.08, 0.55, 0.45) < 1.0)
            s = 55; // lung-free heart region
        if (Ell(u, v, -0.18, 0.05, wall + 0.16, wall + 0.05) < 1.0 && Ell(u, v, 0.05, 0.05, wall, wall) >= 1.0)
            s = 200; // right ventricle
        if (Ell(u, v, 0.05, 0.05, wall, wall) < 1.0)
            s = 105; // myocardium
        if (Ell(u, v, 0.05, 0.05, pool, pool) < 1.0)
            s = 225; // left ventricular blood pool
        out[size_t(y * size + x)] = uint8_t(std::clamp(s + noise(rng), 0.0, 255.0));
    });
    return out;
}

std::vector<uint8_t> EchoFrame(int width, int height, double phase, unsigned seed)
{
    std::mt19937 rng(seed + 3000);
    std::uniform_real_distribution<double> speckle(0.3, 1.0);
    std::vector<uint8_t> out(size_t(width) * height * 3, 0);
    const double apexX = width / 2.0, apexY = 8;
    const double beat = std::cos(2 * kPi * phase);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = x - apexX, dy = y - apexY;
            const double r = std::hypot(dx, dy) / (height - 12), angle = std::atan2(dx, dy);
            if (r > 1.0 || std::abs(angle) > 0.7)
                continue;
            // Depth r, lateral angle: a cavity between two bright walls.
            const double cav = Ell(angle, r, 0, 0.55, 0.28 + 0.04 * beat, 0.3);
            double g = 70;
            if (cav < 1.6)
                g = 170;
            if (cav < 1.0)
                g = 12;
            g *= speckle(rng);
            uint8_t* p = &out[size_t((y * width + x) * 3)];
            p[0] = p[1] = p[2] = uint8_t(std::clamp(g, 0.0, 255.0));
            if (cav < 0.8 && r > 0.45 && r < 0.7 && std::abs(angle) < 0.15) {
                const double flow = beat * (1.0 - cav); // towards the probe red, away blue
                p[0] = uint8_t(flow > 0 ? 120 + 130 * flow : 20);
                p[1] = uint8_t(30 + 60 * std::abs(flow));
                p[2] = uint8_t(flow < 0 ? 120 - 130 * flow : 20);
            }
        }
    return out;
}

std::vector<uint16_t> KneeSlice(int size, double z, unsigned seed)
{
    std::mt19937 rng(seed + 4000);
    std::normal_distribution<double> noise(0.0, 40.0);
    const double k = 0.7 + 0.3 * std::sin(kPi * z); // condyles widest mid-knee
    std::vector<uint16_t> out(size_t(size) * size);
    ForEachPixel(size, size, [&](int x, int y, double u, double v) {
        double s = 0;
        if (std::abs(u) < 0.55 * k + 0.1 && std::abs(v) < 0.98)
            s = 1300; // muscle and soft tissue
        if (std::abs(u) < 0.55 * k + 0.1 && std::abs(v) < 0.98 && std::abs(u) > 0.5 * k + 0.05)
            s = 2700; // subcutaneous fat
        const bool inFemur = (v < -0.05 && std::abs(u) < 0.25 * k) || Ell(u, v, 0, -0.05, 0.3 * k, 0.18) < 1.0;
        const bool inTibia = v > 0.2 && std::abs(u) < 0.26 * k + 0.04 * (v - 0.2);
        if (inFemur || inTibia)
            s = 2500 + 150 * std::sin(u * 9 + v * 4) * std::sin(v * 7); // fatty marrow
        if ((inFemur && Ell(u, v, 0, -0.05, 0.3 * k, 0.18) > 0.8 && v > -0.1) ||
            (inTibia && (v < 0.24 || std::abs(u) > 0.26 * k - 0.02)))
            s = 150; // cortex
        if (!inFemur && !inTibia && std::abs(u) < 0.3 * k && v > 0.1 && v < 0.2)
            s = 1900; // cartilage and menisci
        if (Ell(u, v, -0.42, -0.12, 0.07, 0.16) < 1.0)
            s = 2300; // patella
        if (Ell(u, v, -0.3, 0.05, 0.05, 0.08) < 1.0)
            s = 3600; // joint fluid
        out[size_t(y * size + x)] = uint16_t(std::clamp(s + noise(rng), 0.0, 4095.0));
    });
    return out;
}

std::string ReportPdf(const std::string& title, const std::vector<std::string>& lines)
{
    std::string content = "BT /F1 24 Tf 72 760 Td (" + PdfText(title) + ") Tj ET\nBT /F1 12 Tf 72 730 Td\n";
    for (size_t i = 0; i < lines.size(); ++i)
        content += (i ? "0 -16 Td (" : "(") + PdfText(lines[i]) + ") Tj\n";
    content += "ET\n";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 0 R >> >> "
        "/Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}
