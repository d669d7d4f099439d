#include "FtpServer.h"
#include "HostileServer.h"
#include "ILoginDialog.h"
#include "TFtpConnection.h"
#include "TLoginDlg.h"
#include "TLoginLoop.h"
#include "TPasswordStore.h"
#include "TProfile.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <deque>

namespace {

struct Answer {
    Answer(bool ok_ = true, QString user_ = {}, QString password_ = {}, bool remember_ = false,
           std::function<void()> before_ = {})
        : ok(ok_), user(std::move(user_)), password(std::move(password_)), remember(remember_),
          before(std::move(before_))
    {
    }
    bool ok;
    QString user;
    QString password;
    bool remember;
    std::function<void()> before; // runs while the dialog is "shown"
};

// Plays the user: each Execute takes the next answer.
class ScriptedDialog : public ILoginDialog {
public:
    ScriptedDialog(std::deque<Answer>& answers, int& shown, bool& hourglass)
        : m_answers(answers), m_shown(shown), m_hourglass(hourglass)
    {
    }
    bool Execute() override
    {
        ++m_shown;
        const QCursor* cursor = QApplication::overrideCursor();
        m_hourglass = m_hourglass && cursor && cursor->shape() == Qt::WaitCursor;
        if (m_answers.empty()) {
            ADD_FAILURE() << "the dialog was shown once too often";
            return false;
        }
        m_current = m_answers.front();
        m_answers.pop_front();
        if (m_current.before)
            m_current.before();
        return m_current.ok;
    }
    QString UserNameText() const override { return m_current.user; }
    QString PasswordText() const override { return m_current.password; }
    bool RememberChecked() const override { return m_current.remember; }

private:
    std::deque<Answer>& m_answers;
    int& m_shown;
    bool& m_hourglass;
    Answer m_current;
};

class LoginLoopTest : public ::testing::Test {
protected:
    FtpServer server;
    QTemporaryDir dir;
    TProfile profile{dir.filePath("CALDRIS.INI")};
    TFtpConnection connection;
    std::deque<Answer> answers;
    std::vector<QString> messages;
    int shown = 0;
    bool hourglass = true;

