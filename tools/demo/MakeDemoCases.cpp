// Writes the demo case tree into OUTDIR/referring: three groups, three
// patients, five studies named "Description!yyyy.mm.dd", made of every kind of
// file the viewer reads. The pictures are simple anatomy-like phantoms.
#include "DemoPhantoms.h"
#include "DicomWriter.h"
#include "JpegMaker.h"
#include "TFileStream.h"
#include "ToolOptions.h"
#include "TTiffGraphic.h"

#include <QDir>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kPrivateJpeg = 0x7FE10010; // marks a JPEG stream as pixel data

struct Study {
    std::string patient, referrer, description, date; // date as stored, yyyymmdd
};

std::string Folder(const QString& root, const std::string& sub)
{
    const QString path = QDir(root).filePath(QString::fromStdString(sub));
    QDir().mkpath(path);
    return path.toStdString() + "/";
}

void Texts(DicomWriter& w, const Study& s)
{
    w.Text(0x00080020, s.date).Text(0x00081030, s.description).Text(0x00080090, s.referrer);
    w.Text(0x00100010, s.patient);
}

void Grey(DicomWriter& w, int rows, int cols, int bits)
{
    w.U16(0x00280002, 1).Text(0x00280004, "MONOCHROME2");
    w.U16(0x00280010, uint16_t(rows)).U16(0x00280011, uint16_t(cols)).U16(0x00280100, uint16_t(bits));
}

std::string Name(const char* pattern, int i)
{
    char name[64];
    std::snprintf(name, sizeof name, pattern, i);
    return name;
}

// Two stacks of one series: a plain and a contrast-enhanced run, told apart
// by their repetition times.
void HeadCt(const std::string& dir, const Study& s, const std::string& uid, int slices)
{
    for (int run = 0; run < 2; ++run)
        for (int i = 0; i < slices; ++i) {
            DicomWriter w;
            Texts(w, s);
            w.Text(0x0008103E, run ? "HEAD C+" : "HEAD").Text(0x0020000E, uid);
            w.Text(0x00180080, run ? "1000" : "500").Text(0x00200013, std::to_string(i + 1));
            Grey(w, 256, 256, 16);
            w.Text(0x00281050, "40").Text(0x00281051, "80").Text(0x00281052, "-1024").Text(0x00281053, "1");
            w.Pixels16(HeadCtSlice(256, double(i) / (slices - 1), run == 1, unsigned(run * 100 + i)));
            w.Save(dir + Name(run ? "CTC%04d.dcm" : "CT%04d.dcm", i + 1));
        }
}

// One file holding every slice as an item, and the exam-information file
// that gives each slice its window as upper and lower sample limits.
void BrainMr(const std::string& dir, const Study& s, int slices)
{
    const std::string file = "MR000001";
    DicomWriter w;
    Texts(w, s);
    w.Text(0x0020000E, "1.2.826.0.1.3680043.9.7.2.1").Text(0x0008103E, "T2 AX");
    for (int i = 0; i < slices; ++i) {
        w.ItemStart();
        Grey(w, 256, 256, 16);
        w.Text(0x00281050, "400").Text(0x00281051, "1200");
        w.Pixels16(BrainMrSlice(256, double(i) / (slices - 1), unsigned(i)));
        w.ItemEnd();
    }
    w.Save(dir + file);

    std::string exam = "EXAM";
    auto chunk = [&exam](const char* tag, const std::string& body) {
        exam.append(tag, 4);
        const uint32_t n = uint32_t(body.size());
        exam += char(n >> 24);
        exam += char(n >> 16);
        exam += char(n >> 8);
        exam += char(n);
        exam += body;
    };
    chunk("Prep", std::string(16, '\0'));
    chunk("Seri", std::string(8, '\0'));
    for (int i = 0; i < slices; ++i) {
        std::string body(64, '\0');
        body[0] = char(file.size());
        body.replace(1, file.size(), file);
        const int16_t upper = int16_t(kMrExamUpper), lower = int16_t(kMrExamLower);
        body[34] = char(uint16_t(upper) >> 8);
        body[35] = char(upper);
        body[36] = char(uint16_t(lower) >> 8);
        body[37] = char(lower);
        chunk("Imag", body);
    }
    chunk("Read", std::string(4, '\0'));
    WriteFile(dir + "Exam Info.exi", exam);
}

void CardiacCine(const std::string& dir, const Study& s, int frames)
{
    DicomWriter w;
    Texts(w, s);
    w.Text(0x0020000E, "1.2.826.0.1.3680043.9.7.3.1").Text(0x0008103E, "CINE SAX");
    for (int i = 0; i < frames; ++i) {
        w.ItemStart();
        Grey(w, 192, 192, 8);
        w.Pixels8(CineFrame(192, double(i) / frames, unsigned(i)));
        w.ItemEnd();
    }
    w.Save(dir + "CINE0001.KF");
}

