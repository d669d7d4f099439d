// Start-up and shutdown: one instance per user, the splash on top while the
// main window is built, the message loop, then the main window is taken
// down (its loader stopped, the download worker ended) and the token freed.
#include "Program.h"
#include "TAboutBox.h"
#include "TApplication.h"
#include "TDicomWindowAdapter.h"
#include "TDownloadPlaceholder.h"
#include "TForm1.h"
#include "TLoaderControl.h"
#include "TSingleInstance.h"

#include <QDir>
#include <QPointer>

#include <memory>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TSingleInstance instance;
    if (instance.Acquire() == TSingleInstance::AlreadyRunning)
        return 0; // the running instance has been asked to come forward

    // The splash: on top, not modal, painted at once.
    QPointer<TAboutBox> splash = new TAboutBox();
    splash->ShowSplash();

    try {
        SetApplicationTitle(kShortTitle);
        app.setQuitOnLastWindowClosed(false);
        TDicomWindowAdapter windows;
        TLoaderControl loaders;
        auto form = std::make_unique<TForm1>(windows, loaders,
                                             [](QWidget* parent) { return new TDownloadPlaceholder(parent); });
        form->OnFormClose = [] { QCoreApplication::quit(); };
        if (argc > 1) {
            QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
            if (!folder.endsWith('/'))
                folder += '/';
            form->StartFolder = folder.toStdString();
        }
        form->showMaximized();
        if (splash)
            splash->raise();
        app.exec();
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
