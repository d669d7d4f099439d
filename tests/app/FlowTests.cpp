// The whole flow in one window: the Save command of the shown series, and a
// real case server from login to a downloaded case shown in the view.
#include "CaseFolder.h"
#include "FtpServer.h"
#include "ILoginDialog.h"
#include "ScopedEnv.h"
#include "TApplication.h"
#include "TClickImage.h"
#include "TDicomWindowAdapter.h"
#include "TDownloadManagerPane.h"
#include "TDownloadPlaceholder.h"
#include "TFileStream.h"
#include "TForm1.h"
#include "TLoaderControl.h"
#include "TPaintBox.h"
#include "TTiffGraphic.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 30000)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct Window {
    TDicomWindowAdapter windows;
    TLoaderControl loaders;
    TDownloadManagerPane* pane = nullptr;
    std::unique_ptr<TForm1> form;
    explicit Window(bool realManager)
    {
        form = std::make_unique<TForm1>(windows, loaders, [this, realManager](QWidget* parent) -> IDownloadManager* {
            if (!realManager)
                return new TDownloadPlaceholder(parent);
            return pane = new TDownloadManagerPane(parent);
        });
        form->resize(1000, 700);
        form->show();
        QCoreApplication::processEvents();
    }
    ~Window()
    {
        form.reset();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    bool Open(const std::string& folder)
    {
        form->OpenCase(folder);
        return WaitFor([&] { return form->Model.ActiveLoader == nullptr; });
    }
};

int TiffPages(const std::string& path)
{
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    return TTiffGraphic().GetImageCount(file);
}

} // namespace

TEST(SaveCommand, TiffOrDicomByTheChosenExtension)
{
    CaseFolder folder;
    folder.Multi("multi.dcm", {10, 20, 30});
    QTemporaryDir out;
    Window w(false);
    ASSERT_TRUE(w.Open(folder.Path()));
    ASSERT_EQ(w.form->Model.Stacks.size(), 1u);
    QString proposed;
    QString answer;
    w.form->AskSaveName = [&](QWidget*, const QString&, const QString& p) {
        proposed = p;
        return answer;
    };

    answer = ""; // cancelled: nothing is written
    w.form->SpeedButton7Click();
    EXPECT_EQ(proposed, "multi.TIF");
    EXPECT_TRUE(QDir(out.path()).isEmpty());

    answer = out.filePath("x.tif");
    w.form->SpeedButton7Click();
    EXPECT_EQ(TiffPages(answer.toStdString()), 3);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    answer = out.filePath("x.tiff");
    w.form->SpeedButton7Click();
    EXPECT_FALSE(QFileInfo::exists(answer));
    for (const char* name : {"x-0001.tiff", "x-0002.tiff", "x-0003.tiff"})
        EXPECT_TRUE(QFileInfo::exists(out.filePath(name))) << name;
}

TEST(SaveCommand, ASeriesOfSingleFilesSavesCopiesAndAFailureReachesTheExceptionDisplay)
{
    CaseFolder folder;
    for (int i = 0; i < 2; ++i) {
        ImageSpec image;
        image.value = uint8_t(50 + i);
        image.instance = std::to_string(i + 1);
        folder.Single("s" + std::to_string(i) + ".dcm", image);
    }
    QTemporaryDir out;
    Window w(false);
    ASSERT_TRUE(w.Open(folder.Path()));
    w.form->AskSaveName = [&](QWidget*, const QString&, const QString&) { return out.filePath("y.DCM"); };
    QString shown;
    auto previous = TApplication::ShowException;
    TApplication::ShowException = [&](const QString& message) { shown = message; };
    // Through the save icon, as the user clicks it: copies of the files.
    QTest::mouseClick(w.form->Image17, Qt::LeftButton);
    EXPECT_TRUE(shown.isEmpty()) << shown.toStdString();
    for (int i = 0; i < 2; ++i) {
        QFile copy(out.filePath(QString("y-000%1.DCM").arg(i + 1))), source(QString::fromStdString(folder.File("s" + std::to_string(i) + ".dcm")));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), source.readAll()) << i;
    }
    // A failure reaches the exception reporting and the window stays usable.
    w.form->AskSaveName = [&](QWidget*, const QString&, const QString&) { return out.filePath("no/such/y.DCM"); };
    QTest::mouseClick(w.form->Image17, Qt::LeftButton);
    TApplication::ShowException = previous;
    EXPECT_TRUE(shown.startsWith("Cannot create file")) << shown.toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(w.form->isVisible());
    w.form->AskSaveName = [&](QWidget*, const QString&, const QString&) { return out.filePath("y.tif"); };
    w.form->SpeedButton7Click();
    EXPECT_EQ(TiffPages(out.filePath("y.tif").toStdString()), 2);
}

