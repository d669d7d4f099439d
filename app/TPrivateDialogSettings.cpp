#include "TPrivateDialogSettings.h"

#include <QSettings>
#include <QStandardPaths>

TPrivateDialogSettings::TPrivateDialogSettings()
{
    // Without a private folder the settings have nowhere harmless to go:
    // a path that cannot be created makes their writes fail quietly.
    const QString path = m_folder.isValid() ? m_folder.path() : QStringLiteral("/nonexistent/caldris");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
}

TPrivateDialogSettings::~TPrivateDialogSettings()
{
    // Back to the toolkit's default for the user's settings.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
}
