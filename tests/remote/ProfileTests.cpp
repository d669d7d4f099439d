#include "ConnectionSettings.h"
#include "EProfileError.h"
#include "ScopedEnv.h"
#include "TProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class ProfileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("CALDRIS.INI");
    TProfile profile{path};

    void Put(const QByteArray& text)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray Text()
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(ProfileTest, MissingFileSectionOrKeyReadsTheDefault)
{
    EXPECT_EQ(profile.ReadString("FTP", "Host", "d"), "d");
    EXPECT_EQ(profile.ReadInteger("FTP", "Port", 21), 21);
    EXPECT_TRUE(profile.ReadSectionKeys("Users").isEmpty());
    Put("[Other]\nHost=x\n[FTP]\nPort=2121\n");
    EXPECT_EQ(profile.ReadString("FTP", "Host", "d"), "d");
    EXPECT_EQ(profile.ReadString("Nope", "Port", "d"), "d");
    EXPECT_EQ(profile.ReadInteger("FTP", "Port", 21), 2121);
    EXPECT_FALSE(QFile::exists(path + ".tmp"));
}

TEST_F(ProfileTest, NamesCompareWithoutLetterCase)
{
    Put("[ftp]\nHOST = server.example\n");
    EXPECT_EQ(profile.ReadString("FTP", "host", ""), "server.example");
    profile.WriteString("Ftp", "Host", "other");
    EXPECT_EQ(Text(), "[ftp]\nHOST=other\n");
}

TEST_F(ProfileTest, IntegersAndBooleans)
{
    Put("[FTP]\nPort=abc\nPassive=0\nA=-12\nB= 7 \nC=12abc\nD=99999999999\nE=\nF=2\n");
    EXPECT_EQ(profile.ReadInteger("FTP", "Port", 21), 21);
    EXPECT_FALSE(profile.ReadBool("FTP", "Passive", true));
    EXPECT_EQ(profile.ReadInteger("FTP", "A", 0), -12);
    EXPECT_EQ(profile.ReadInteger("FTP", "B", 0), 7);
    EXPECT_EQ(profile.ReadInteger("FTP", "C", 5), 5);
    EXPECT_EQ(profile.ReadInteger("FTP", "D", 5), 5);
    EXPECT_EQ(profile.ReadInteger("FTP", "E", 5), 5);
    EXPECT_TRUE(profile.ReadBool("FTP", "F", false));
    EXPECT_TRUE(profile.ReadBool("FTP", "Port", true));
    EXPECT_FALSE(profile.ReadBool("FTP", "Port", false));
}

TEST_F(ProfileTest, SectionKeysComeBackInFileOrder)
{
    Put("[Users]\nzoe=\n; a comment\nadam=pw\nMia=x\nADAM=dup\n[FTP]\nUser=zoe\n");
    EXPECT_EQ(profile.ReadSectionKeys("users"), (QStringList{"zoe", "adam", "Mia"}));
    EXPECT_EQ(profile.ReadString("Users", "adam", ""), "pw");
}

TEST_F(ProfileTest, WriteCreatesFileSectionAndKey)
{
    profile.WriteString("FTP", "User", "alice");
    EXPECT_EQ(Text(), "[FTP]\nUser=alice\n");
    profile.WriteString("Users", "alice", "");
    profile.WriteString("FTP", "Host", "h");
    EXPECT_EQ(Text(), "[FTP]\nUser=alice\nHost=h\n[Users]\nalice=\n");
    EXPECT_EQ(profile.ReadString("Users", "alice", "none"), "");
}

TEST_F(ProfileTest, WriteKeepsEveryOtherLine)
{
    const QByteArray before = "; settings\n[FTP]\nHost=10.0.0.1\n# note\nUser=bob\n\n[Users]\nbob=old\nkim=\n\n[Extra]\nk=v\n";
    Put(before);
    profile.WriteString("Users", "bob", "");
    profile.WriteString("Users", "amy", "pw");
    EXPECT_EQ(Text(), "; settings\n[FTP]\nHost=10.0.0.1\n# note\nUser=bob\n\n[Users]\nbob=\nkim=\namy=pw\n\n[Extra]\nk=v\n");
}

TEST_F(ProfileTest, WriteKeepsWindowsLineEnds)
{
    Put("[FTP]\r\nUser=bob\r\n");
    profile.WriteString("FTP", "User", "amy");
    EXPECT_EQ(Text(), "[FTP]\r\nUser=amy\r\n");
    EXPECT_EQ(profile.ReadString("FTP", "User", ""), "amy");
}

TEST_F(ProfileTest, WriteReplacesTheFileAsAWhole)
{
    Put("[FTP]\nUser=bob\n");
    struct stat before{};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &before), 0);
    QFile reader(path);
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    profile.WriteString("FTP", "User", "amy");
    struct stat after{};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &after), 0);
    // A new file took the old one's place; a reader still sees the old whole.
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(reader.readAll(), "[FTP]\nUser=bob\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"CALDRIS.INI"});
}

TEST_F(ProfileTest, FailedWriteRaises)
{
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TProfile impossible(dir.filePath("file/CALDRIS.INI"));
    EXPECT_THROW(impossible.WriteString("FTP", "User", "amy"), EProfileError);
}

TEST_F(ProfileTest, TextsThatWouldNotReadBackAreRefused)
{
    Put("[FTP]\nUser=bob\n");
    EXPECT_THROW(profile.WriteString("Users", "a=b", ""), EProfileError);
    EXPECT_THROW(profile.WriteString("Users", "a\nb", ""), EProfileError);
    EXPECT_THROW(profile.WriteString("Users", "amy", "x\ny"), EProfileError);
    EXPECT_THROW(profile.WriteString("Users", "", "x"), EProfileError);
    EXPECT_EQ(Text(), "[FTP]\nUser=bob\n");
}