namespace {

class ScriptedLogin : public ILoginDialog {
public:
    bool Execute() override { return true; }
    QString UserNameText() const override { return "doc"; }
    QString PasswordText() const override { return "pw"; }
    bool RememberChecked() const override { return false; }
};

} // namespace

TEST(WholeFlow, LoginListDownloadAndView)
{
    FtpServer server;
    DicomWriter image;
    CaseFolder::Header(image, ImageSpec{});
    CaseFolder::Image(image, 180, 64, 64);
    server.AddFile("referring/grp/Doe^Jane!77/Head CT!2004.05.17/img1.dcm", image.Data());
    server.AddFile("referring/grp/Doe^Jane!77/Head CT!2004.05.17/img2.dcm", image.Data());
    server.Start({"--user", "doc:pw"});
    QTemporaryDir tmp;
    const QString ini = tmp.filePath("CALDRIS.INI");
    std::ofstream(ini.toStdString()) << "[FTP]\nHost=127.0.0.1\nPort=" << server.Port()
                                     << "\nPassive=1\nUser=doc\nRoot=/referring\n";
    const ScopedEnv settings("CALDRIS_INI", ini);
    const ScopedEnv cache("XDG_CACHE_HOME", tmp.filePath("cache"));
    {
        Window w(true);
        ASSERT_NE(w.pane, nullptr);
        w.pane->DialogFactory = [] { return std::unique_ptr<ILoginDialog>(new ScriptedLogin()); };
        QStringList messages;
        w.pane->Message = [&](const QString& m) { messages << m; };
        w.pane->FetchIdleSleepMs = 50;

        w.form->Image3Click(); // first use: login, header, listing
        EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
        EXPECT_EQ(w.form->Panel12->text(), " 127.0.0.1");
        EXPECT_TRUE(w.form->ManagerShown());
        const std::string key = "grp\\Doe^Jane!77\\Head CT!2004.05.17";
        ASSERT_TRUE(WaitFor([&] { return w.pane->Catalogue.List.FindRow(key) != nullptr; }));
        CaseRow* row = w.pane->Catalogue.List.FindRow(key);
        EXPECT_EQ(row->Caption, "Doe^Jane");

        w.pane->SelectRow(row);
        w.pane->ListView1DblClick(); // Remote: queued
        ASSERT_TRUE(WaitFor([&] { return row->RowLight == rlLocal && row->RowMark == rmNone; }));
        EXPECT_TRUE(row->SubItems[riTransfer].rfind("Completed in", 0) == 0);

        w.pane->ListView1DblClick(); // Local: view
        ASSERT_TRUE(WaitFor([&] { return !w.form->Model.Stacks.empty() && w.form->Model.ActiveLoader == nullptr; }));
        ASSERT_EQ(w.form->Model.Stacks.size(), 1u);
        EXPECT_EQ(w.form->Model.Stacks[0]->FrameList.size(), 2u);
        EXPECT_FALSE(w.form->ManagerShown());
        const QImage shown = w.form->PaintBox1->grab().toImage();
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(qGray(shown.pixel(shown.width() / 2, shown.height() / 2)), 180);
    }
}

TEST(ProgramOptions, HelpAndVersionPrintAndExitWithoutAWindow)
{
    for (const char* option : {"--help", "--version", "--bogus", "/no/such/case/folder"}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "none-such"); // a window would need a platform plugin
        p.setProcessEnvironment(env);
        p.start(CALDRIS_PROGRAM, {option});
        ASSERT_TRUE(p.waitForFinished(20000)) << option;
        const QByteArray out = p.readAllStandardOutput() + p.readAllStandardError();
        if (QByteArray(option) == "--help") {
            EXPECT_EQ(p.exitCode(), 0);
            EXPECT_TRUE(out.contains("usage: caldris [--verbose] [FOLDER]"));
        } else if (QByteArray(option) == "--version") {
            EXPECT_EQ(p.exitCode(), 0);
            EXPECT_EQ(out.trimmed(), "Caldris Version 1.5");
        } else {
            EXPECT_EQ(p.exitCode(), 2) << option;
        }
    }
    // --verbose is an option of its own, not a folder name, wherever it stands.
    QProcess p;
    p.start(CALDRIS_PROGRAM, {"--verbose", "--version"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput().trimmed(), "Caldris Version 1.5");
}
