// caldris-flow-shots OUTDIR
// Walks the way a new user goes, on the case server that CALDRIS_INI names
// (flow-shots.sh starts the demo server): the login dialog with the demo
// user, the download manager while a case downloads, and the downloaded case
// in the viewer. Saves a screenshot of the screen at each step. Meant for a
// virtual X server.
#include "CaseRow.h"
#include "Program.h"
#include "TApplication.h"
#include "TDicomWindowAdapter.h"
#include "TDownloadManagerPane.h"
#include "TForm1.h"
#include "TJpegGraphic.h"
#include "TLoaderControl.h"
#include "TLoginDlg.h"
#include "ToolOptions.h"
#include "TProfile.h"
#include "TTiffGraphic.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>

// Leaks inside the toolkit's PDF view and the desktop bus library; sanitizer
// builds of this tool stay quiet about them.
extern "C" const char* __lsan_default_suppressions() { return "leak:QPdfView::QPdfView\nleak:QPdfDocumentPrivate\nleak:libdbus-1.so\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

QString g_out;

void Wait(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Shoot(const char* name)
{
    Wait(300);
    const QString path = QDir(g_out).filePath(name);
    const bool ok = QGuiApplication::primaryScreen()->grabWindow(0).save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "cannot write", qPrintable(path));
    std::fflush(stdout);
}

// The real login dialog, typed into as the user would.
class TypedLogin : public TLoginDlg {
public:
    TypedLogin(const TProfile& profile, QWidget* parent) : TLoginDlg(profile, parent) {}
    bool Execute() override
    {
        QTimer::singleShot(600, this, [this] {
            UserName->setCurrentText("demo");
            Password->setText("caldris");
            Shoot("1-login.png");
            OkClick();
        });
        return TLoginDlg::Execute();
    }
};

} // namespace

int main(int argc, char** argv)
{
    RegisterJpegGraphic();
    RegisterTiffGraphic();
    const char* usage = "usage: caldris-flow-shots OUTDIR\n"
                        "Walks login, download and viewing on the demo server (run by flow-shots.sh).\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    TApplication app(argc, argv);
    if (argc != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    SetApplicationTitle(kFullTitle);
    TDicomWindowAdapter windows;
    TLoaderControl loaders;
    TDownloadManagerPane* pane = nullptr;
    const TProfile profile = TProfile::Default();
    std::unique_ptr<TForm1> form;
    form = std::make_unique<TForm1>(windows, loaders, [&](QWidget* parent) {
        pane = new TDownloadManagerPane(parent);
        pane->DialogFactory = [&] { return std::unique_ptr<ILoginDialog>(new TypedLogin(profile, form.get())); };
        return pane;
    });
    form->showMaximized();
    Wait(500);
    form->Image3Click(); // the download manager: login, then the catalogue
    // The listing has ended when the status line counts the items.
    if (!WaitFor([&] { return pane->Catalogue.StatusText().find(" items") != std::string::npos &&
                              pane->Catalogue.List.Count() > 0; }, 30000)) {
        std::fprintf(stderr, "caldris-flow-shots: the catalogue stayed empty\n");
        return 1;
    }
    // The largest case downloads long enough to be seen in progress.
    CaseRow* row = nullptr;
    for (int i = 0; i < pane->Catalogue.List.Count(); ++i)
        if (pane->Catalogue.List.Row(i)->SubItems[riStudy].find("MR") != std::string::npos)
            row = pane->Catalogue.List.Row(i);
    if (!row)
        row = pane->Catalogue.List.Row(0);
    pane->SelectRow(row);
    pane->SelectAll1Click();
    WaitFor([&] { return row->RowLight == rlDownloading || row->RowLight == rlLocal; }, 20000);
    Shoot("2-download-manager.png");
    if (!WaitFor([&] { return pane->Catalogue.Queue.Empty(); }, 120000)) {
        std::fprintf(stderr, "caldris-flow-shots: the downloads did not finish\n");
        return 1;
    }
    Shoot("3-downloaded.png");
    pane->SelectRow(row);
    pane->ListView1DblClick(); // a Local case opens in the viewer
    WaitFor([&] { return !form->Model.Stacks.empty() && form->Model.ActiveLoader == nullptr; }, 60000);
    Shoot("4-viewed-case.png");
    form->close();
    form.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
