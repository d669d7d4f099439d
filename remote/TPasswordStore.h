#pragma once
// Remembered passwords: kept in the desktop keyring (Secret Service, through
// QtKeychain) under the case server and the user name; section "Users" of the
// settings file keeps only the name, with an empty value. Where no keyring
// exists (no session bus, headless), the password goes into section
// "Passwords" of the user's private settings file instead, under the same
// entry name as in the keyring, so that it is only ever offered to the server
// it was sent to. A keyring that exists but refuses or does not answer (a
// locked one) keeps nothing, and nothing moves into the file in its place.
//
// Threads: user-interface thread; each keyring call waits in a local event
// loop that handles no user input.
#include "TProfile.h"

#include <QString>

#include <optional>
#include <string>

class TPasswordStore {
public:
    enum class TKeyring { Answers, Missing, Refuses };

    // server: the case server's host and port, as the connection uses them.
    TPasswordStore(TProfile profile, const std::string& host, int port);

    // The keyring's password of the user on this server, else the file's
    // entry for it; a password an older version kept under the bare user
    // name only while the user's own file names the server. Empty when none.
    QString Read(const QString& user) const;
    // Keeps the user's name in "Users" and remembers the password, or, when
    // it is empty, forgets any remembered one. False when the keyring
    // refused it (then it is kept nowhere). Raises EProfileError when the
    // settings file cannot be written.
    bool Remember(const QString& user, const QString& password);

    // Asks the keyring once, if no call has yet; Keyring() afterwards.
    TKeyring Probe() const;
    // What the keyring calls of this program run found (Answers until one fails).
    static TKeyring Keyring();
    static bool KeyringAnswers() { return Keyring() == TKeyring::Answers; }
    // The notes for the login dialog when no keyring exists, or one refuses.
    static const QString FallbackNote;
    static const QString RefusedNote;
    // The entry name of a user on this server, in the keyring and the file:
    // ftp://USER@HOST:PORT, the user and host percent-encoded (every byte
    // but letters, digits and "-._~"; the host in lower case), so that two
    // users or servers never share an entry.
    QString EntryKey(const QString& user) const;

private:
    // The keyring's password of an entry; none when it has none or no keyring answers.
    std::optional<QString> FromKeyring(const QString& key) const;
    // Sets the file's entry for key, writing only when it changes.
    void SetFileEntry(const QString& key, const QString& password);

    TProfile m_profile;
    std::string m_host;
    int m_port;
};