    void SetUp() override
    {
        server.Start({"--user", "alice:secret", "--user", "bob:pw2", "--user", "a=b:pw3"});
        WriteSettings(server.Port());
    }
    void WriteSettings(int port, const char* more = "")
    {
        QFile f(profile.Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QString("[FTP]\nHost=127.0.0.1\nPort=%1\nUser=bob\n%2").arg(port).arg(more).toUtf8());
    }
    QByteArray Settings()
    {
        QFile f(profile.Path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    LoginOutcome Run()
    {
        TLoginLoop loop(
            profile, connection,
            [this] {
                const QCursor* cursor = QApplication::overrideCursor();
                hourglass = cursor && cursor->shape() == Qt::WaitCursor;
                return std::make_unique<ScriptedDialog>(answers, shown, hourglass);
            },
            [this](const QString& text) { messages.push_back(text); });
        LoginOutcome outcome = loop.Run();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "hourglass not restored";
        EXPECT_TRUE(hourglass) << "no hourglass while the loop ran";
        return outcome;
    }
};


TEST_F(LoginLoopTest, AcceptedLoginWritesUserAndRememberedPassword)
{
    answers = {{true, "alice", "secret", true}};
    EXPECT_EQ(Run(), LoginOutcome::LoggedIn);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(connection.Settings.User, "alice");
    EXPECT_EQ(connection.Settings.Password, "secret");
    EXPECT_EQ(connection.Settings.Host, "127.0.0.1");
    EXPECT_EQ(profile.ReadString("FTP", "User", ""), "alice");
    // No keyring in the tests: the file keeps it, tied to this server.
    EXPECT_EQ(profile.ReadString("Users", "alice", "x"), "");
    EXPECT_EQ(TPasswordStore(profile, "127.0.0.1", server.Port()).Read("alice"), "secret");
    EXPECT_FALSE(connection.Connected());
    EXPECT_NE(server.Commands().find("QUIT"), std::string::npos);
}

TEST_F(LoginLoopTest, LoginWithoutRememberReplacesARememberedPasswordWithEmpty)
{
    profile.WriteString("Users", "alice", "secret");
    answers = {{true, "alice", "secret", false}};
    EXPECT_EQ(Run(), LoginOutcome::LoggedIn);
    EXPECT_EQ(profile.ReadSectionKeys("Users"), QStringList{"alice"});
    EXPECT_EQ(profile.ReadString("Users", "alice", "x"), "");
}

TEST_F(LoginLoopTest, CancelAtTheFirstDialogWritesNothingAndKeepsTheStoredUser)
{
    const QByteArray before = Settings();
    answers = {{false, "alice", "typed", true}};
    EXPECT_EQ(Run(), LoginOutcome::Cancelled);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(connection.Settings.User, "bob");
    EXPECT_EQ(connection.Settings.Password, "");
    EXPECT_EQ(Settings(), before);
    EXPECT_EQ(server.Commands().find("USER"), std::string::npos);
}

TEST_F(LoginLoopTest, ThreeRejectionsEndWithUnableToLogYouOn)
{
    const QByteArray before = Settings();
    answers = {{true, "alice", "bad1"}, {true, "alice", "bad2"}, {true, "alice", "bad3"}};
    EXPECT_EQ(Run(), LoginOutcome::Rejected);
    EXPECT_EQ(shown, 3);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Unable to log you on");
    EXPECT_EQ(connection.Settings.Password, "");
    EXPECT_EQ(Settings(), before);
}

TEST_F(LoginLoopTest, RejectionThenAcceptance)
{
    answers = {{true, "alice", "bad"}, {true, "alice", "secret"}};
    EXPECT_EQ(Run(), LoginOutcome::LoggedIn);
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(profile.ReadString("FTP", "User", ""), "alice");
    EXPECT_EQ(profile.ReadString("Users", "alice", "x"), "");
}

TEST_F(LoginLoopTest, UnreachableServerShowsNotRespondingAndKeepsThePassword)
{
    server.Stop();
    const QByteArray before = Settings();
    answers = {{true, "alice", "secret", true}};
    EXPECT_EQ(Run(), LoginOutcome::NotResponding);
    EXPECT_EQ(shown, 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              "Sorry, but Halvex is not responding.  Only previously downloaded cases will be available.\r\n\r\n"
              "You should try again in a few minutes.  If the problem persists, please call Halvex at (555) "
              "010-4477.");
    EXPECT_EQ(connection.Settings.Password, "secret");
    EXPECT_EQ(Settings(), before);
}

TEST_F(LoginLoopTest, SilentServerEndsAfterTheTimeOutAndTheWindowsKeepPainting)
{
    HostileServer hostile(HostileServer::Mute);
    WriteSettings(hostile.Port());
    connection.ConnectTimeoutMs = 600;
    answers = {{true, "alice", "secret"}};
    // A timer stands for the paint requests: served while the login connects.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    EXPECT_EQ(Run(), LoginOutcome::NotResponding);
    // Twelve ticks in 600 ms; a fifth of that on a machine busy elsewhere.
    EXPECT_GE(ticks, 2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], TLoginLoop::NotRespondingText);
    EXPECT_FALSE(connection.OnWait) << "the hook outlived the login";
}

TEST_F(LoginLoopTest, FailedProtectedLoginNamesTheReason)
{
    const struct {
        const char* settings;
        QString reason;
    } cases[] = {
        // The plain test server refuses AUTH TLS.
        {"TLS=1\n", "The server refused a protected (TLS) connection."},
        // Refused before connecting: it would hang in every transfer.
        {"TLS=1\nPassive=0\n", TFtpConnection::ActiveTlsText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        WriteSettings(server.Port(), c.settings);
        messages.clear();
        connection.Settings.Password.clear();
        answers = {{true, "alice", "secret"}};
        EXPECT_EQ(Run(), LoginOutcome::NotResponding);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], TLoginLoop::SecureFailureText(c.reason));
        EXPECT_EQ(server.Commands().find("USER"), std::string::npos);
        EXPECT_EQ(connection.Settings.Password, "secret");
    }
}

// A value that is no clear yes or no, or a settings file others could change,
// stops the login with a message naming it, before any server hears of it.
TEST_F(LoginLoopTest, UnclearOrRefusedSettingsStopTheLoginBeforeAnyServer)
{
    for (const char* line : {"TLS=1 ; required\n", "TLS=2\n", "TLS=off\n"}) {
        WriteSettings(server.Port(), line);
        const bool plain = QByteArray(line) == "TLS=off\n";
        // The plain line makes the file writable by others instead.
        QFile f(profile.Path());
        ASSERT_TRUE(f.setPermissions(f.permissions() | (plain ? QFileDevice::WriteOther : QFileDevice::Permissions())));
        messages.clear();
        EXPECT_EQ(Run(), LoginOutcome::SettingsRefused) << line;
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].contains(plain ? "CALDRIS.INI" : "\"TLS\"")) << messages[0].toStdString();
    }
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(server.Commands(), "");
}

