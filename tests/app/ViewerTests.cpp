// The main window with the real case loader, and the viewer program itself:
// case folders on disk, opening a case while another loads, closing the
// window during a load, and two starts of the program.
#include "CaseFolder.h"
#include "TAquaRadio.h"
#include "TDicomWindowAdapter.h"
#include "TDownloadPlaceholder.h"
#include "TForm1.h"
#include "TLoaderControl.h"
#include "TAquaSlider.h"
#include "TFileStream.h"
#include "TPaintBox.h"
#include "TTiffGraphic.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

void Settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct Viewer {
    TDicomWindowAdapter windows;
    TLoaderControl loaders;
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>(
        windows, loaders, [](QWidget* parent) { return new TDownloadPlaceholder(parent); });
    Viewer()
    {
        form->resize(900, 600);
        form->show();
        Settle();
    }
    ~Viewer()
    {
        form.reset();
        Settle(); // the ended loader frees itself
    }
    bool WaitLoaded()
    {
        const QDeadlineTimer deadline(60000);
        while (form->Model.ActiveLoader && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        Settle();
        return !form->Model.ActiveLoader;
    }
};

void SingleImages(CaseFolder& folder, int count, uint8_t value, const std::string& uid)
{
    for (int i = 0; i < count; ++i) {
        ImageSpec image;
        image.value = value;
        image.seriesUid = uid;
        image.instance = std::to_string(i + 1);
        folder.Single("img" + std::to_string(1000 + i) + ".dcm", image);
    }
}

// A TIFF file with one grey page per size, page n filled with values[n].
void TiffOfSizes(const std::string& path, const std::vector<QSize>& sizes, const std::vector<uint8_t>& values)
{
    TFileStream file(path, fmCreate);
    for (size_t p = 0; p < sizes.size(); ++p) {
        TTiffGraphic page;
        page.NewImage(sizes[p].width(), sizes[p].height(), ifGray256, nullptr, 72, 72);
        for (int y = 0; y < sizes[p].height(); ++y)
            for (int x = 0; x < sizes[p].width(); ++x)
                page.SetPixelIndex(x, y, values[p]);
        if (p == 0)
            page.SaveToStream(file);
        else
            page.AppendToStream(file);
    }
}

// A single-image file of rows x cols pixels of value.
void Sized(CaseFolder& folder, const std::string& name, int rows, int cols, uint8_t value)
{
    DicomWriter w;
    CaseFolder::Header(w, ImageSpec{});
    CaseFolder::Image(w, value, rows, cols);
    w.Save(folder.File(name));
}

int Grey(const QImage& shot, int x, int y) { return qGray(shot.pixel(x, y)); }

} // namespace

TEST(ViewerCase, AFolderOpensIntoSeriesAndButtons)
{
    CaseFolder folder;
    folder.Pdf("report.pdf");
    SingleImages(folder, 3, 7, "1.2.3");
    Viewer v;
    v.form->OpenCase(folder.Path());
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_EQ(v.form->Model.Stacks.size(), 2u);
    EXPECT_EQ(v.form->Model.Stacks[1]->FrameList.size(), 3u);
    EXPECT_FALSE(v.form->SeriesButtons[0]->isHidden());
    EXPECT_TRUE(v.form->SeriesButtons[1]->isEnabled());
    EXPECT_TRUE(v.form->SeriesButtons[2]->isHidden());
    EXPECT_EQ(v.form->Label9->text(), " ");
    EXPECT_EQ(v.form->PatientName->text(), "DOE^JANE"); // series A, the report, has the case's texts
    v.form->SeriesButtons[1]->SetChecked(true);
    EXPECT_EQ(v.form->PatientName->text(), "DOE^JANE");
    EXPECT_EQ(v.form->Label5->text(), "3");
}

TEST(ViewerCase, TheSameFileBasedCaseIsNotLoadedTwice)
{
    CaseFolder folder;
    folder.Pdf("report.pdf");
    SingleImages(folder, 2, 7, "1.2.3");
    Viewer v;
    v.form->OpenCase(folder.Path());
    ASSERT_TRUE(v.WaitLoaded());
    const TStack* first = v.form->Model.Stacks[0].get();
    v.form->OpenCase(folder.Path());
    EXPECT_EQ(v.form->Model.ActiveLoader, nullptr);
    ASSERT_EQ(v.form->Model.Stacks.size(), 2u);
    EXPECT_EQ(v.form->Model.Stacks[0].get(), first);
}

