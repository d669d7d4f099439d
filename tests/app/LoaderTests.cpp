#include "CaseFolder.h"
#include "CaseTexts.h"
#include "ILoaderClient.h"
#include "TCaseModel.h"
#include "TDicomGraphic.h"
#include "TDicomStream.h"
#include "TLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>

namespace {

// Stands in for the main window: records what the loader tells it.
class Recorder : public ILoaderClient {
public:
    explicit Recorder(TCaseModel& m) : model(m) {}
    void PreviewChanged(int count) override { previews.push_back(count); }
    void FrameAdded() override
    {
        ++frameAdded;
        if (onFrameAdded)
            onFrameAdded();
    }
    void NotEnoughMemory() override { ++memoryNotices; }
    void LoaderDone() override
    {
        ++done;
        loop.quit();
    }
    // Runs the loader to its end (or a generous limit).
    void Load(const std::string& folder)
    {
        TLoader::Start(model, *this, folder);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    TCaseModel& model;
    std::vector<int> previews;
    int frameAdded = 0;
    int done = 0;
    int memoryNotices = 0;
    std::function<void()> onFrameAdded;
    QEventLoop loop;
};

uint8_t FirstPixel(const TDibGraphic& g) { return uint8_t(g.GetPixelIndex(0, 0)); }

std::vector<int> Values(const TStack& s)
{
    std::vector<int> v;
    for (const auto& f : s.FrameList)
        v.push_back(FirstPixel(*f));
    return v;
}

} // namespace

TEST(LoaderReports, PdfOnlyAndTwoPdfs)
{
    {
        CaseFolder c;
        c.Pdf("report.pdf");
        TCaseModel m;
        Recorder r(m);
        r.Load(c.Path());
        ASSERT_EQ(m.Stacks.size(), 1u);
        EXPECT_EQ(m.Stacks[0]->Source, c.File("report.pdf"));
        EXPECT_TRUE(m.Stacks[0]->FrameList.empty());
        EXPECT_EQ(r.frameAdded, 1);
        EXPECT_EQ(r.previews.back(), 1);
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(m.ActiveLoader, nullptr);
    }
    {
        CaseFolder c;
        c.Pdf("a.PDF");
        c.Pdf("b.pdf");
        TCaseModel m;
        Recorder r(m);
        r.Load(c.Path());
        EXPECT_EQ(m.Stacks.size(), 1u);
        EXPECT_EQ(r.previews.back(), 2); // one button more than there will be stacks
        EXPECT_EQ(r.previews.front(), 0);
    }
}

TEST(LoaderTexts, ReportsAndTiffSeriesShowTheCaseTexts)
{
    // From the DICOM series, also for stacks loaded before it; without one from the folder's names.
    for (const bool withDicom : {true, false}) {
        CaseFolder c;
        const std::string sub = "group/SMITH^ANN!P1/Chest CT!2026.11.02/";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(c.File(sub))));
        c.Pdf(sub + "report.pdf");
        c.Tiff(sub + "keys.tif", 1);
        if (withDicom)
            c.Single(sub + "a.dcm", {.patient = "ROE^MARY"});
        TCaseModel m;
        Recorder(m).Load(c.File(sub));
        ASSERT_EQ(m.Stacks.size(), withDicom ? 3u : 2u);
        for (const auto& s : m.Stacks) {
            EXPECT_EQ(s->Patient, withDicom ? "ROE^MARY" : "SMITH^ANN") << s->Source;
            EXPECT_EQ(s->DateText, FormatStudyDate(withDicom ? "2004.05.17" : "2026.11.02")) << s->Source;
            const TStack& dicom = *m.Stacks.back();
            EXPECT_EQ(s->StudyText + s->Referrer, withDicom ? dicom.StudyText + dicom.Referrer : "Chest CTN/A");
        }
    }
}

TEST(LoaderOrder, InstanceNumbersSortNumerically)
{
    CaseFolder c;
    c.Single("x1.dcm", {.value = 10, .instance = "10"});
    c.Single("x2.dcm", {.value = 9, .instance = "9"});
    c.Single("x3.dcm", {.value = 1, .instance = "1"});
    TCaseModel m;
    Recorder r(m);
    r.Load(c.Path());
    ASSERT_EQ(m.Stacks.size(), 1u);
    EXPECT_EQ(Values(*m.Stacks[0]), (std::vector<int>{1, 9, 10}));
    EXPECT_EQ(m.Stacks[0]->Source, "1.2.3 ^^"); // the UID keeps its pad blank
    EXPECT_EQ(m.Stacks[0]->Patient, "DOE^JANE");
    EXPECT_EQ(m.Stacks[0]->StudyText, "HEAD CT ");
    EXPECT_EQ(m.Stacks[0]->Referrer, "DR^WHO");
    EXPECT_EQ(r.previews.back(), 1);
    EXPECT_EQ(r.frameAdded, 3);
}

