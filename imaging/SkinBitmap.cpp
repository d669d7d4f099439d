#include "SkinBitmap.h"

#include <QImage>

// Static libraries register their resources explicitly; outside any namespace.
static void InitSkinResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    (void)done;
}

QPixmap LoadSkinBitmap(const QString& resource)
{
    InitSkinResources();
    QImage image(resource);
    if (image.isNull())
        return QPixmap();
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == key)
                line[x] = 0;
    }
    return QPixmap::fromImage(image);
}