// Each attempt is judged by its own replies: an unreachable server after a
// rejection is not one more rejection.
TEST_F(LoginLoopTest, UnreachableServerAfterARejectionIsNotResponding)
{
    answers = {{true, "alice", "bad"}, {true, "alice", "secret", false, [this] { server.Stop(); }}};
    EXPECT_EQ(Run(), LoginOutcome::NotResponding);
    EXPECT_EQ(shown, 2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], TLoginLoop::NotRespondingText);
    EXPECT_EQ(connection.Settings.Password, "secret");
}

TEST_F(LoginLoopTest, FailedSettingsWriteIsHandledLikeAConnectionFailure)
{
    // A name that the settings file cannot hold as a key.
    answers = {{true, "a=b", "pw3", true}};
    EXPECT_EQ(Run(), LoginOutcome::NotResponding);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], TLoginLoop::NotRespondingText);
    EXPECT_EQ(connection.Settings.Password, "pw3");
}

TEST_F(LoginLoopTest, NoSettingsFileUsesTheDefaults)
{
    QFile::remove(profile.Path());
    answers = {{false}};
    EXPECT_EQ(Run(), LoginOutcome::Cancelled);
    EXPECT_EQ(connection.Settings.Host, "192.0.2.10");
    EXPECT_EQ(connection.Settings.Port, 21);
    EXPECT_TRUE(connection.Settings.Passive);
    EXPECT_EQ(connection.Settings.User, "");
    EXPECT_FALSE(QFile::exists(profile.Path()));
}

TEST_F(LoginLoopTest, RunsWithTheRealDialog)
{
    profile.WriteString("Users", "alice", "secret");
    profile.WriteString("FTP", "User", "alice");
    int dialogs = 0;
    // Plays the user on the real modal dialog: the remembered password is
    // already filled in, so Enter logs in.
    std::function<void()> press = [&] {
        auto* dlg = qobject_cast<TLoginDlg*>(QApplication::activeModalWidget());
        if (!dlg) {
            QTimer::singleShot(10, press);
            return;
        }
        ++dialogs;
        EXPECT_EQ(dlg->Password->text(), "secret");
        QTest::keyClick(dlg->Password, Qt::Key_Return);
    };
    QTimer::singleShot(0, press);
    TLoginLoop loop(profile, connection, [this] { return std::make_unique<TLoginDlg>(profile); },
                    [this](const QString& text) { messages.push_back(text); });
    EXPECT_EQ(loop.Run(), LoginOutcome::LoggedIn);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(TPasswordStore(profile, "127.0.0.1", server.Port()).Read("alice"), "secret");
}

} // namespace
