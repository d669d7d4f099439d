// Plays a running viewer for the single-instance tests:
//   instance_probe FOLDER BASE main|splash
// Takes the token, shows a minimised window titled like the main window
// ("main") or only a splash-like window ("splash"), prints READY, prints
// "OPEN folder" for a folder a later start hands over, and on its request to
// come forward prints "RAISED n minimized=0|1" and ends.
#include "Program.h"
#include "TSingleInstance.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 4)
        return 2;
    TSingleInstance instance(argv[2], argv[1]);
    if (instance.Acquire() != TSingleInstance::First) {
        std::printf("NOT FIRST\n");
        return 1;
    }
    QWidget window;
    const bool main = QString(argv[3]) == "main";
    window.setWindowTitle(main ? "CALDRIS version 1.5" : "About Caldris");
    window.resize(200, 100);
    if (main)
        window.showMinimized();
    else
        window.show();
    instance.OnOpenFolder = [](const QString& folder) {
        std::printf("OPEN %s\n", qPrintable(folder));
        std::fflush(stdout);
    };
    instance.OnRestored = [&](int raised) {
        std::printf("RAISED %d minimized=%d\n", raised, window.isMinimized() ? 1 : 0);
        std::fflush(stdout);
        QCoreApplication::quit();
    };
    QTimer::singleShot(20000, &app, [] { QCoreApplication::exit(3); });
    std::printf("READY\n");
    std::fflush(stdout);
    return app.exec();
}