TEST(LoaderSeries, EchoTimesAndTheArsRuleSplitSeries)
{
    {
        CaseFolder c;
        c.Single("a.dcm", {.value = 1, .instance = "1", .echo = "20"});
        c.Single("b.dcm", {.value = 2, .instance = "2", .echo = "80"});
        c.Single("c.dcm", {.value = 3, .instance = "3", .echo = "20"});
        TCaseModel m;
        Recorder r(m);
        r.Load(c.Path());
        ASSERT_EQ(m.Stacks.size(), 2u);
        EXPECT_EQ(Values(*m.Stacks[0]), (std::vector<int>{1, 3}));
        EXPECT_EQ(Values(*m.Stacks[1]), (std::vector<int>{2}));
        EXPECT_EQ(r.previews.back(), 2);
    }
    for (const char* model : {"ARS", "ARSX"}) {
        CaseFolder c;
        c.Single("a.dcm", {.value = 1, .instance = "1", .model = model, .description = "AXIAL"});
        c.Single("b.dcm", {.value = 2, .instance = "2", .model = model, .description = "CORONAL"});
        TCaseModel m;
        Recorder r(m);
        r.Load(c.Path());
        EXPECT_EQ(m.Stacks.size(), std::string(model) == "ARS" ? 2u : 1u) << model;
    }
}

TEST(LoaderOrder, KfStacksComeFirstThenWholeFilesThenSingles)
{
    CaseFolder c;
    c.Single("single.dcm", {.value = 50, .instance = "1"});
    c.Multi("multi.dcm", {1, 2, 3});
    c.Multi("cine.kf2", {7, 8});
    c.Tiff("pages.TIF", 2);
    c.Tiff("other.tiff", 1); // not a ".TIF": ignored as a DICOM file would be
    c.Raw("notes.txt", "hello");
    c.Raw("Incomplete", "");
    TCaseModel m;
    Recorder r(m);
    r.Load(c.Path());
    ASSERT_EQ(m.Stacks.size(), 4u);
    EXPECT_EQ(m.Stacks[0]->Source, c.File("cine.kf2"));
    EXPECT_EQ(Values(*m.Stacks[0]), (std::vector<int>{7, 8}));
    // The multi-image file and the TIFF file follow in directory order.
    std::vector<std::string> middle = {m.Stacks[1]->Source, m.Stacks[2]->Source};
    std::sort(middle.begin(), middle.end());
    EXPECT_EQ(middle, (std::vector<std::string>{c.File("multi.dcm"), c.File("pages.TIF")}));
    for (int i = 1; i <= 2; ++i) {
        const TStack& s = *m.Stacks[size_t(i)];
        if (s.Source == c.File("pages.TIF")) {
            EXPECT_EQ(Values(s), (std::vector<int>{100, 101}));
            EXPECT_EQ(s.Patient, "DOE^JANE"); // the case's DICOM series lends its texts
        } else {
            EXPECT_EQ(Values(s), (std::vector<int>{1, 2, 3}));
            EXPECT_EQ(s.Patient, "DOE^JANE");
        }
    }
    EXPECT_EQ(Values(*m.Stacks[3]), (std::vector<int>{50}));
    EXPECT_EQ(r.previews.back(), 4);
}

TEST(LoaderSeries, MoreThanFifteenSeriesAllLoad)
{
    CaseFolder c;
    for (int i = 0; i < 17; ++i)
        c.Single("s" + std::to_string(i) + ".dcm", {.value = uint8_t(i), .instance = "1", .seriesUid = "9." + std::to_string(i)});
    TCaseModel m;
    Recorder r(m);
    r.Load(c.Path());
    EXPECT_EQ(m.Stacks.size(), 17u);
    EXPECT_EQ(r.previews.back(), 17);
}

TEST(LoaderFailures, AnUnreadableTiffKeepsItsEmptyStackAndTheLoadGoesOn)
{
    CaseFolder c;
    c.Raw("broken.TIF", "this is not a TIFF file at all");
    c.Single("single.dcm", {.value = 5, .instance = "1"});
    TCaseModel m;
    Recorder r(m);
    r.Load(c.Path());
    // The TIFF stack was appended before its page count failed; the
    // single-image pass still ran.
    ASSERT_EQ(m.Stacks.size(), 2u);
    EXPECT_EQ(m.Stacks[0]->Source, c.File("broken.TIF"));
    EXPECT_TRUE(m.Stacks[0]->FrameList.empty());
    EXPECT_EQ(Values(*m.Stacks[1]), (std::vector<int>{5}));
    EXPECT_EQ(r.done, 1);
}

