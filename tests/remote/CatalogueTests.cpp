#include "Formatting.h"
#include "ScopedEnv.h"
#include "TCaseList.h"
#include "TCatalogue.h"
#include "TDownloadQueue.h"
#include "TLocalCache.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

TEST(Formatting, SizesAndTimes)
{
    EXPECT_EQ(FormatSize(0), "0   ");
    EXPECT_EQ(FormatSize(1023), "1,023   ");
    EXPECT_EQ(FormatSize(1024), "1 KB");
    EXPECT_EQ(FormatSize(500LL * 1048576), "512,000 KB");
    EXPECT_EQ(FormatSize(1073741824LL), "1,024 MB");
    EXPECT_EQ(FormatSize(6LL * 1073741824LL), "6,144 MB"); // over 4 GiB
    EXPECT_EQ(FormatTimeLeft(59999), "less than a minute");
    EXPECT_EQ(FormatTimeLeft(60000), "about a minute");
    EXPECT_EQ(FormatTimeLeft(89999), "about a minute");
    EXPECT_EQ(FormatTimeLeft(90000), "2 minutes");
    EXPECT_EQ(FormatTimeLeft(120000), "2 minutes");
    EXPECT_EQ(FormatTimeLeft(7200000), "120 minutes");
    EXPECT_EQ(SizeSortKey(255), "000000ff");
}

TEST(CaseRows, KeysParseIntoTexts)
{
    TCaseList list;
    CaseRow* r = list.AddCaseRow("grp\\Doe^Jane!12345\\Head CT!2002.09.03", 1);
    EXPECT_EQ(r->Caption, "Doe^Jane");
    EXPECT_EQ(r->SubItems[riStudy], "Head CT");
    EXPECT_EQ(r->SubItems[riDate], "Tue Sep 3, 2002");
    EXPECT_EQ(r->SubItems[riDateKey], "20020903");
    EXPECT_EQ(r->SubItems[riSize], "-");
    EXPECT_EQ(r->SubItems[riTransfer], "");
    EXPECT_EQ(r->SubItems[riSizeKey], "");
    EXPECT_EQ(r->Key(), "grp\\Doe^Jane!12345\\Head CT!2002.09.03");
    EXPECT_EQ(r->RowLight, rlRemote);
    EXPECT_EQ(r->RowMark, rmNone);

    CaseRow* plain = list.AddCaseRow("g\\Smith\\Chest", 0);
    EXPECT_EQ(plain->SubItems[riStudy], "Chest");
    EXPECT_EQ(plain->SubItems[riDate], "");
    EXPECT_EQ(plain->SubItems[riDateKey], "");
    CaseRow* bad = list.AddCaseRow("g\\Smith\\MR!2002.13.01", 0);
    EXPECT_EQ(bad->SubItems[riDate], "20021301");
    CaseRow* letters = list.AddCaseRow("g\\Smith\\MR!20ab0101", 0);
    EXPECT_EQ(letters->SubItems[riDate], "20ab0101");

    // One row per key: a second add returns it unchanged.
    EXPECT_EQ(list.AddCaseRow("g\\Smith\\Chest", 1), plain);
    EXPECT_EQ(plain->RowLight, rlLocal);
    EXPECT_EQ(list.Count(), 4);
}

TEST(CaseRows, SortingIsAscendingIgnoringCaseAndSizelessRowsComeFirst)
{
    TCaseList list;
    list.AddCaseRow("g\\bravo\\s1", 1);
    list.AddCaseRow("g\\Alpha\\s2", 1);
    list.AddCaseRow("g\\charlie\\s3", 1);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Row(0)->Caption, "Alpha");
    EXPECT_EQ(list.Row(1)->Caption, "bravo");
    EXPECT_EQ(list.Row(2)->Caption, "charlie");

    list.Row(0)->SubItems[riSizeKey] = SizeSortKey(5000);
    list.RowChanged(list.Row(0));
    list.Row(2)->SubItems[riSizeKey] = SizeSortKey(6LL << 30); // over 4 GiB: nine digits
    list.RowChanged(list.Row(2));
    list.SortBy(2);
    EXPECT_EQ(list.Row(0)->Caption, "bravo"); // no size first
    EXPECT_EQ(list.Row(1)->Caption, "Alpha");
    EXPECT_EQ(list.Row(2)->Caption, "charlie");
    list.SortBy(2); // a second click does not reverse
    EXPECT_EQ(list.Row(0)->Caption, "bravo");

    // A row changed after the last sort is put in place before the next add.
    list.Row(0)->SubItems[riSizeKey] = SizeSortKey(7LL << 30);
    list.RowChanged(list.Row(0));
    list.AddCaseRow("g\\delta\\s4", 1);
    EXPECT_EQ(list.Row(0)->Caption, "delta");
    EXPECT_EQ(list.Row(3)->Caption, "bravo");
}

