#include "SeriesExport.h"

#include "TFileStream.h"
#include "TTiffGraphic.h"

#include <QGuiApplication>
#include <QScreen>

#include <cctype>
#include <cmath>

bool IsTiffExportName(const std::string& fileName)
{
    // The extension is the part from the last dot of the file-name part on.
    const size_t dot = fileName.find_last_of('.');
    const size_t slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string ext = fileName.substr(dot);
    for (char& c : ext)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".TIF";
}

void ExportSeries(const std::vector<TDibGraphic*>& images, const std::string& source, const std::string& fileName,
                  const TSplitDicom& splitDicom, uint16_t dpi)
{
    if (!IsTiffExportName(fileName)) {
        splitDicom(source, fileName);
        return;
    }
    TTiffGraphic tiff;
    TFileStream file(fileName, fmCreate);
    const size_t count = images.size(); // taken once: the loader may still be adding images
    for (size_t i = 0; i < count; ++i) {
        tiff.Assign(images[i]);
        tiff.SetXDotsPerInch(dpi);
        tiff.SetYDotsPerInch(dpi);
        tiff.SetCompression(tcPackBits);
        tiff.AppendToStream(file);
    }
}

uint16_t ScreenLogicalDpi()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return 96;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 96;
    const double dpi = std::nearbyint(screen->logicalDotsPerInch());
    return dpi >= 1 && dpi <= 65535 ? uint16_t(dpi) : 96;
}
