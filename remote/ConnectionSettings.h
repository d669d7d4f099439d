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
    // "Connections": how many connections a download or a listing uses at
    // once; 1 fetches file after file, and walks folder after folder, over
    // one connection.
    static constexpr int DefaultConnections = 4;
    static constexpr int MaxConnections = 16;

    // "TLS" of section "FTP": yes, true, on or 1 explicit TLS (AUTH TLS,
    // protected data connections, the server's certificate verified against
    // the system's store or CaFile); no, false, off or 0 (or no key) plain
    // FTP; any other value is a settings error, never plain FTP.
    enum class TlsMode { None = 0, Required = 1 };

    std::string Host = DefaultHost;
    int Port = DefaultPort;
    bool Passive = DefaultPassive;
    std::string User;     // UTF-8, as sent after USER
    std::string Password; // UTF-8, as sent after PASS; empty when none is held
    TlsMode Tls = TlsMode::None;
    std::string CaFile;   // "CAFile": certificates to verify against; empty: the system's store
    int Connections = DefaultConnections; // 1 to MaxConnections

    // "Host", "Port", "Passive", "TLS", "CAFile", "Connections" and "User"
    // of section "FTP"; the password is left as it is. Raises EProfileError
    // for a "TLS" value that is no clear yes or no, and for a settings file
    // that is refused (TProfile). User-interface thread.
    void ReadFrom(const TProfile& profile);
    // Overwrites the held password before letting it go.
    void ForgetPassword();
    // Called when the process comes to hold a password: from then on, for
    // the rest of the run, it leaves no core dump and cannot be attached to
    // by another process of the same user.
    static void HoldingPassword();

    // "Root" of section "FTP", read at the start of every listing.
    static std::string ReadRoot(const TProfile& profile);
};