TEST(CaseRows, InsertionMatchesAFullSortOnALargeCatalogue)
{
    TCaseList inserted;
    for (int i = 0; i < 2000; ++i) {
        const int n = (i * 7919) % 1000; // duplicates in the sort text
        inserted.AddCaseRow("g\\P" + std::to_string(n) + "\\S" + std::to_string(i), 1);
    }
    TCaseList sorted;
    for (int i = 0; i < 2000; ++i) {
        const int n = (i * 7919) % 1000;
        sorted.AddCaseRow("g\\P" + std::to_string(n) + "\\S" + std::to_string(i), 1);
        sorted.SortBy(0);
    }
    ASSERT_EQ(inserted.Count(), 2000);
    for (int i = 0; i < 2000; ++i)
        EXPECT_EQ(inserted.Row(i)->Key(), sorted.Row(i)->Key()) << i;
    // The key index follows removals: a removed key is found no more and
    // comes back as a new row; the others keep their one row.
    for (int i = 0; i < 2000; i += 3)
        inserted.RemoveRow(inserted.FindRow("g\\P" + std::to_string((i * 7919) % 1000) + "\\S" + std::to_string(i)));
    EXPECT_EQ(inserted.Count(), 2000 - 667);
    for (int i = 0; i < 2000; ++i) {
        const std::string key = "g\\P" + std::to_string((i * 7919) % 1000) + "\\S" + std::to_string(i);
        CaseRow* row = inserted.FindRow(key);
        EXPECT_EQ(row == nullptr, i % 3 == 0) << key;
        EXPECT_EQ(inserted.AddCaseRow(key, 1)->Key(), key);
        if (row) {
            EXPECT_EQ(inserted.FindRow(key), row);
        }
    }
    EXPECT_EQ(inserted.Count(), 2000);
    for (int i = 1; i < 2000; ++i)
        EXPECT_FALSE(TCaseList::Less(*inserted.Row(i), *inserted.Row(i - 1), 0)) << i;
}

TEST(DownloadQueue, LookupsIgnoreCase)
{
    TDownloadQueue q;
    q.AddUnique("G\\P\\S");
    q.AddUnique("g\\p\\s");
    EXPECT_EQ(q.Count(), 1);
    q.Add("g\\p\\s");
    EXPECT_EQ(q.Count(), 2);
    EXPECT_EQ(q.IndexOf("g\\P\\s"), 0);
    q.Remove("G\\p\\S");
    EXPECT_EQ(q.Count(), 1);
    q.Delete(5); // out of range: nothing
    EXPECT_EQ(q.Count(), 1);
}

namespace {
void Write(const std::string& path, size_t bytes)
{
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}
} // namespace

TEST(LocalCache, HostileNamesNeverLeaveTheCache)
{
    using namespace LocalCache;
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "tab\there", "nl\nx", "\x7f"})
        EXPECT_FALSE(IsSafeName(bad)) << bad;
    EXPECT_TRUE(IsSafeName("Head CT!2002.09.03"));
    EXPECT_TRUE(IsSafeName("...x"));
    EXPECT_TRUE(IsSafeName("M\xC3\xBCller"));
    EXPECT_TRUE(IsSafeKey("g\\p\\s"));
    EXPECT_FALSE(IsSafeKey("g\\p"));
    EXPECT_FALSE(IsSafeKey("g\\..\\s"));
    EXPECT_FALSE(IsSafeKey("g\\p\\s\\t"));

    QTemporaryDir tmp;
    const ScopedEnv cache("XDG_CACHE_HOME", tmp.path());
    const std::string root = CacheRoot("doctor");
    EXPECT_EQ(root, tmp.path().toStdString() + "/caldris/doctor/");
    for (const char* user : {"..", "../../etc", "a/b", "."}) {
        const std::string r = CacheRoot(user);
        EXPECT_EQ(r.rfind(tmp.path().toStdString() + "/caldris/", 0), 0u) << user;
        EXPECT_EQ(r.find("/../"), std::string::npos) << r;
        EXPECT_EQ(std::count(r.begin() + long(tmp.path().size()), r.end(), '/'), 3) << r;
    }
    EXPECT_EQ(CaseFolder("doctor", "g\\p\\s"), root + "g/p/s/");
}

