// What another local user of the same workstation can try: folders and files
// of theirs (or writable by them) where ours are expected, settings that point
// a password elsewhere, names that would share an entry.
#include "ConnectionSettings.h"
#include "EProfileError.h"
#include "PrivateFolders.h"
#include "ScopedEnv.h"
#include "ScratchUser.h"
#include "TLocalCache.h"
#include "TPasswordStore.h"
#include "TProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Put(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

const char* Local(const QString& path)
{
    static QByteArray held;
    return (held = QFile::encodeName(path)).constData();
}

} // namespace

// A cache base of someone else's, or one others can write, is never used:
// its owner could swap "caldris" between the check and the file opens.
TEST(Neighbour, ACacheBaseOthersCouldChangeIsRefused)
{
    TScratchUser neighbour;
    const struct {
        mode_t mode;
        bool theirs;
        bool used;
    } cases[] = {{0755, false, true}, {01777, false, true}, {0777, false, false}, {0775, false, false}, {0755, true, false}};
    for (const auto& c : cases) {
        if (c.theirs && !neighbour.Available())
            GTEST_SKIP() << TScratchUser::SkipReason;
        QTemporaryDir dir;
        const QString base = dir.filePath("cache");
        ASSERT_TRUE(QDir().mkdir(base));
        ASSERT_EQ(::chmod(Local(base), c.mode), 0);
        ASSERT_EQ(::chown(Local(base), c.theirs ? neighbour.Uid() : ::geteuid(), gid_t(-1)), 0);
        const ScopedEnv cache("XDG_CACHE_HOME", base);
        const std::string folder = LocalCache::CaseFolder("amy", "g\\p\\s");
        EXPECT_EQ(LocalCache::MakeFolders(folder), c.used) << std::oct << c.mode;
        const int fd = PrivateFolders::CreateFile(folder + "a.dcm");
        EXPECT_EQ(fd >= 0, c.used) << std::oct << c.mode;
        EXPECT_EQ(QFileInfo(base + "/caldris").exists(), c.used);
        ::close(fd);
    }
}

// A case file is made only as a plain file of ours, never through whatever
// another name in its place leads to; a relative cache variable is ignored.
TEST(Neighbour, CaseFilesAreOnlyPlainFilesOfOurs)
{
    QTemporaryDir dir;
    const std::string at = dir.filePath("a.dcm").toStdString();
    const std::string elsewhere = dir.filePath("elsewhere").toStdString();
    Put(dir.filePath("elsewhere"), "theirs");
    const std::function<int()> plants[] = {
        [&] { return ::symlink(elsewhere.c_str(), at.c_str()); },
        [&] { return ::link(elsewhere.c_str(), at.c_str()); },
        [&] { return ::mkfifo(at.c_str(), 0666); },
    };
    for (const auto& plant : plants) {
        ::unlink(at.c_str());
        ASSERT_EQ(plant(), 0);
        EXPECT_EQ(PrivateFolders::CreateFile(at), -1);
    }
    EXPECT_EQ(QFileInfo(dir.filePath("elsewhere")).size(), 6);
    const ScopedEnv home("HOME", "/home/amy");
    const ScopedEnv relative("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(LocalCache::CacheRoot("amy"), "/home/amy/.cache/caldris/amy/");
}

// Settings that someone else could have written are refused aloud before
// anything in them is used, never replaced by another file's.
TEST(Neighbour, SettingsOthersCouldChangeAreRefused)
{
    TScratchUser neighbour;
    const std::function<void(const QTemporaryDir&)> plants[] = {
        [](const QTemporaryDir& d) { ASSERT_EQ(::chmod(Local(d.filePath("config")), 0777), 0); },
        [](const QTemporaryDir& d) { ASSERT_EQ(::chmod(Local(d.filePath("machine.ini")), 0666), 0); },
        [&](const QTemporaryDir& d) {
            ASSERT_TRUE(QFile::rename(d.filePath("theirs"), d.filePath("config/caldris")));
            ASSERT_EQ(::chown(Local(d.filePath("config/caldris")), neighbour.Uid(), gid_t(-1)), 0);
        },
    };
    for (const auto& plant : plants) {
        if (&plant == &plants[2] && !neighbour.Available())
            GTEST_SKIP() << TScratchUser::SkipReason;
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("config"));
        QDir().mkpath(dir.filePath("theirs"));
        Put(dir.filePath("theirs/CALDRIS.INI"), "[FTP]\nHost=evil.example\n");
        Put(dir.filePath("machine.ini"), "[FTP]\nHost=cases.example\n");
        plant(dir);
        const ScopedEnv config("XDG_CONFIG_HOME", dir.filePath("config"));
        ConnectionSettings settings;
        EXPECT_THROW(settings.ReadFrom(TProfile(TProfile::UserPath(), dir.filePath("machine.ini"))), EProfileError);
        EXPECT_NE(settings.Host, "evil.example");
    }
}

// Without a keyring (the tests have none) the file keeps a password tied to
// its server; one kept under the bare name by an older version is offered
// only while the user's own file names the server.
TEST(Neighbour, AFilePasswordIsOfferedOnlyToItsServer)
{
    QTemporaryDir dir;
    const ScopedEnv config("XDG_CONFIG_HOME", dir.filePath("config"));
    Put(dir.filePath("machine.ini"), "[FTP]\nHost=cases.example\n");
    TProfile profile(TProfile::UserPath(), dir.filePath("machine.ini"));
    TPasswordStore centre(profile, "cases.example", 21);
    EXPECT_TRUE(centre.Remember("amy", "s3cret"));
    EXPECT_EQ(centre.Read("amy"), "s3cret");
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 0) << "a process that holds a password leaves no core";
    ::prctl(PR_SET_DUMPABLE, 1); // for the sanitizers of later tests
    EXPECT_EQ(TPasswordStore(profile, "evil.example", 21).Read("amy"), "");
    profile.WriteString("Users", "bob", "old");
    EXPECT_EQ(centre.Read("bob"), "") << "the server it was kept for is not known";
    profile.WriteString("FTP", "Host", "cases.example");
    EXPECT_EQ(centre.Read("bob"), "old");
    EXPECT_TRUE(centre.Remember("bob", ""));
    EXPECT_EQ(profile.ReadString("Users", "bob", "x"), "");
}

// Two users or servers never share a keyring entry or a cache folder.
TEST(Neighbour, EntryKeysAndFolderNamesNeverCollide)
{
    const TProfile profile("unused.ini");
    std::set<QString> keys;
    for (const char* host : {"a..b", "1:2", "", "h", "h:21"})
        for (const char* user : {"doc", "a/b", "a%2Fb", "a@b", "a:b", "a=b", ""})
            EXPECT_TRUE(keys.insert(TPasswordStore(profile, host, 21).EntryKey(user)).second) << host << user;
    EXPECT_EQ(TPasswordStore(profile, "Cases.Example", 21).EntryKey("doc"), "ftp://doc@cases.example:21");
    std::set<std::string> folders;
    for (const char* user : {"doc", "a/b", "a%2Fb", "a%252Fb", "a\\b", ".", "..", "%2E", "", "%", "a\nb"}) {
        EXPECT_TRUE(LocalCache::IsSafeName(LocalCache::FolderName(user))) << user;
        EXPECT_TRUE(folders.insert(LocalCache::FolderName(user)).second) << user;
    }
}
