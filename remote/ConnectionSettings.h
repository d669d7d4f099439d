#pragma once
// What a connection to the case server needs. The download manager's own
// connection holds the program's copy; the workers copy it on the
// user-interface thread into connections of their own.
// Threads: a plain value; whoever holds a copy uses it on its own thread.
#include <string>

class TProfile;

struct ConnectionSettings {
    static constexpr const char* DefaultHost = "192.0.2.10"; // must be configured per centre
    static constexpr int DefaultPort = 21;
    static constexpr bool DefaultPassive = true;
    static constexpr const char* DefaultRoot = "/referring";

    std::string Host = DefaultHost;
    int Port = DefaultPort;
    bool Passive = DefaultPassive;
    std::string User;     // UTF-8, as sent after USER
    std::string Password; // UTF-8, as sent after PASS; empty when none is held

    // "Host", "Port", "Passive" and "User" of section "FTP"; the password
    // is left as it is. User-interface thread.
    void ReadFrom(const TProfile& profile);
    // "Root" of section "FTP", read at the start of every listing.
    static std::string ReadRoot(const TProfile& profile);
};
