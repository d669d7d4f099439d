#include "TClickLabel.h"
#include "TLoginDlg.h"
#include "TPasswordStore.h"
#include "TProfile.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Put(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

const QByteArray ServerSettings = "[FTP]\nHost=127.0.0.1\nPort=2121\nUser=amy\n";

} // namespace

// The test binary's own session bus is a dead address (main.cpp): no keyring
// answers, so the password goes to the private file and the dialog says so.
TEST(PasswordStore, WithoutAKeyringThePrivateFileKeepsThePassword)
{
    QTemporaryDir dir;
    TProfile profile(dir.filePath("CALDRIS.INI"));
    Put(profile.Path(), ServerSettings);
    TPasswordStore store(profile, "127.0.0.1", 2121);
    store.Remember("amy", "s3cret");
    EXPECT_FALSE(TPasswordStore::KeyringAnswers());
    EXPECT_EQ(profile.ReadString("Users", "amy", "x"), "");
    EXPECT_EQ(profile.ReadString("Passwords", "ftp://amy@127.0.0.1:2121", ""), "s3cret");
    EXPECT_EQ(store.Read("amy"), "s3cret");

    TLoginDlg dialog(profile);
    EXPECT_EQ(dialog.Password->text(), "s3cret");
    EXPECT_TRUE(dialog.Remember->isChecked());
    EXPECT_EQ(dialog.Remember->toolTip(), TPasswordStore::FallbackNote);
    EXPECT_EQ(dialog.RememberLabel->toolTip(), TPasswordStore::FallbackNote);
    // Said in the dialog itself; a refusing keyring keeps nothing, so the box is off.
    EXPECT_EQ(dialog.KeyringNote->text(), TPasswordStore::FallbackNote);
    EXPECT_FALSE(dialog.KeyringNote->isHidden());
    dialog.ShowKeyringNote(int(TPasswordStore::TKeyring::Refuses));
    EXPECT_EQ(dialog.KeyringNote->text(), TPasswordStore::RefusedNote);
    EXPECT_FALSE(dialog.Remember->isChecked() || dialog.Remember->isEnabled());

    store.Remember("amy", "");
    EXPECT_EQ(profile.ReadSectionKeys("Users"), QStringList{"amy"});
    EXPECT_EQ(store.Read("amy"), "");
}

namespace {

// Runs the DISABLED_KeyringSession test named in a session of its own: a
// private session bus (dbus-run-session) and a Secret Service
// (gnome-keyring-daemon) in scratch folders, so that no user's own keyring
// is touched. unlock: its new login keyring is unlocked with a scratch
// password; else it stays locked, and with no one to answer its prompt the
// keyring refuses every write.
void RunInKeyringSession(const char* test, bool unlock)
{
    QTemporaryDir home;
    QDir().mkpath(home.filePath("run"));
    QFile::setPermissions(home.filePath("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_CACHE_HOME", home.filePath("cache"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("run"));
    env.insert("CALDRIS_TEST_KEYRING", "1");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    const QString daemon = unlock ? "printf %s scratch | gnome-keyring-daemon --unlock --components=secrets >/dev/null"
                                  : "gnome-keyring-daemon --start --components=secrets >/dev/null";
    QProcess session;
    session.setProcessEnvironment(env);
    session.setProcessChannelMode(QProcess::MergedChannels);
    session.start("dbus-run-session",
                  {"--", "sh", "-c",
                   daemon + " && exec \"$0\" --gtest_also_run_disabled_tests --gtest_filter=\"$1\"",
                   QCoreApplication::applicationFilePath(), QString("DISABLED_KeyringSession.") + test});
    ASSERT_TRUE(session.waitForStarted()) << "dbus-run-session is missing (Debian package dbus)";
    ASSERT_TRUE(session.waitForFinished(120000));
    const QString out = QString::fromUtf8(session.readAll());
    EXPECT_EQ(session.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

} // namespace

TEST(PasswordStore, RealSecretServiceKeepsThePasswordOutOfTheFile)
{
    RunInKeyringSession("PasswordsLiveInTheKeyringByServerAndUser", true);
    RunInKeyringSession("ALockedKeyringKeepsNothing", false);
}

// Run only by the test above, inside their sessions.
TEST(DISABLED_KeyringSession, PasswordsLiveInTheKeyringByServerAndUser)
{
    QTemporaryDir dir;
    TProfile profile(dir.filePath("CALDRIS.INI"));
    Put(profile.Path(), ServerSettings + "[Users]\namy=old plain text\n");
    TPasswordStore store(profile, "127.0.0.1", 2121);
    // A password kept in the file by an older version is still offered ...
    EXPECT_EQ(store.Read("amy"), "old plain text");
    ASSERT_TRUE(TPasswordStore::KeyringAnswers());
    // ... and moves to the keyring at the next remembering login.
    store.Remember("amy", "s3cret");
    ASSERT_TRUE(TPasswordStore::KeyringAnswers());
    EXPECT_EQ(profile.ReadSectionKeys("Users"), QStringList{"amy"});
    EXPECT_EQ(profile.ReadString("Users", "amy", "x"), "");
    EXPECT_EQ(TPasswordStore(profile, "127.0.0.1", 2121).Read("amy"), "s3cret");
    EXPECT_EQ(TPasswordStore(profile, "127.0.0.1", 2122).Read("amy"), "") << "another server";
    EXPECT_EQ(TPasswordStore(profile, "127.0.0.1", 2121).Read("bob"), "");

    {
        TLoginDlg dialog(profile);
        EXPECT_EQ(dialog.Password->text(), "s3cret");
        EXPECT_TRUE(dialog.Remember->isChecked());
        EXPECT_EQ(dialog.Remember->toolTip(), "");
    }

    store.Remember("amy", "");
    EXPECT_EQ(store.Read("amy"), "");
    EXPECT_EQ(profile.ReadSectionKeys("Users"), QStringList{"amy"});
    EXPECT_TRUE(TPasswordStore::KeyringAnswers());
}

// A keyring that exists but refuses (locked, nobody to unlock it): the
// password is kept nowhere, never moved into the file, and the dialog says so.
TEST(DISABLED_KeyringSession, ALockedKeyringKeepsNothing)
{
    QTemporaryDir dir;
    TProfile profile(dir.filePath("CALDRIS.INI"));
    Put(profile.Path(), ServerSettings);
    TPasswordStore store(profile, "127.0.0.1", 2121);
    EXPECT_FALSE(store.Remember("amy", "s3cret"));
    EXPECT_EQ(TPasswordStore::Keyring(), TPasswordStore::TKeyring::Refuses);
    EXPECT_EQ(profile.ReadSectionKeys("Passwords"), QStringList{});
    EXPECT_EQ(store.Read("amy"), "");
    TLoginDlg dialog(profile);
    EXPECT_EQ(dialog.KeyringNote->text(), TPasswordStore::RefusedNote);
    EXPECT_FALSE(dialog.Remember->isChecked() || dialog.Remember->isEnabled());
}
