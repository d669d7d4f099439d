#include "ConnectionSettings.h"

#include "TProfile.h"

#include <algorithm>

void ConnectionSettings::ReadFrom(const TProfile& profile)
{
    Host = profile.ReadString("FTP", "Host", DefaultHost).toStdString();
    Port = profile.ReadInteger("FTP", "Port", DefaultPort);
    Passive = profile.ReadBool("FTP", "Passive", DefaultPassive);
    Tls = profile.ReadInteger("FTP", "TLS", 0) != 0 ? TlsMode::Required : TlsMode::None;
    CaFile = profile.ReadString("FTP", "CAFile", QString()).toStdString();
    Connections = std::clamp(profile.ReadInteger("FTP", "Connections", DefaultConnections), 1, MaxConnections);
    User = profile.ReadString("FTP", "User", QString()).toStdString();
}

std::string ConnectionSettings::ReadRoot(const TProfile& profile)
{
    return profile.ReadString("FTP", "Root", DefaultRoot).toStdString();
}