TEST(LocalCache, ScanTellsLocalIncompleteAndEmptyApart)
{
    QTemporaryDir tmp;
    const ScopedEnv cache("XDG_CACHE_HOME", tmp.path());
    const std::string root = LocalCache::CacheRoot("doc");
    ASSERT_TRUE(LocalCache::MakeFolders(root + "g/p/done"));
    struct stat st {};
    ASSERT_EQ(stat((tmp.path().toStdString() + "/caldris").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    Write(root + "g/p/done/a.dcm", 1000);
    Write(root + "g/p/done/b.dcm", 500);
    LocalCache::MakeFolders(root + "g/p/half");
    Write(root + "g/p/half/a.dcm", 10);
    Write(root + "g/p/half/Incomplete", 0);
    LocalCache::MakeFolders(root + "g/p/empty");
    LocalCache::MakeFolders(root + "g/p/zero");
    Write(root + "g/p/zero/z.dcm", 0);
    Write(root + "g/p/plainfile", 50); // a file where a study folder is expected
    EXPECT_EQ(LocalCache::CaseFolderSize(root + "g/p/done/"), 1500);
    EXPECT_EQ(LocalCache::CaseFolderSize(root + "g/p/half/"), -1);

    TCaseList list;
    LocalCache::ScanLocalCache(list, "doc");
    ASSERT_EQ(list.Count(), 2);
    CaseRow* done = list.FindRow("g\\p\\done");
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->RowLight, rlLocal);
    EXPECT_EQ(done->SubItems[riSize], "1 KB");
    EXPECT_EQ(done->SubItems[riSizeKey], "000005dc");
    EXPECT_EQ(done->SubItems[riTransfer], "Complete");
    CaseRow* half = list.FindRow("g\\p\\half");
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->RowLight, rlIncomplete);
    EXPECT_EQ(half->SubItems[riTransfer], "Incomplete");
    EXPECT_EQ(half->SubItems[riSize], "-");
}

// Another user must not be able to read or redirect the cache: each folder
// of ours is owner-only and a link in its place is refused, not followed.
TEST(LocalCache, FoldersAreOwnerOnlyAndLinksAreRefused)
{
    QTemporaryDir tmp;
    const ScopedEnv cache("XDG_CACHE_HOME", tmp.filePath("cache"));
    const std::string base = tmp.filePath("cache").toStdString();
    EXPECT_FALSE(LocalCache::MakeFolders(tmp.filePath("outside/g/p/s/").toStdString()));

    // A folder made open by someone (an older version, a umask) is closed.
    ASSERT_EQ(::mkdir(base.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((base + "/caldris").c_str(), 0777), 0);
    ASSERT_EQ(::chmod((base + "/caldris").c_str(), 0777), 0);
    const std::string root = LocalCache::CacheRoot("doc");
    ASSERT_TRUE(LocalCache::MakeFolders(root + "g/p/s/"));
    for (const std::string& folder : {base + "/caldris", root, root + "g/p/s"}) {
        struct stat st {};
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
    Write(root + "g/p/s/a.dcm", 10);

    // The user's root replaced by a link to a folder of someone else's choosing.
    const std::string planted = tmp.filePath("planted").toStdString();
    ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((planted + "/g").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((planted + "/g/p").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((planted + "/g/p/fake").c_str(), 0700), 0);
    Write(planted + "/g/p/fake/x.dcm", 10);
    ASSERT_EQ(::symlink(planted.c_str(), (base + "/caldris/eve").c_str()), 0);
    const std::string eve = LocalCache::CacheRoot("eve");
    EXPECT_FALSE(LocalCache::MakeFolders(eve + "g/p/new/"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(planted + "/g/p/new")));
    TCaseList list;
    LocalCache::ScanLocalCache(list, "eve");
    EXPECT_EQ(list.Count(), 0);
    // A link inside the cache counts for nothing either.
    ASSERT_EQ(::symlink((planted + "/g/p/fake").c_str(), (root + "g/p/linked").c_str()), 0);
    LocalCache::ScanLocalCache(list, "doc");
    EXPECT_EQ(list.Count(), 1);

    // Free space is that of the cache's file system, also before it exists.
    const std::optional<int64_t> free = LocalCache::FreeSpace("nobody-yet");
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0);
}

TEST(Catalogue, StatusLineCountsRowsAndFreeSpace)
{
    TCatalogue c;
    c.List.AddCaseRow("g\\p\\s", 1);
    c.FreeSpace = [] { return std::optional<int64_t>(2048); };
    c.UpdateStatusBar();
    EXPECT_EQ(c.StatusText(), " 1 items (2 KB available)");
    c.FreeSpace = [] { return std::optional<int64_t>(); };
    c.UpdateStatusBar();
    EXPECT_EQ(c.StatusText(), " 1 items");
}