void EchoRgb(const std::string& dir, const Study& s, int frames)
{
    for (int i = 0; i < frames; ++i) {
        std::string jpeg = MakeJpeg8(320, 240, 3, EchoFrame(320, 240, double(i) / frames, unsigned(i)),
                                     {.quality = 90});
        if (jpeg.size() % 2)
            jpeg += '\0';
        DicomWriter w;
        Texts(w, s);
        w.Text(0x0020000E, "1.2.826.0.1.3680043.9.7.3.2").Text(0x00200013, std::to_string(i + 1));
        w.U16(0x00280002, 3).Text(0x00280004, "RGB");
        w.U16(0x00280010, 240).U16(0x00280011, 320).U16(0x00280100, 8);
        w.U16(kPrivateJpeg, 0).Element(0x7FE00010, jpeg);
        w.Save(dir + Name("US%04d.dcm", i + 1));
    }
}

void KneeMr12(const std::string& dir, const Study& s, int slices)
{
    for (int i = 0; i < slices; ++i) {
        std::string jpeg = MakeJpeg12Lossless(256, 256, KneeSlice(256, double(i) / (slices - 1), unsigned(i)));
        if (jpeg.size() % 2)
            jpeg += '\0';
        DicomWriter w;
        Texts(w, s);
        w.Text(0x0020000E, "1.2.826.0.1.3680043.9.7.4.1").Text(0x0008103E, "PD SAG");
        w.Text(0x00200013, std::to_string(i + 1));
        Grey(w, 256, 256, 16);
        w.Text(0x00281050, "1600").Text(0x00281051, "3200");
        w.U16(kPrivateJpeg, 0).Element(0x7FE00010, jpeg);
        w.Save(dir + Name("KN%04d.dcm", i + 1));
    }
}

// Key images: a grey page cut from the knee and a colour annotation page.
void KeyImagesTiff(const std::string& path)
{
    TFileStream file(path, fmCreate);
    TTiffGraphic grey;
    grey.NewImage(256, 256, ifGray256, nullptr, 72, 72);
    const std::vector<uint16_t> knee = KneeSlice(256, 0.5, 7);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            grey.SetPixelIndex(x, y, std::min(255, knee[size_t(y * 256 + x)] / 14));
    grey.SaveToStream(file);

    TTiffGraphic colour;
    colour.NewImage(320, 240, ifTrueColor, nullptr, 72, 72);
    const std::vector<uint8_t> rgb = EchoFrame(320, 240, 0.3, 11);
    for (int y = 0; y < 240; ++y) {
        uint8_t* row = colour.ScanLine(y);
        for (int x = 0; x < 320; ++x) {
            const uint8_t* p = &rgb[size_t((y * 320 + x) * 3)];
            row[x * 3] = p[2];
            row[x * 3 + 1] = p[1];
            row[x * 3 + 2] = p[0];
        }
    }
    colour.AppendToStream(file);
}

} // namespace

int main(int argc, char** argv)
{
    const char* usage = "usage: make_demo_cases OUTDIR\n"
                        "Writes the demo cases (CT, MR, cine, colour, TIFF, PDF reports) into OUTDIR/referring.\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    if (argc != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).filePath("referring");
    try {
        const Study headCt{"AMBROSE^HELEN", "DR^OKAFOR^GRACE", "HEAD CT", "2026.11.02"};
        std::string dir = Folder(root, "neurology/Ambrose^Helen!P10234/Head CT!2026.11.02");
        HeadCt(dir, headCt, "1.2.826.0.1.3680043.9.7.1.1", 16);
        WriteFile(dir + "Report.pdf", ReportPdf("Report", {"Head CT of AMBROSE^HELEN, 2 Nov 2026.",
                                                          "No acute intracranial abnormality."}));

        const Study brainMr{"AMBROSE^HELEN", "DR^OKAFOR^GRACE", "BRAIN MR", "2026.11.05"};
        BrainMr(Folder(root, "neurology/Ambrose^Helen!P10234/Brain MR!2026.11.05"), brainMr, 20);

        const Study followUp{"DUNMORE^ARTHUR", "DR^OKAFOR^GRACE", "HEAD CT", "2026.12.01"};
        HeadCt(Folder(root, "neurology/Dunmore^Arthur!P10777/Follow-up CT!2026.12.01"), followUp,
               "1.2.826.0.1.3680043.9.7.1.2", 8);

        const Study cardiac{"BRENNAN^THOMAS", "DR^LINDQVIST", "CARDIAC CINE", "2026.10.21"};
        dir = Folder(root, "cardiology/Brennan^Thomas!P20871/Cardiac Cine!2026.10.21");
        CardiacCine(dir, cardiac, 24);
        EchoRgb(dir, cardiac, 4);

        const Study knee{"CASTILLO^MARIA", "DR^HARTMANN", "KNEE MR", "2026.09.14"};
        dir = Folder(root, "orthopaedics/Castillo^Maria!P30455/Knee MR!2026.09.14");
        KneeMr12(dir, knee, 12);
        KeyImagesTiff(dir + "KEYIMAGES.TIF");
        WriteFile(dir + "Report.pdf", ReportPdf("Report", {"Knee MR of CASTILLO^MARIA, 14 Sep 2026.",
                                                          "Intact cruciate ligaments."}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_demo_cases: %s\n", e.what());
        return 1;
    }
    return 0;
}
