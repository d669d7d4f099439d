#pragma once
// Bitmaps of the skinned controls, from the program's resources.
// UI thread only.
#include <QPixmap>
#include <QString>

// The resource bitmap name (":/skin/BALL", ":/Logo", ...) with every pixel
// of the colour of its bottom-left pixel made transparent. A missing
// resource gives a null pixmap.
QPixmap LoadSkinBitmap(const QString& resource);
