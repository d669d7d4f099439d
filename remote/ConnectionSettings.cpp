#include "ConnectionSettings.h"

#include "EProfileError.h"
#include "TProfile.h"

#include <algorithm>
#include <cstring>
#include <sys/prctl.h>

namespace {

// A switch that guards the password: a value that is neither a clear yes nor
// a clear no stops the login rather than guessing (a guess could send the
// password in clear text).
bool ReadSwitch(const TProfile& profile, const QString& key, bool defaultValue)
{
    static const QStringList On{"yes", "true", "on", "1"};
    static const QStringList Off{"no", "false", "off", "0"};
    const QString missing = QStringLiteral("\n"); // no line of the file can hold it
    const QString text = profile.ReadString("FTP", key, missing);
    if (text == missing)
        return defaultValue;
    if (On.contains(text, Qt::CaseInsensitive))
        return true;
    if (Off.contains(text, Qt::CaseInsensitive))
        return false;
    throw EProfileError("The setting \"" + key.toStdString() + "\" of section \"FTP\" reads \"" +
                        text.toStdString() + "\"; it must be yes or no.");
}

} // namespace

void ConnectionSettings::ReadFrom(const TProfile& profile)
{
    Host = profile.ReadString("FTP", "Host", DefaultHost).toStdString();
    Port = profile.ReadInteger("FTP", "Port", DefaultPort);
    Passive = profile.ReadBool("FTP", "Passive", DefaultPassive);
    Tls = ReadSwitch(profile, "TLS", false) ? TlsMode::Required : TlsMode::None;
    CaFile = profile.ReadString("FTP", "CAFile", QString()).toStdString();
    Connections = std::clamp(profile.ReadInteger("FTP", "Connections", DefaultConnections), 1, MaxConnections);
    User = profile.ReadString("FTP", "User", QString()).toStdString();
}

void ConnectionSettings::ForgetPassword()
{
    ::explicit_bzero(Password.data(), Password.size());
    Password.clear();
}

void ConnectionSettings::HoldingPassword() { ::prctl(PR_SET_DUMPABLE, 0); }

std::string ConnectionSettings::ReadRoot(const TProfile& profile)
{
    return profile.ReadString("FTP", "Root", DefaultRoot).toStdString();
}
