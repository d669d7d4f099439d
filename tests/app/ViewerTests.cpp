// The main window with the real case loader, and the viewer program itself:
// case folders on disk, opening a case while another loads, closing the
// window during a load, and two starts of the program.
#include "CaseFolder.h"
#include "TAquaRadio.h"
#include "TDicomWindowAdapter.h"
#include "TDownloadPlaceholder.h"
#include "TForm1.h"
#include "TLoaderControl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

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
    EXPECT_EQ(v.form->PatientName->text(), ""); // series A is the report
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