TEST_F(ProfileTest, OneNamedFileOrTheUsersOverTheMachines)
{
    const ScopedEnv config("XDG_CONFIG_HOME", dir.filePath("config"));
    {
        const ScopedEnv named("CALDRIS_INI", "/tmp/elsewhere.ini");
        EXPECT_EQ(TProfile::Default().Path(), "/tmp/elsewhere.ini");
        EXPECT_EQ(TProfile::Default().DefaultsPath(), "");
    }
    qunsetenv("CALDRIS_INI");
    EXPECT_EQ(TProfile::Default().Path(), dir.filePath("config/caldris/CALDRIS.INI"));
    EXPECT_EQ(TProfile::Default().DefaultsPath(), "/etc/caldris/CALDRIS.INI");
}

// The machine's file gives the connection; the user's file overrides it and
// alone holds the user's names; only the user's file is written, privately.
TEST_F(ProfileTest, UsersFileOverridesTheMachinesReadOnlyDefaults)
{
    const QString machine = dir.filePath("etc/CALDRIS.INI");
    QDir().mkpath(dir.filePath("etc"));
    const QByteArray machineText = "; the centre's server\n[FTP]\nHost=cases.example\nPort=2121\nPassive=0\n"
                                   "Root=/cases\nUser=admin\n[Users]\nadmin=secret\n";
    {
        QFile f(machine);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(machineText);
    }
    const QString user = dir.filePath("config/caldris/CALDRIS.INI");
    TProfile layered(user, machine);
    ConnectionSettings s;
    s.ReadFrom(layered);
    EXPECT_EQ(s.Host, "cases.example");
    EXPECT_EQ(s.Port, 2121);
    EXPECT_FALSE(s.Passive);
    EXPECT_EQ(s.User, "");
    EXPECT_EQ(ConnectionSettings::ReadRoot(layered), "/cases");
    EXPECT_TRUE(layered.ReadSectionKeys("Users").isEmpty());
    EXPECT_EQ(layered.ReadString("Users", "admin", "none"), "none");

    layered.WriteString("FTP", "User", "amy");
    layered.WriteString("FTP", "Port", "21");
    layered.WriteString("Users", "amy", "");
    s.ReadFrom(layered);
    EXPECT_EQ(s.Port, 21);
    EXPECT_EQ(s.User, "amy");
    EXPECT_EQ(s.Host, "cases.example");
    EXPECT_EQ(layered.ReadSectionKeys("FTP"), (QStringList{"User", "Port", "Host", "Passive", "Root"}));
    QFile f(machine);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), machineText);
    struct stat st {};
    ASSERT_EQ(::stat(user.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(dir.filePath("config/caldris").toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(ProfileTest, SettingsFolderThatIsALinkIsRefused)
{
    const ScopedEnv config("XDG_CONFIG_HOME", dir.filePath("config"));
    QDir().mkpath(dir.filePath("config"));
    QDir().mkpath(dir.filePath("elsewhere"));
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), dir.filePath("config/caldris")));
    TProfile layered(TProfile::UserPath(), dir.filePath("none.ini"));
    EXPECT_THROW(layered.WriteString("FTP", "User", "amy"), EProfileError);
    EXPECT_TRUE(QDir(dir.filePath("elsewhere")).isEmpty());
}

TEST_F(ProfileTest, AWrittenFileIsOwnerOnly)
{
    Put("[FTP]\nUser=bob\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    profile.WriteString("Users", "bob", "pw");
    struct stat st {};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ProfileTest, ConnectionSettingsDefaults)
{
    ConnectionSettings s;
    s.Password = "kept";
    s.ReadFrom(profile);
    EXPECT_EQ(s.Host, "192.0.2.10");
    EXPECT_EQ(s.Port, 21);
    EXPECT_TRUE(s.Passive);
    EXPECT_EQ(s.User, "");
    EXPECT_EQ(s.Password, "kept");
    EXPECT_EQ(s.Connections, 4);
    EXPECT_EQ(ConnectionSettings::ReadRoot(profile), "/referring");
}

TEST_F(ProfileTest, ConnectionSettingsFromTheFile)
{
    Put("[FTP]\nHost=cases.example\nPort=x21\nPassive=0\nUser=J\xC3\xB6rg\nRoot=/cases\n");
    ConnectionSettings s;
    s.ReadFrom(profile);
    EXPECT_EQ(s.Host, "cases.example");
    EXPECT_EQ(s.Port, 21);
    EXPECT_FALSE(s.Passive);
    EXPECT_EQ(s.User, "J\xC3\xB6rg");
    EXPECT_EQ(ConnectionSettings::ReadRoot(profile), "/cases");
    for (const char* on : {"yes", "TRUE", "on", "1"}) {
        Put(QByteArray("[FTP]\nTLS=") + on + "\n");
        s.ReadFrom(profile);
        EXPECT_EQ(s.Tls, ConnectionSettings::TlsMode::Required) << on;
    }
    // A connection count the server could not bear, or none at all, is bounded.
    for (const auto& [text, connections] : {std::pair{"0", 1}, {"1", 1}, {"6", 6}, {"1000", 16}, {"-3", 1}}) {
        Put(QByteArray("[FTP]\nConnections=") + text + "\n");
        s.ReadFrom(profile);
        EXPECT_EQ(s.Connections, connections) << text;
    }
}

} // namespace
