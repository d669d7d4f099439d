#pragma once
// Remembered passwords: kept in the desktop keyring (Secret Service, through
// QtKeychain) under the case server and the user name; section "Users" of the
// settings file keeps only the name, with an empty value. Where no keyring
// answers (no session bus, headless), the password goes into the user's
// private settings file instead, and KeyringAnswers() says so.
//
// Threads: user-interface thread; each keyring call waits in a local event
// loop that handles no user input.
#include "TProfile.h"

#include <QString>

#include <optional>
#include <string>

class TPasswordStore {
public:
    // server: the case server's host and port, as the connection uses them.
    TPasswordStore(TProfile profile, const std::string& host, int port);

    // The keyring's password for the user, else the file's value (one kept
    // there while no keyring answered, or by an older version); empty when none.
    QString Read(const QString& user) const;
    // Keeps the user's name in "Users" and remembers the password, or, when it
    // is empty, forgets any remembered one. Raises EProfileError when the
    // settings file cannot be written.
    void Remember(const QString& user, const QString& password);

    // Asks the keyring once, if no call has yet; KeyringAnswers() afterwards.
    bool Probe() const;
    // False once a keyring call in this program run found no keyring.
    static bool KeyringAnswers();
    // The note for the login dialog while no keyring answers.
    static const QString FallbackNote;
    // The keyring's entry name of a user on this server.
    QString EntryKey(const QString& user) const;

private:
    // The keyring's password of an entry; none when it has none or no keyring answers.
    std::optional<QString> FromKeyring(const QString& key) const;

    TProfile m_profile;
    std::string m_host;
    int m_port;
};
