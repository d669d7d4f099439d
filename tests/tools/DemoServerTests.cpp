// The demo case server: it serves the tree to the demo user only, and its
// settings file points the program's own settings reader at it.
#include "ConnectionSettings.h"
#include "EFtpError.h"
#include "TFtpConnection.h"
#include "TProfile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

class DemoServer : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess server;
    int port = 0;
    QString ini;

    void SetUp() override
    {
        const QString leaf = dir.path() + "/tree/referring/grp/Doe^Jane!1/Chest!2026.01.02";
        ASSERT_TRUE(QDir().mkpath(leaf));
        QFile f(leaf + "/IM0001.dcm");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not really an image");
        f.close();
        ini = dir.path() + "/caldris.ini";
        server.start(DEMO_PYTHON, {DEMO_SERVER_SCRIPT, "--root", dir.path() + "/tree", "--ini", ini});
        ASSERT_TRUE(server.waitForReadyRead(20000)) << server.readAllStandardError().toStdString();
        const QByteArray line = server.readLine().trimmed();
        ASSERT_TRUE(line.startsWith("PORT ")) << line.toStdString();
        port = line.mid(5).toInt();
    }
    void TearDown() override
    {
        server.terminate();
        server.waitForFinished(10000);
    }
    ConnectionSettings Settings() const
    {
        ConnectionSettings s;
        s.ReadFrom(TProfile(ini));
        return s;
    }
};

} // namespace

TEST_F(DemoServer, SettingsFilePointsAtTheServerWithTheDemoUser)
{
    const ConnectionSettings s = Settings();
    EXPECT_EQ(s.Host, "127.0.0.1");
    EXPECT_EQ(s.Port, port);
    EXPECT_TRUE(s.Passive);
    EXPECT_EQ(s.User, "demo");
    EXPECT_EQ(ConnectionSettings::ReadRoot(TProfile(ini)), "/referring");
    EXPECT_EQ(TProfile(ini).ReadSectionKeys("Users"), QStringList({"demo"}));
    // No password is remembered: the login dialog asks for it.
    EXPECT_EQ(TProfile(ini).ReadString("Users", "demo", "x"), "");
}

TEST_F(DemoServer, DemoUserListsAndFetchesTheCases)
{
    TFtpConnection c;
    c.Settings = Settings();
    c.Settings.Password = "caldris";
    c.Connect();
    c.ChangeDir("/referring/grp/Doe^Jane!1/Chest!2026.01.02");
    std::vector<std::string> names;
    c.List(names);
    EXPECT_EQ(names, std::vector<std::string>({"IM0001.dcm"}));
    const QString local = dir.path() + "/copy.dcm";
    c.SetBinary();
    c.Get("IM0001.dcm", local.toStdString(), c.Size("IM0001.dcm"));
    QFile copy(local);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("not really an image"));
}

TEST_F(DemoServer, WrongPasswordIsRefused)
{
    TFtpConnection c;
    c.Settings = Settings();
    c.Settings.Password = "wrong";
    EXPECT_THROW(c.Connect(), EFtpError);
    EXPECT_EQ(c.LastReplyCode(), 530);
}

TEST_F(DemoServer, AskedForATakenPortItTakesAFreeOneAndAFreePortItself)
{
    int asked = port; // held by the fixture's server
    for (const bool taken : {true, false}) {
        QProcess second;
        second.start(DEMO_PYTHON, {DEMO_SERVER_SCRIPT, "--root", dir.path() + "/tree", "--ini", ini + "2", "--port",
                                   QString::number(asked)});
        ASSERT_TRUE(second.waitForReadyRead(20000)) << second.readAllStandardError().toStdString();
        const int got = second.readLine().trimmed().mid(5).toInt();
        second.terminate();
        second.waitForFinished(10000);
        EXPECT_TRUE(taken ? got > 0 && got != port : got == asked) << got;
        asked = got; // free again now
    }
}
