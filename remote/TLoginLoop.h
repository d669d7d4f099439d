#pragma once
// The login of the download manager's start-up: reads the connection
// settings, then asks for credentials up to three times and proves them
// against the case server on its own connection. It never raises and
// reports failures by information messages.
//
// Threads: user-interface thread only; the connection attempts run on it
// under the hourglass, so the windows take no clicks or keys meanwhile
// (they keep painting). A protected connection that fails (refused TLS, an
// unverifiable certificate) is reported with its reason instead of the
// not-responding message; the outcome is the same.
#include <QString>

#include <functional>
#include <memory>

class ILoginDialog;
class TFtpConnection;
class TProfile;

enum class LoginOutcome {
    LoggedIn,      // the verified password is held; "User" and "Users" written
    Cancelled,     // no password held; nothing written
    Rejected,      // three rejections; no password held; nothing written
    NotResponding, // the typed password is held, unverified; nothing written
    SettingsRefused, // the settings could not be used; no password held; nothing written
};

class TLoginLoop {
public:
    using DialogFactory = std::function<std::unique_ptr<ILoginDialog>()>;
    using MessageSink = std::function<void(const QString& text)>;

    static const QString UnableText;
    static const QString NotRespondingText;
    static QString SecureFailureText(const QString& reason);
    static QString SettingsFailureText(const QString& reason);

    // connection: holds the program's connection settings afterwards.
    TLoginLoop(TProfile& profile, TFtpConnection& connection, DialogFactory dialog,
               MessageSink message = &ShowInformation);

    LoginOutcome Run();

    // An information message box with an OK button.
    static void ShowInformation(const QString& text);

private:
    TProfile& m_profile;
    TFtpConnection& m_connection;
    DialogFactory m_dialog;
    MessageSink m_message;
};
