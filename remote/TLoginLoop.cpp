#include "TLoginLoop.h"

#include "EProfileError.h"
#include "ETlsError.h"
#include "ILoginDialog.h"
#include "TFtpConnection.h"
#include "TPasswordStore.h"
#include "TProfile.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <exception>

namespace {

// The hourglass stays over every window until the loop ends, however it ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// While the login connects, the windows keep painting; clicks and keys wait
// (and so does a request to close), as the loop blocks.
struct RepaintWhileWaiting {
    TFtpConnection& connection;
    explicit RepaintWhileWaiting(TFtpConnection& c) : connection(c)
    {
        connection.OnWait = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    }
    ~RepaintWhileWaiting() { connection.OnWait = nullptr; }
    RepaintWhileWaiting(const RepaintWhileWaiting&) = delete;
    RepaintWhileWaiting& operator=(const RepaintWhileWaiting&) = delete;
};

} // namespace

const QString TLoginLoop::UnableText = QStringLiteral("Unable to log you on");
const QString TLoginLoop::NotRespondingText = QStringLiteral(
    "Sorry, but Halvex is not responding.  Only previously downloaded cases will be available."
    "\r\n\r\n"
    "You should try again in a few minutes.  If the problem persists, please call Halvex at (555) 010-4477.");

QString TLoginLoop::SecureFailureText(const QString& reason)
{
    return "Sorry, but Halvex cannot be reached safely.  " + reason +
           "\r\n\r\nOnly previously downloaded cases will be available.  Please call Halvex at (555) 010-4477.";
}

TLoginLoop::TLoginLoop(TProfile& profile, TFtpConnection& connection, DialogFactory dialog, MessageSink message)
    : m_profile(profile), m_connection(connection), m_dialog(std::move(dialog)), m_message(std::move(message))
{
}

void TLoginLoop::ShowInformation(const QString& text)
{
    QString shown = text;
    shown.replace("\r\n", "\n");
    QMessageBox::information(QApplication::activeWindow(), QGuiApplication::applicationDisplayName(), shown,
                             QMessageBox::Ok);
}

QString TLoginLoop::SettingsFailureText(const QString& reason)
{
    return "Sorry, but the settings cannot be used.  " + reason +
           "\r\n\r\nOnly previously downloaded cases will be available.  Please call Halvex at (555) 010-4477.";
}

LoginOutcome TLoginLoop::Run()
{
    ConnectionSettings& settings = m_connection.Settings;
    WaitCursor hourglass;
    std::unique_ptr<ILoginDialog> dialog;
    try {
        settings.ReadFrom(m_profile);
        QCoreApplication::processEvents();
        dialog = m_dialog();
    } catch (const EProfileError& e) {
        // A refused file or an unclear value: no server is asked at all.
        settings.ForgetPassword();
        m_message(SettingsFailureText(QString::fromStdString(e.Message())));
        return LoginOutcome::SettingsRefused;
    }

    bool remember = false;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (settings.Password.empty()) {
            if (!dialog->Execute())
                return LoginOutcome::Cancelled;
            settings.User = dialog->UserNameText().toStdString();
            settings.Password = dialog->PasswordText().toStdString();
            ConnectionSettings::HoldingPassword();
            remember = dialog->RememberChecked();
        }
        try {
            RepaintWhileWaiting painting(m_connection);
            m_connection.Connect();
            m_connection.Disconnect();
        } catch (const ETlsError& e) {
            // The server answered, but not safely: say why rather than "not responding".
            m_connection.Disconnect();
            m_message(SecureFailureText(QString::fromStdString(e.Message())));
            return LoginOutcome::NotResponding;
        } catch (const std::exception&) {
            m_connection.Disconnect();
            if (m_connection.LastReplyCode() == 530) {
                settings.ForgetPassword();
                if (attempt == 3) {
                    m_message(UnableText);
                    return LoginOutcome::Rejected;
                }
                continue;
            }
            m_message(NotRespondingText);
            return LoginOutcome::NotResponding;
        }
        try {
            const QString user = QString::fromStdString(settings.User);
            m_profile.WriteString("FTP", "User", user);
            TPasswordStore(m_profile, settings.Host, settings.Port)
                .Remember(user, remember ? QString::fromStdString(settings.Password) : QString());
        } catch (const std::exception&) {
            m_message(NotRespondingText);
            return LoginOutcome::NotResponding;
        }
        return LoginOutcome::LoggedIn;
    }
    return LoginOutcome::Rejected; // not reached: the third attempt always returns
}
