#include "StartFolder.h"

#include <QFileInfo>

QString CaseFolderProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("The case folder \"%1\" does not exist.").arg(folder);
    if (!info.isDir())
        return QStringLiteral("\"%1\" is not a case folder.").arg(folder);
    // Listing a folder needs read access, opening its files search access.
    if (!info.isReadable() || !info.isExecutable())
        return QStringLiteral("The case folder \"%1\" cannot be read.").arg(folder);
    return QString();
}

bool DesktopDisplayAvailable()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty())
        return x11 || wayland;
    if (platform.startsWith(QLatin1String("xcb")))
        return x11;
    if (platform.startsWith(QLatin1String("wayland")))
        return wayland;
    return false;
}