TEST(ViewerCase, AnotherCaseWhileOneLoadsShowsNothingOfTheOld)
{
    CaseFolder big, small;
    SingleImages(big, 300, 1, "1.1");
    SingleImages(small, 2, 2, "2.2");
    Viewer v;
    v.form->OpenCase(big.Path());
    const QDeadlineTimer deadline(60000);
    // Each pass serves the loader's one waiting call, so it is caught early.
    while ((v.form->Model.Stacks.empty() || v.form->Model.Stacks[0]->FrameList.empty()) && !deadline.hasExpired())
        QCoreApplication::processEvents();
    ASSERT_TRUE(v.form->Model.ActiveLoader) << "the first case finished too early to test";
    v.form->OpenCase(small.Path());
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_EQ(v.form->Model.Stacks.size(), 1u);
    const TStack& s = *v.form->Model.Stacks[0];
    EXPECT_EQ(s.Source.substr(0, 3), "2.2"); // the second case's series key
    ASSERT_EQ(s.FrameList.size(), 2u);
    for (const auto& f : s.FrameList)
        EXPECT_EQ(f->GetPixelIndex(0, 0), 2);
}

TEST(ViewerCase, ClosingTheWindowDuringALoadStopsTheLoaderFirst)
{
    CaseFolder big;
    SingleImages(big, 150, 1, "1.1");
    Viewer v;
    v.form->OpenCase(big.Path());
    QCoreApplication::processEvents();
    v.form.reset(); // the loader must not call into the destroyed window
    Settle();
    SUCCEED();
}

// ---- fitting and drawing decoded images ----

TEST(ViewerDisplay, AStackShownBehindTheManagerIsFittedFromTheViewAndLimited)
{
    CaseFolder folder;
    Sized(folder, "small.dcm", 32, 32, 90);
    Viewer v;
    v.form->OpenCase(folder.Path());
    v.form->Image3Click(); // the manager covers the view while the case loads
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_EQ(v.form->Model.Stacks.size(), 1u);
    const TStack& s = *v.form->Model.Stacks[0];
    const QSize view = v.form->PaintBox1->size();
    EXPECT_EQ(s.Zoom, 400); // fitted far above 400 %, then limited about the centre
    EXPECT_EQ(v.form->TrackBar3->Position(), 400);
    EXPECT_NEAR(s.OffsetX + 64, view.width() / 2, 1); // the 128-pixel picture centred
    EXPECT_NEAR(s.OffsetY + 64, view.height() / 2, 1);
    v.form->SpeedButton1Click();
    const QImage shot = v.form->PaintBox1->grab().toImage();
    EXPECT_EQ(s.Zoom, 400);
    EXPECT_EQ(Grey(shot, view.width() / 2, view.height() / 2), 90);
    EXPECT_EQ(Grey(shot, view.width() / 2 - 70, view.height() / 2), 0);
}

TEST(ViewerDisplay, FramesOfOtherSizesAreCentredOnTheFirstFramesCentre)
{
    CaseFolder folder;
    TiffOfSizes(folder.File("pages.tif"), {QSize(40, 20), QSize(20, 10), QSize(60, 30)}, {100, 200, 150});
    Viewer v;
    v.form->OpenCase(folder.Path());
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_EQ(v.form->Model.Stacks.size(), 1u);
    TStack& s = *v.form->Model.Stacks[0];
    ASSERT_EQ(s.FrameList.size(), 3u);
    s.OffsetX += 17; // panned: the point moves with it
    s.OffsetY -= 9;
    const int w0 = 40 * s.Zoom / 100, h0 = 20 * s.Zoom / 100;
    const QPoint centre(s.OffsetX + w0 / 2, s.OffsetY + h0 / 2);
    v.form->TrackBar1->SetPosition(1);
    QImage shot = v.form->PaintBox1->grab().toImage();
    EXPECT_EQ(Grey(shot, centre.x(), centre.y()), 200);
    const int w1 = 20 * s.Zoom / 100;
    EXPECT_EQ(Grey(shot, centre.x() - w1 / 2 - 4, centre.y()), 0); // black beside the smaller frame
    EXPECT_EQ(Grey(shot, centre.x() + w1 / 2 + 4, centre.y()), 0);
    v.form->TrackBar1->SetPosition(2);
    shot = v.form->PaintBox1->grab().toImage();
    EXPECT_EQ(Grey(shot, centre.x(), centre.y()), 150);
    EXPECT_EQ(Grey(shot, centre.x() - w0 / 2 - 4, centre.y()), 150); // the larger frame reaches beyond
}

