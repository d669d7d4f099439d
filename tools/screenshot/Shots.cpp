// caldris-shots OUTDIR [CASEFOLDER]
// Runs the viewer's start-up on a case folder (a generated demonstration
// case when none is given) and saves screenshots of the whole screen: the
// splash over the main window, the main window with a series, the PDF
// report, and the help window (at its start and at its state lights). Meant for a virtual X server (screenshot.sh).
#include "DemoCase.h"
#include "Program.h"
#include "TAboutBox.h"
#include "TApplication.h"
#include "TAquaRadio.h"
#include "TAquaSlider.h"
#include "TDicomWindowAdapter.h"
#include "TDownloadPlaceholder.h"
#include "TForm1.h"
#include "THelp.h"
#include "TLoaderControl.h"
#include "ToolOptions.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTemporaryDir>

#include <cstdio>

// The toolkit's PDF view and document loader, and the desktop bus library
// under the X platform, leak inside those libraries;
// sanitizer builds of this tool stay quiet about it.
extern "C" const char* __lsan_default_suppressions() { return "leak:QPdfView::QPdfView\nleak:QPdfDocumentPrivate\nleak:libdbus-1.so\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

void Wait(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Shoot(const QString& dir, const char* name)
{
    Wait(400);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString path = QDir(dir).filePath(name);
    const bool ok = shot.save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "cannot write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const char* usage = "usage: caldris-shots OUTDIR [CASEFOLDER]\n"
                        "Saves screenshots of the viewer (run by screenshot.sh under a virtual X server).\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    TApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fputs(usage, stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir demo;
    QString folder = argc == 3 ? QDir(QString::fromLocal8Bit(argv[2])).absolutePath() : demo.path();
    if (argc == 2)
        WriteDemoCase(folder.toStdString());
    if (!folder.endsWith('/'))
        folder += '/';

    QPointer<TAboutBox> splash = new TAboutBox();
    splash->ShowSplash();
    SetApplicationTitle(kShortTitle);
    TDicomWindowAdapter windows;
    TLoaderControl loaders;
    TForm1 form(windows, loaders, [](QWidget* parent) { return new TDownloadPlaceholder(parent); });
    form.StartFolder = folder.toStdString();
    // A bare virtual X server has no window manager to maximise the window.
    form.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    form.showMaximized();
    splash->raise();
    bool ok = Shoot(out, "splash.png");

    splash->OkBtnClick(); // 0x0400: the manager, then the command-line case
    Wait(200);
    const QDeadlineTimer loading(120000);
    while ((form.Model.ActiveLoader || form.Model.Stacks.empty()) && !loading.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::printf("series loaded: %zu\n", form.Model.Stacks.size());

    // The first image series, a few frames in.
    for (TAquaRadio* r : form.SeriesButtons) {
        const size_t tag = size_t(r->Tag);
        if (tag < form.Model.Stacks.size() && !form.Model.Stacks[tag]->FrameList.empty()) {
            r->SetChecked(true);
            break;
        }
    }
    form.TrackBar2->SetPosition(0);
    form.TrackBar1->SetPosition(form.TrackBar1->Max() / 2);
    ok = Shoot(out, "main.png") && ok;

    form.SeriesButtons[0]->SetChecked(true);
    ok = Shoot(out, "report.png") && ok;

    THelp help(&form);
    help.show();
    ok = Shoot(out, "help.png") && ok;
    // The guide's state lights, as the download manager shows them.
    help.RichEdit1->find("The state button");
    QTextCursor at = help.RichEdit1->textCursor();
    at.clearSelection();
    help.RichEdit1->setTextCursor(at);
    help.RichEdit1->verticalScrollBar()->setValue(help.RichEdit1->cursorRect().top() +
                                                  help.RichEdit1->verticalScrollBar()->value() - 8);
    ok = Shoot(out, "help-lights.png") && ok;
    help.close();

    form.close();
    delete splash.data();
    return ok ? 0 : 1;
}
