// Shows the start-up splash under a real window system and reports how much
// of it the screen shows at the moment ShowSplash returns, before any event
// loop has run (as start-up then goes on to build the main window):
//   splash_probe   prints "MATCH n/m" over m sample points
#include "TAboutBox.h"
#include "TApplication.h"

#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    auto* splash = new TAboutBox();
    splash->ShowSplash();
    const QRect at = splash->geometry();
    const QImage screen =
        QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), at.width(), at.height()).toImage();
    const QImage drawn = splash->grab().toImage();
    int match = 0, samples = 0;
    for (int y = 10; y < at.height(); y += 40)
        for (int x = 10; x < at.width(); x += 40) {
            ++samples;
            const QColor a = screen.pixelColor(x, y), b = drawn.pixelColor(x, y);
            match += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 24;
        }
    std::printf("MATCH %d/%d\n", match, samples);
    delete splash;
    return 0;
}