TEST(LoaderFailures, UndecodableImagesAreSkipped)
{
    CaseFolder c;
    c.Single("good.dcm", {.value = 5, .instance = "2"});
    DicomWriter bad;
    CaseFolder::Header(bad, {.instance = "1"});
    bad.U16(DicomTag::SamplesPerPixel, 1).U16(DicomTag::Rows, 4).U16(DicomTag::Columns, 4);
    bad.U16(DicomTag::BitsAllocated, 12).Pixels8({1, 2});
    bad.Save(c.File("bad.dcm"));
    TCaseModel m;
    Recorder r(m);
    r.Load(c.Path());
    ASSERT_EQ(m.Stacks.size(), 1u);
    EXPECT_EQ(Values(*m.Stacks[0]), (std::vector<int>{5}));
}

TEST(LoaderStop, StopWhileTheLoaderWaitsInANotification)
{
    CaseFolder c;
    for (int i = 0; i < 40; ++i)
        c.Single("f" + std::to_string(i) + ".dcm", {.value = uint8_t(i), .instance = std::to_string(i)});
    TCaseModel m;
    Recorder r(m);
    TLoader::Start(m, r, c.Path());
    // The UI thread is busy (not serving events) while the loader blocks in
    // its first notification; then it stops the loader.
    QThread::msleep(200);
    QElapsedTimer t;
    t.start();
    TLoader::Stop(m);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(m.ActiveLoader, nullptr);
    size_t frames = 0;
    for (const auto& s : m.Stacks)
        frames += s->FrameList.size();
    EXPECT_LT(frames, 40u);
    QCoreApplication::processEvents(); // the loader frees itself
}

TEST(LoaderStop, OpeningAnotherCaseWhileLoading)
{
    CaseFolder oldCase, newCase;
    for (int i = 0; i < 30; ++i)
        oldCase.Single("o" + std::to_string(i) + ".dcm", {.value = 200, .instance = std::to_string(i)});
    newCase.Single("n.dcm", {.value = 7, .instance = "1"});
    TCaseModel m;
    Recorder r(m);
    r.onFrameAdded = [&] {
        if (r.frameAdded == 2) { // open the new case from inside a notification's aftermath
            QTimer::singleShot(0, [&] {
                TLoader::Stop(m);
                m.Clear();
                TLoader::Start(m, r, newCase.Path());
            });
        }
    };
    TLoader::Start(m, r, oldCase.Path());
    QElapsedTimer t;
    t.start();
    while (r.done < 2 && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(r.done, 2);
    ASSERT_EQ(m.Stacks.size(), 1u);
    EXPECT_EQ(Values(*m.Stacks[0]), (std::vector<int>{7}));
}

TEST(CaseTexts, StudyDatesAndSortKeys)
{
    EXPECT_EQ(FormatStudyDate("2004.05.17"), "Mon May 17, 2004");
    EXPECT_EQ(FormatStudyDate("20040517"), "Mon May 17, 2004");
    EXPECT_EQ(FormatStudyDate("2004051"), "2004051");
    EXPECT_EQ(FormatStudyDate("20040230"), "20040230");
    EXPECT_EQ(FormatStudyDate("2004AB17"), "2004AB17");
    EXPECT_EQ(FormatStudyDate(""), "");
    EXPECT_EQ(TrimControls("\t 12 \x01"), "12");

    CaseFolder c;
    c.Single("a.dcm", {.instance = " 42 "});
    TDicomStream s(c.File("a.dcm"));
    EXPECT_EQ(ImageSortKey(s, "a.dcm"), "          42|a.dcm");
    DicomWriter w;
    w.Text(DicomTag::ContentTime, "123456.789012345");
    CaseFolder::Image(w, 1);
    w.Save(c.File("b.dcm"));
    TDicomStream t(c.File("b.dcm"));
    EXPECT_EQ(ImageSortKey(t, "b.dcm"), "123456.78901|b.dcm");
    DicomWriter n;
    CaseFolder::Image(n, 1);
    n.Save(c.File("n.dcm"));
    TDicomStream u(c.File("n.dcm"));
    EXPECT_EQ(ImageSortKey(u, "n.dcm"), "            |n.dcm");
    EXPECT_EQ(SeriesKey(u), "^^");
}