TEST(ViewerDisplay, ASeriesChosenBeforeItsStackExistsShowsNothingOfTheLastOne)
{
    CaseFolder folder;
    std::vector<uint8_t> values(120, 60);
    folder.Multi("a.dcm", values);
    ImageSpec other;
    other.value = 220;
    other.patient = "ROE^RICHARD";
    other.seriesUid = "9.8.7";
    other.instance = "1";
    folder.Single("b.dcm", other);
    Viewer v;
    v.form->OpenCase(folder.Path());
    const QDeadlineTimer deadline(60000);
    // Each pass serves the loader's one waiting call: series A is caught early.
    while ((v.form->Model.Stacks.empty() || v.form->Model.Stacks[0]->FrameList.size() < 2) && !deadline.hasExpired())
        QCoreApplication::processEvents();
    ASSERT_EQ(v.form->Model.Stacks.size(), 1u);
    ASSERT_EQ(v.form->PatientName->text(), "DOE^JANE");
    ASSERT_FALSE(v.form->SeriesButtons[1]->isHidden());
    v.form->SeriesButtons[1]->SetChecked(true); // as the wheel does, before B exists
    EXPECT_EQ(v.form->ShownSeries, 1);
    EXPECT_EQ(v.form->PatientName->text(), "");
    EXPECT_EQ(v.form->StudyDescription->text(), "");
    EXPECT_EQ(v.form->Label5->text(), "0");
    EXPECT_EQ(v.form->TrackBar1->Max(), 0);
    EXPECT_EQ(v.form->Model.ShownFrames, nullptr);
    const QImage black = v.form->PaintBox1->grab().toImage();
    EXPECT_EQ(Grey(black, black.width() / 2, black.height() / 2), 0);
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_EQ(v.form->Model.Stacks.size(), 2u);
    EXPECT_EQ(v.form->PatientName->text().trimmed(), "ROE^RICHARD"); // then B shows when it comes
    EXPECT_EQ(v.form->Label5->text(), "1");
    const QImage shown = v.form->PaintBox1->grab().toImage();
    EXPECT_EQ(Grey(shown, shown.width() / 2, shown.height() / 2), 220);
}

TEST(ViewerDisplay, AResizedWindowReFitsAStackStillAtItsFitAndADoubleClickReFits)
{
    CaseFolder folder;
    Sized(folder, "ct.dcm", 256, 256, 120);
    Viewer v;
    v.form->OpenCase(folder.Path());
    ASSERT_TRUE(v.WaitLoaded());
    TStack& s = *v.form->Model.Stacks[0];
    const auto fitFor = [](int viewHeight) {
        int z = viewHeight * 100 / 256;
        z -= z % 10;
        return z >= 90 && z <= 110 ? 100 : std::max(z, 50);
    };
    EXPECT_EQ(s.Zoom, fitFor(v.form->PaintBox1->height()));
    // Larger, smaller again (as when un-maximised), then wider but lower.
    QSize view;
    for (const QSize size : {QSize(1200, 900), QSize(900, 600), QSize(1100, 580)}) {
        v.form->resize(size);
        view = v.form->PaintBox1->size();
        EXPECT_EQ(s.Zoom, fitFor(view.height())) << size.width() << "x" << size.height();
        EXPECT_EQ(s.OffsetX, (view.width() - 256 * s.Zoom / 100) / 2);
        EXPECT_EQ(s.OffsetY, (view.height() - 256 * s.Zoom / 100) / 2);
        EXPECT_EQ(v.form->TrackBar3->Position(), s.Zoom);
    }

    // Moved by the user: a larger window leaves it where it is.
    QTest::mousePress(v.form->PaintBox1, Qt::LeftButton, {}, QPoint(300, 300));
    QTest::mouseMove(v.form->PaintBox1, QPoint(340, 310));
    QTest::mouseRelease(v.form->PaintBox1, Qt::LeftButton, {}, QPoint(340, 310));
    const int zoom = s.Zoom, x = s.OffsetX, y = s.OffsetY;
    v.form->resize(1300, 1000);
    EXPECT_EQ(s.Zoom, zoom);
    EXPECT_EQ(s.OffsetX, x);
    EXPECT_EQ(s.OffsetY, y);

    QTest::mouseDClick(v.form->PaintBox1, Qt::LeftButton, {}, QPoint(200, 200));
    view = v.form->PaintBox1->size();
    EXPECT_EQ(s.Zoom, fitFor(view.height()));
    EXPECT_EQ(s.OffsetX, (view.width() - 256 * s.Zoom / 100) / 2);
    EXPECT_EQ(s.OffsetY, (view.height() - 256 * s.Zoom / 100) / 2);
}

// ---- the program ----

#ifdef CALDRIS_PROGRAM
TEST(ViewerProgram, ASecondStartEndsAtOnceWhileTheFirstRuns)
{
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(CALDRIS_PROGRAM, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    const QString lock = QDir(runtime.path()).filePath(QString("Caldris-%1.lock").arg(::getuid()));
    const QDeadlineTimer ready(30000);
    while (!QFileInfo::exists(lock) && !ready.hasExpired())
        first.waitForFinished(50);
    ASSERT_TRUE(QFileInfo::exists(lock));
    first.waitForFinished(500); // let its server start listening

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(CALDRIS_PROGRAM, {});
    EXPECT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished(10000);
}
#endif
