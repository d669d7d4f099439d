// Start-up and shutdown: one instance per user, the splash on top while the
// main window is built, the message loop, then the main window is taken
// down (its loader stopped, the download worker ended) and the token freed.
#include "Program.h"
#include "StartFolder.h"
#include "SupportLog.h"
#include "TAboutBox.h"
#include "TApplication.h"
#include "TDicomWindowAdapter.h"
#include "TDownloadManagerPane.h"
#include "TForm1.h"
#include "TJpegGraphic.h"
#include "TLoaderControl.h"
#include "TSingleInstance.h"
#include "TTiffGraphic.h"

#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const char* kUsage = "usage: caldris [--verbose] [FOLDER]\n"
                     "\n"
                     "Caldris, the case viewer of the imaging centre's referring physicians.\n"
                     "Without a folder it starts with the download manager; with a case folder it\n"
                     "opens that case, in the viewer that already runs if there is one.\n"
                     "\n"
                     "Settings: /etc/caldris/CALDRIS.INI (the server, read-only), overridden by\n"
                     "$XDG_CONFIG_HOME/caldris/CALDRIS.INI (yours); CALDRIS_INI names one file for both.\n"
                     "Cases are cached in $XDG_CACHE_HOME/caldris/USER/.\n"
                     "\n"
                     "  --verbose  log the FTP commands and replies (passwords masked), the workers\n"
                     "             and the case loader on stderr (also CALDRIS_DEBUG=1)\n"
                     "  --help     show this text\n"
                     "  --version  show the version\n";

} // namespace

int main(int argc, char** argv)
{
    if (SupportLog::Wanted(argc, argv))
        SupportLog::Enable();
    // Answered without any window.
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts(kFullTitle);
        return 0;
    }
    if (argc > 1 && argv[1][0] == '-') {
        std::fprintf(stderr, "caldris: unknown option %s\n%s", argv[1], kUsage);
        return 2;
    }
    if (argc > 1) {
        const QString problem = CaseFolderProblem(QString::fromLocal8Bit(argv[1]));
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "caldris: %s\n", problem.toLocal8Bit().constData());
            if (DesktopDisplayAvailable()) {
                QApplication app(argc, argv);
                QMessageBox::critical(nullptr, kShortTitle, problem);
            }
            return 2;
        }
    }
    RegisterJpegGraphic();
    RegisterTiffGraphic();
    TApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(":/Icon"));
    QGuiApplication::setDesktopFileName("caldris");
    QString folder;
    if (argc > 1) {
        folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
        if (!folder.endsWith('/'))
            folder += '/';
    }
    TSingleInstance instance;
    if (instance.Acquire(folder) == TSingleInstance::AlreadyRunning)
        return 0; // the running instance has the folder and has been asked to come forward
    // A folder handed over before the main window exists waits for it.
    TForm1* mainWindow = nullptr;
    std::string handedFolder;
    instance.OnOpenFolder = [&](const QString& handed) {
        if (mainWindow)
            mainWindow->OpenFolder(handed.toStdString());
        else
            handedFolder = handed.toStdString();
    };

    // The splash: on top, not modal, on screen before the main window is built.
    QPointer<TAboutBox> splash = new TAboutBox();
    splash->ShowSplash();

    try {
        SetApplicationTitle(kShortTitle);
        app.setQuitOnLastWindowClosed(false);
        TDicomWindowAdapter windows;
        TLoaderControl loaders;
        auto form = std::make_unique<TForm1>(windows, loaders,
                                             [](QWidget* parent) { return new TDownloadManagerPane(parent); });
        form->OnFormClose = [] { QCoreApplication::quit(); };
        form->StartFolder = handedFolder.empty() ? folder.toStdString() : handedFolder;
        mainWindow = form.get();
        form->showMaximized();
        if (splash)
            splash->raise();
        app.exec();
        mainWindow = nullptr;
        form.reset();
    } catch (...) {
        TApplication::HandleException();
    }
    delete splash.data();
    // The ended loader frees itself through the event queue.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    instance.Release();
    return 0;
}
