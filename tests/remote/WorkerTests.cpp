#include "Formatting.h"
#include "FtpServer.h"
#include "ScopedEnv.h"
#include "TCatalogue.h"
#include "TFetchThread.h"
#include "TListThread.h"
#include "TLocalCache.h"
#include "TSavedCatalogue.h"
#include "VsftpdServer.h"
#include "WaitUntil.h"

#include <QPointer>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Content(int n, size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = char((i * 13 + size_t(n) * 7) & 0xFF);
    return s;
}

std::string ReadLocal(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

// A server, a private cache folder and the download manager's state, with
// the UI thread's event loop served by WaitUntil.
class WorkerTest : public ::testing::Test {
protected:
    FtpServer server;
    QTemporaryDir tmp;
    const ScopedEnv cache{"XDG_CACHE_HOME", tmp.path()};
    TCatalogue catalogue;

    void SetUp() override
    {
        catalogue.FreeSpace = [] { return std::optional<int64_t>(1 << 20); };
    }

    void Start(const QStringList& faults = {})
    {
        server.Start(QStringList{"--user", "doc:pw"} + faults);
        Use(server);
    }
    void Use(const FtpServer& other)
    {
        catalogue.Settings.Host = "127.0.0.1";
        catalogue.Settings.Port = other.Port();
        catalogue.Settings.Passive = true;
        catalogue.Settings.User = "doc";
        catalogue.Settings.Password = "pw";
    }

    void List() { List(catalogue); }
    void List(TCatalogue& c, int listingLimitMs = TFtpConnection::DefaultListingLimitMs)
    {
        bool done = false;
        c.OnListingDone = [&] { done = true; };
        TListThread::Start(c, [] { return std::string("/referring"); }, listingLimitMs);
        ASSERT_TRUE(WaitUntil([&] { return done; }));
        QCoreApplication::processEvents(); // the worker frees itself
    }
    // A walk over this many connections into a fresh catalogue: its rows'
    // keys, texts and lights in list order.
    std::vector<std::string> ListedRows(int connections, int listingLimitMs = TFtpConnection::DefaultListingLimitMs)
    {
        TCatalogue fresh;
        fresh.FreeSpace = catalogue.FreeSpace;
        fresh.Settings = catalogue.Settings;
        fresh.Settings.Connections = connections;
        List(fresh, listingLimitMs);
        return Rows(fresh);
    }
    static std::vector<std::string> Rows(const TCatalogue& c)
    {
        std::vector<std::string> rows;
        for (int i = 0; i < c.List.Count(); ++i) {
            const CaseRow& r = *c.List.Row(i);
            std::string row = r.Caption;
            for (const std::string& item : r.SubItems)
                row += "|" + item;
            rows.push_back(row + "|" + std::to_string(r.RowLight));
        }
        return rows;
    }

    // Queues the key and runs the download worker until the queue no longer
    // has it at its head (or stop() says so).
    void Download(const std::string& key, const std::function<bool()>& stop = {},
                  const TFetchThread::DiskSpaceSource& space = {})
    {
        CaseRow* row = catalogue.List.AddCaseRow(key, 1);
        row->RowMark = 0;
        catalogue.Queue.Add(key);
        TFetchThread worker(catalogue);
        worker.IdleSleepMs = 20;
        if (space)
            worker.DiskSpace = space;
        worker.start();
        ASSERT_TRUE(WaitUntil([&] {
            return stop ? stop() : (catalogue.Queue.Empty() && row->RowMark != 1);
        }));
        worker.Terminate();
    }
    std::string Local(const std::string& key, const std::string& name)
    {
        return catalogue.CaseFolder(key) + name;
    }
};

} // namespace

TEST_F(WorkerTest, ListingAddsOneRowPerStudyWithParsedTexts)
{
    server.AddFolder("referring/grpA/Doe^Jane!123/Head CT!2002.09.03");
    server.AddFolder("referring/grpA/Doe^Jane!123/Chest");
    server.AddFile("referring/grpA/Doe^Jane!123/loose.pdf", "x"); // a plain file is a case too
    server.AddFolder("referring/grpB/Roe/MR!2003.13.01");
    server.AddFile("referring/grpB/notafolder.txt", "x");
    server.AddFolder("referring/grpB/bad\\name/Study"); // would leave the cache
    server.AddFolder("referring/grpB/Roe/tab\there");
    Start();
    catalogue.List.AddCaseRow("grpA\\Doe^Jane!123\\Chest", 0); // from the cache scan
    List();
    EXPECT_EQ(catalogue.List.Count(), 4);
    CaseRow* head = catalogue.List.FindRow("grpA\\Doe^Jane!123\\Head CT!2002.09.03");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->Caption, "Doe^Jane");
    EXPECT_EQ(head->SubItems[riStudy], "Head CT");
    EXPECT_EQ(head->SubItems[riDate], "Tue Sep 3, 2002");
    EXPECT_EQ(head->SubItems[riDateKey], "20020903");
    EXPECT_EQ(head->RowLight, rlRemote);
    EXPECT_EQ(catalogue.List.FindRow("grpA\\Doe^Jane!123\\Chest")->RowLight, rlLocal); // kept
    ASSERT_NE(catalogue.List.FindRow("grpA\\Doe^Jane!123\\loose.pdf"), nullptr);
    EXPECT_EQ(catalogue.List.FindRow("grpB\\Roe\\MR!2003.13.01")->SubItems[riDate], "20031301");
    EXPECT_EQ(catalogue.StatusText(), " 4 items (1,024 KB available)");
    EXPECT_EQ(catalogue.RootFolder, "/referring");
    // Sorted by patient as rows came in.
    for (int i = 1; i < catalogue.List.Count(); ++i)
        EXPECT_FALSE(TCaseList::Less(*catalogue.List.Row(i), *catalogue.List.Row(i - 1), 0));
}

TEST_F(WorkerTest, ListingOfAnEmptyRootOrAnUnreachableServer)
{
    server.AddFolder("referring");
    Start();
    List();
    EXPECT_EQ(catalogue.List.Count(), 0);
    EXPECT_EQ(catalogue.StatusText(), " 0 items (1,024 KB available)");
    catalogue.Settings.Password = "wrong";
    List();
    EXPECT_EQ(catalogue.StatusText(), " 0 items (1,024 KB available)");
}

TEST_F(WorkerTest, DownloadFetchesEveryFileAndEndsLocal)
{
    const std::string key = "g\\Doe\\CT!2004.05.17";
    for (int i = 1; i <= 3; ++i)
        server.AddFile("referring/g/Doe/CT!2004.05.17/f" + std::to_string(i) + ".dcm", Content(i, 40000 * size_t(i)));
    server.AddFile("referring/g/Doe/CT!2004.05.17/empty.txt", "");
    Start();
    catalogue.RootFolder = "/referring";
    Download(key);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(ReadLocal(Local(key, "f" + std::to_string(i) + ".dcm")), Content(i, 40000 * size_t(i)));
    EXPECT_FALSE(Exists(Local(key, "empty.txt"))); // size 0 counts as present
    EXPECT_FALSE(Exists(Local(key, "Incomplete")));
    CaseRow* row = catalogue.List.FindRow(key);
    EXPECT_EQ(row->RowLight, rlLocal);
    EXPECT_EQ(row->RowMark, rmNone);
    EXPECT_EQ(row->SubItems[riSize], FormatSize(240000));
    EXPECT_EQ(row->SubItems[riSizeKey], "0003a980");
    EXPECT_EQ(row->SubItems[riTransfer].rfind("Completed in less than a minute", 0), 0u) << row->SubItems[riTransfer];
    EXPECT_EQ(catalogue.StatusText(), " 1 items (1,024 KB available)");
}

TEST_F(WorkerTest, ResumeFetchesOnlyWhatIsMissing)
{
    const std::string key = "g\\Doe\\MR";
    for (int i = 1; i <= 4; ++i)
        server.AddFile("referring/g/Doe/MR/f" + std::to_string(i), Content(i, 5000));
    QTemporaryDir logDir;
    const QString log = logDir.filePath("log");
    Start({"--log", log});
    catalogue.RootFolder = "/referring";
    ASSERT_TRUE(LocalCache::MakeFolders(catalogue.CaseFolder(key)));
    std::ofstream(Local(key, "f1"), std::ios::binary) << Content(1, 5000);
    std::ofstream(Local(key, "f2"), std::ios::binary) << Content(2, 5000);
    std::ofstream(Local(key, "f3"), std::ios::binary) << "short"; // wrong size: fetched again
    Download(key);
    const std::string commands = ReadLocal(log.toStdString());
    EXPECT_EQ(commands.find("RETR f1"), std::string::npos);
    EXPECT_EQ(commands.find("RETR f2"), std::string::npos);
    EXPECT_NE(commands.find("RETR f3"), std::string::npos);
    EXPECT_NE(commands.find("RETR f4"), std::string::npos);
    EXPECT_EQ(ReadLocal(Local(key, "f3")), Content(3, 5000));
    EXPECT_EQ(catalogue.List.FindRow(key)->SubItems[riSize], FormatSize(20000)); // present files count
    // The sizes came from the one listing.
    EXPECT_NE(commands.find("MLSD"), std::string::npos) << commands;
    EXPECT_EQ(commands.find("SIZE"), std::string::npos) << commands;
}

// A link planted where a case file goes is never written through.
TEST_F(WorkerTest, DownloadNeverWritesThroughALink)
{
    const std::string key = "g\\Doe\\Linked";
    server.AddFile("referring/g/Doe/Linked/f1", Content(1, 3000));
    server.AddFile("referring/g/Doe/Linked/f2", Content(2, 3000));
    Start();
    catalogue.RootFolder = "/referring";
    ASSERT_TRUE(LocalCache::MakeFolders(catalogue.CaseFolder(key)));
    const std::string victim = tmp.filePath("victim").toStdString();
    std::ofstream(victim, std::ios::binary) << "keep";
    ASSERT_EQ(::symlink(victim.c_str(), Local(key, "f1").c_str()), 0);
    Download(key);
    EXPECT_EQ(ReadLocal(victim), "keep");
    EXPECT_EQ(catalogue.List.FindRow(key)->RowLight, rlIncomplete);
    EXPECT_EQ(ReadLocal(Local(key, "f2")), Content(2, 3000));
}

TEST_F(WorkerTest, ResumeWithoutMachineListingsAsksTheSizeOfEachFile)
{
    const std::string key = "g\\Doe\\MR";
    for (int i = 1; i <= 3; ++i)
        server.AddFile("referring/g/Doe/MR/f" + std::to_string(i), Content(i, 5000));
    Start({"--no-mlsd"});
    catalogue.RootFolder = "/referring";
    ASSERT_TRUE(LocalCache::MakeFolders(catalogue.CaseFolder(key)));
    std::ofstream(Local(key, "f1"), std::ios::binary) << Content(1, 5000);
    Download(key);
    const std::string commands = server.Commands();
    EXPECT_EQ(commands.find("RETR f1"), std::string::npos) << commands;
    for (const char* name : {"f1", "f2", "f3"})
        EXPECT_NE(commands.find(std::string("SIZE /referring/g/Doe/MR/") + name + "\n"), std::string::npos)
            << name << commands;
    EXPECT_EQ(ReadLocal(Local(key, "f3")), Content(3, 5000));
    EXPECT_EQ(catalogue.List.FindRow(key)->RowLight, rlLocal);
}

TEST_F(WorkerTest, StopDuringTheThirdOfFiveFilesKeepsEveryCompleteFile)
{
    const std::string key = "g\\Doe\\Slow";
    for (int i = 1; i <= 5; ++i)
        server.AddFile("referring/g/Doe/Slow/f" + std::to_string(i), Content(i, 20000));
    Start({"--slow", "f3:1000:0.2"});
    catalogue.Settings.Connections = 1; // file after file
    catalogue.RootFolder = "/referring";
    // A resumed case: the first and the last file are already complete.
    ASSERT_TRUE(LocalCache::MakeFolders(catalogue.CaseFolder(key)));
    std::ofstream(Local(key, "f1"), std::ios::binary) << Content(1, 20000);
    std::ofstream(Local(key, "f5"), std::ios::binary) << Content(5, 20000);
    Download(key, [&] {
        if (!catalogue.DownloadsPaused && Exists(Local(key, "f3")) && QFile(QString::fromStdString(Local(key, "f3"))).size() > 0)
            catalogue.DownloadsPaused = true;
        return catalogue.List.FindRow(key)->SubItems[riTransfer] == "Incomplete";
    });
    EXPECT_EQ(ReadLocal(Local(key, "f1")), Content(1, 20000));
    EXPECT_EQ(ReadLocal(Local(key, "f2")), Content(2, 20000));
    EXPECT_FALSE(Exists(Local(key, "f3"))); // cut short
    EXPECT_FALSE(Exists(Local(key, "f4")));
    EXPECT_EQ(ReadLocal(Local(key, "f5")), Content(5, 20000)); // not reached: left as it was
    EXPECT_TRUE(Exists(Local(key, "Incomplete")));
    CaseRow* row = catalogue.List.FindRow(key);
    EXPECT_EQ(row->RowLight, rlIncomplete);
    EXPECT_EQ(row->RowMark, rmQueued);
    ASSERT_EQ(catalogue.Queue.Count(), 1); // the head stays while stopped
}

TEST_F(WorkerTest, FilesGoneBeforeTheEndLeaveTheCaseIncomplete)
{
    const std::string key = "g\\Doe\\Purged";
    server.AddFile("referring/g/Doe/Purged/f1", Content(1, 5000));
    server.AddFile("referring/g/Doe/Purged/f2", Content(2, 5000));
    Start({"--slow", "f2:1000:0.1"});
    catalogue.RootFolder = "/referring";
    bool purged = false;
    CaseRow* row = nullptr;
    Download(key, [&] {
        row = catalogue.List.FindRow(key);
        if (!purged && Exists(Local(key, "f2"))) {
            // The case's files go from under the worker, marker included.
            ::unlink(Local(key, "f1").c_str());
            ::unlink(Local(key, "Incomplete").c_str());
            purged = true;
        }
        return purged && row->RowLight != rlDownloading;
    });
    EXPECT_EQ(row->RowLight, rlIncomplete);
    EXPECT_EQ(row->SubItems[riTransfer], "Incomplete");
    EXPECT_TRUE(Exists(Local(key, "Incomplete")));
    TCaseList rescanned;
    LocalCache::ScanLocalCache(rescanned, "doc");
    ASSERT_EQ(rescanned.Count(), 1);
    EXPECT_EQ(rescanned.Row(0)->RowLight, rlIncomplete);
}

TEST_F(WorkerTest, TheFinishedCaseLeavesTheQueueNotTheNewHead)
{
    server.AddFile("referring/g/A/CT/a1", Content(1, 5000));
    server.AddFile("referring/g/B/MR/b1", Content(2, 3000));
    Start({"--slow", "a1:1000:0.1"});
    catalogue.RootFolder = "/referring";
    CaseRow* other = catalogue.List.AddCaseRow("g\\B\\MR", rlRemote);
    bool switched = false;
    Download("g\\A\\CT", [&] {
        if (!switched && Exists(Local("g\\A\\CT", "a1"))) {
            // While the worker is busy: deselect the head, select another case.
            catalogue.List.FindRow("g\\A\\CT")->RowMark = rmNone;
            catalogue.Queue.Delete(0);
            catalogue.DownloadsPaused = true;
            catalogue.Queue.AddUnique(other->Key());
            other->RowMark = rmQueued;
            catalogue.DownloadsPaused = false;
            switched = true;
        }
        return other->RowLight == rlLocal;
    });
    EXPECT_EQ(ReadLocal(Local(other->Key(), "b1")), Content(2, 3000));
    EXPECT_EQ(other->RowMark, rmNone);
    EXPECT_TRUE(catalogue.Queue.Empty());
}

TEST_F(WorkerTest, AnAbandonedPickGetsItsLightAndMarkBack)
{
    Start();
    server.Stop(); // every connection attempt of the worker fails, and is retried
    const std::string key = "g\\Doe\\CT";
    CaseRow* row = catalogue.List.AddCaseRow(key, rlIncomplete);
    int phase = 0;
    int stoppedLight = -1;
    int stoppedMark = -1;
    Download(key, [&] {
        const bool picked = row->RowLight == rlDownloading && row->RowMark == rmActive;
        if (phase == 0 && picked) {
            catalogue.DownloadsPaused = true; // "Stop Downloading"
            phase = 1;
        } else if (phase == 1 && !picked) {
            stoppedLight = row->RowLight;
            stoppedMark = row->RowMark;
            catalogue.DownloadsPaused = false; // "Resume Downloading"
            phase = 2;
        } else if (phase == 2 && picked) {
            row->RowMark = rmNone; // "Deselect Current" on the head
            catalogue.Queue.Delete(0);
            catalogue.DownloadsPaused = true;
            phase = 3;
        }
        return phase == 3 && row->RowLight != rlDownloading;
    });
    EXPECT_EQ(stoppedLight, rlIncomplete);
    EXPECT_EQ(stoppedMark, rmQueued);
    EXPECT_EQ(row->RowLight, rlIncomplete);
    EXPECT_EQ(row->RowMark, rmNone);
    EXPECT_TRUE(catalogue.ActiveKey.empty());
}

TEST_F(WorkerTest, MissingServerFolderEndsRemote)
{
    server.AddFolder("referring/g/Doe");
    Start();
    catalogue.RootFolder = "/referring";
    const std::string key = "g\\Doe\\Gone";
    Download(key);
    CaseRow* row = catalogue.List.FindRow(key);
    EXPECT_EQ(row->RowLight, rlRemote);
    EXPECT_EQ(row->SubItems[riTransfer], "Incomplete");
    EXPECT_TRUE(catalogue.Queue.Empty());
    EXPECT_FALSE(Exists(catalogue.CaseFolder(key))); // no folder, no marker
}

TEST_F(WorkerTest, DroppedConnectionEndsTheCaseIncomplete)
{
    const std::string key = "g\\Doe\\Drop";
    for (int i = 1; i <= 3; ++i)
        server.AddFile("referring/g/Doe/Drop/f" + std::to_string(i), Content(i, 30000));
    Start({"--drop", "f2:1000"});
    catalogue.Settings.Connections = 1; // file after file
    catalogue.RootFolder = "/referring";
    Download(key);
    EXPECT_TRUE(Exists(Local(key, "f1")));
    EXPECT_FALSE(Exists(Local(key, "f2")));
    EXPECT_FALSE(Exists(Local(key, "f3"))); // the socket error ended the case
    EXPECT_TRUE(Exists(Local(key, "Incomplete")));
    EXPECT_EQ(catalogue.List.FindRow(key)->RowLight, rlIncomplete);
}

TEST_F(WorkerTest, HostileFileNamesAreNeverWrittenAndLeaveTheCaseIncomplete)
{
    const std::string key = "g\\Doe\\Odd";
    server.AddFile("referring/g/Doe/Odd/good", "fine");
    server.AddFile("referring/g/Doe/Odd/back\\slash", "evil");
    Start();
    catalogue.RootFolder = "/referring";
    Download(key);
    EXPECT_EQ(ReadLocal(Local(key, "good")), "fine");
    EXPECT_FALSE(Exists(Local(key, "back\\slash")));
    EXPECT_FALSE(Exists(catalogue.CaseFolder("g\\Doe\\Odd") + "../slash"));
    // The case is not complete without the file it could not take.
    CaseRow* row = catalogue.List.FindRow(key);
    EXPECT_EQ(row->RowLight, rlIncomplete);
    EXPECT_EQ(row->SubItems[riTransfer], "Incomplete");
    EXPECT_TRUE(Exists(Local(key, "Incomplete")));
}

TEST_F(WorkerTest, EmptyServerFolderEndsLocalWithoutAMarker)
{
    server.AddFolder("referring/g/Doe/Empty");
    Start();
    catalogue.RootFolder = "/referring";
    const std::string key = "g\\Doe\\Empty";
    Download(key);
    CaseRow* row = catalogue.List.FindRow(key);
    EXPECT_EQ(row->RowLight, rlLocal);
    EXPECT_EQ(row->SubItems[riSize], "0   ");
    EXPECT_FALSE(Exists(Local(key, "Incomplete")));
    TCaseList rescanned;
    LocalCache::ScanLocalCache(rescanned, "doc");
    EXPECT_EQ(rescanned.Count(), 0);
}

namespace {

int Count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::string Name(int i) { return "f" + std::to_string(100 + i); }

} // namespace

TEST_F(WorkerTest, FourConnectionsFetchTheCaseWholeWithProgressWithinBounds)
{
    const std::string key = "g\\Doe\\Wide";
    constexpr int files = 13;
    for (int i = 1; i <= files; ++i)
        server.AddFile("referring/g/Doe/Wide/" + Name(i), Content(i, 20000 + size_t(i)));
    Start({"--slow", QString::fromStdString(Name(7) + ":2000:0.05")}); // keeps progress in view for half a second
    catalogue.RootFolder = "/referring";
    ASSERT_EQ(catalogue.Settings.Connections, 4); // the default
    CaseRow* row = nullptr;
    std::vector<std::string> transfers, statuses;
    Download(key, [&] {
        row = catalogue.List.FindRow(key);
        if (transfers.empty() || transfers.back() != row->SubItems[riTransfer])
            transfers.push_back(row->SubItems[riTransfer]);
        if (statuses.empty() || statuses.back() != catalogue.StatusText())
            statuses.push_back(catalogue.StatusText());
        return catalogue.Queue.Empty() && row->RowMark != rmActive;
    });
    for (int i = 1; i <= files; ++i)
        EXPECT_EQ(ReadLocal(Local(key, Name(i))), Content(i, 20000 + size_t(i))) << i;
    EXPECT_FALSE(Exists(Local(key, "Incomplete")));
    EXPECT_EQ(row->RowLight, rlLocal);
    EXPECT_EQ(row->SubItems[riSize], FormatSize(files * 20000 + files * (files + 1) / 2));
    EXPECT_EQ(Count(server.Commands(), "USER doc"), 4) << server.Commands(); // the listing's and three more
    EXPECT_EQ(row->SubItems[riTransfer].rfind("Completed in ", 0), 0u) << row->SubItems[riTransfer];
    int percents = 0;
    for (const std::string& text : transfers) {
        if (text.find('%') == std::string::npos)
            continue;
        ++percents;
        const int percent = std::stoi(text);
        EXPECT_TRUE(percent >= 0 && percent <= 100) << text;
    }
    EXPECT_GT(percents, 0);
    for (const std::string& text : statuses) {
        int n = 0, m = 0;
        if (std::sscanf(text.c_str(), "Downloading image %d of %d", &n, &m) == 2) {
            EXPECT_TRUE(n >= 1 && n <= m && m == files) << text;
        }
    }
}

TEST_F(WorkerTest, StopDuringParallelTransfersKeepsCompleteFilesAndResumeFetchesOnlyTheRest)
{
    const std::string key = "g\\Doe\\Halt";
    constexpr int files = 8;
    for (int i = 1; i <= files; ++i)
        server.AddFile("referring/g/Doe/Halt/" + Name(i), Content(i, 30000));
    QTemporaryDir logDir;
    const std::string log = logDir.filePath("log").toStdString();
    // A server that never says goodbye: the stop must not wait for it.
    Start({"--slow", QString::fromStdString(Name(5) + ":5000:0.2"), "--log", QString::fromStdString(log),
           "--silent-quit"});
    catalogue.RootFolder = "/referring";
    const auto size = [&](int i) { return QFile(QString::fromStdString(Local(key, Name(i)))).size(); };
    CaseRow* row = nullptr;
    Download(key, [&] {
        row = catalogue.List.FindRow(key);
        // Counted as done by the worker (a file on disk at its size may still
        // wait for its transfer's end): the slow one alone is left.
        const bool othersDone = row->SubItems[riTransfer].rfind("100%", 0) == 0;
        if (!catalogue.DownloadsPaused && othersDone && size(5) > 0)
            catalogue.DownloadsPaused = true;
        return catalogue.DownloadsPaused && row->SubItems[riTransfer] == "Incomplete";
    });
    // Every connection ends at once: no goodbye is said, so none is waited
    // for (the server never answers one; a second apiece went by waiting).
    EXPECT_EQ(Count(ReadLocal(log), "QUIT"), 0) << ReadLocal(log);
    for (int i = 1; i <= files; ++i) {
        if (i != 5) {
            EXPECT_EQ(ReadLocal(Local(key, Name(i))), Content(i, 30000)) << i;
        }
    }
    EXPECT_FALSE(Exists(Local(key, Name(5)))); // cut short
    EXPECT_TRUE(Exists(Local(key, "Incomplete")));
    EXPECT_EQ(row->RowLight, rlIncomplete);
    EXPECT_EQ(row->RowMark, rmQueued);

    // Resumed: only the cut file travels again.
    std::ofstream(log, std::ios::trunc).close();
    catalogue.DownloadsPaused = false;
    catalogue.Queue.Delete(0);
    Download(key);
    const std::string commands = ReadLocal(log);
    EXPECT_EQ(Count(commands, "RETR "), 1) << commands;
    EXPECT_NE(commands.find("RETR " + Name(5)), std::string::npos) << commands;
    EXPECT_EQ(ReadLocal(Local(key, Name(5))), Content(5, 30000));
    EXPECT_EQ(catalogue.List.FindRow(key)->RowLight, rlLocal);
}

// A limit of connections per address (421 at once) and of logins (530 on
// the later ones), or extra logins that never end: the case goes on over
// the connections it got, and ends when its files are done.
TEST_F(WorkerTest, ServersThatRefuseExtraConnectionsStillGiveTheWholeCase)
{
    for (const QStringList& limit : {QStringList{"--max-cons-per-ip", "1"}, QStringList{"--max-logins", "2"},
                                     QStringList{"--hold-logins", "1"}}) {
        SCOPED_TRACE(limit.join(' ').toStdString());
        FtpServer limited;
        const std::string key = "g\\Doe\\" + limit[0].mid(2).toStdString();
        const std::string folder = "referring/g/Doe/" + limit[0].mid(2).toStdString() + "/";
        for (int i = 1; i <= 6; ++i)
            limited.AddFile(folder + Name(i), Content(i, 10000));
        limited.Start(QStringList{"--user", "doc:pw"} + limit);
        Use(limited);
        // A root given from the login folder, on connections that stand in
        // different folders by then.
        catalogue.RootFolder = "referring";
        QElapsedTimer clock;
        clock.start();
        Download(key);
        for (int i = 1; i <= 6; ++i)
            EXPECT_EQ(ReadLocal(Local(key, Name(i))), Content(i, 10000)) << i;
        EXPECT_EQ(catalogue.List.FindRow(key)->RowLight, rlLocal);
        // Not held until the logins time out.
        EXPECT_LT(clock.elapsed(), TFtpConnection::DefaultConnectTimeoutMs);
    }
}

TEST_F(WorkerTest, ProtectedServerGivesTheCaseOverFourProtectedConnections)
{
    const std::string key = "g\\Doe\\Tls";
    for (int i = 1; i <= 6; ++i)
        server.AddFile("referring/g/Doe/Tls/" + Name(i), Content(i, 10000));
    const FtpServer::TlsFiles tls = server.MakeTlsFiles();
    Start(server.TlsArguments(tls));
    catalogue.Settings.Tls = ConnectionSettings::TlsMode::Required;
    catalogue.Settings.CaFile = tls.Authority;
    catalogue.RootFolder = "/referring";
    Download(key);
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(ReadLocal(Local(key, Name(i))), Content(i, 10000)) << i;
    EXPECT_EQ(catalogue.List.FindRow(key)->RowLight, rlLocal);
    const std::string commands = server.Commands();
    EXPECT_EQ(Count(commands, "AUTH TLS"), 4) << commands;
    EXPECT_EQ(Count(commands, "USER doc"), 4) << commands;
}

// One download path for any number of connections: a resumed case with a
// file the server refuses (a dangling link: 550), a server file named like
// the marker and a FIFO planted where a file goes ends alike on one
// connection and on four; the refusal fails that file alone.
TEST_F(WorkerTest, OneOrFourConnectionsEndWithTheSameFilesAndRow)
{
    const std::string key = "g\\Doe\\Same", folder = "referring/g/Doe/Same/";
    for (const QStringList& run : {QStringList{"1"}, QStringList{"4"}, QStringList{"1", "--no-mlsd"}}) {
        SCOPED_TRACE(run.join(' ').toStdString());
        FtpServer other;
        for (int i : {1, 2, 4, 5})
            other.AddFile(folder + Name(i), Content(i, 7000));
        other.AddFile(folder + "Incomplete", "the server's own");
        ASSERT_EQ(::symlink("gone", (other.Home() + "/" + folder + Name(3)).c_str()), 0);
        other.Start(QStringList{"--user", "doc:pw"} + run.mid(1));
        Use(other);
        catalogue.Settings.Connections = run[0].toInt();
        catalogue.RootFolder = "/referring";
        QDir(QString::fromStdString(catalogue.CaseFolder(key))).removeRecursively();
        ASSERT_TRUE(LocalCache::MakeFolders(catalogue.CaseFolder(key)));
        std::ofstream(Local(key, Name(1)), std::ios::binary) << Content(1, 7000);
        std::ofstream(Local(key, Name(2)), std::ios::binary) << Content(2, 7000);
        ASSERT_EQ(::mkfifo(Local(key, Name(5)).c_str(), 0600), 0);
        Download(key);
        for (int i : {1, 2, 4})
            EXPECT_EQ(ReadLocal(Local(key, Name(i))), Content(i, 7000)) << i;
        EXPECT_FALSE(Exists(Local(key, Name(3))));
        struct stat st {};
        EXPECT_TRUE(::lstat(Local(key, Name(5)).c_str(), &st) == 0 && S_ISFIFO(st.st_mode)); // left alone
        EXPECT_EQ(ReadLocal(Local(key, "Incomplete")), ""); // our marker, never the server's file
        CaseRow* row = catalogue.List.FindRow(key);
        EXPECT_EQ(row->RowLight, rlIncomplete);
        EXPECT_EQ(row->SubItems[riSize], FormatSize(3 * 7000)); // present files count
        const std::string commands = other.Commands();
        EXPECT_EQ(Count(commands, "USER doc"), run[0].toInt()) << commands;
        EXPECT_EQ(Count(commands, "RETR " + Name(3)), 1) << commands; // one attempt, no connection refused
        EXPECT_EQ(Count(commands, "RETR Incomplete"), 0) << commands;
    }
}

// Links in the forms real servers list them (or as plain files of the
// link's own length) are fetched at the size SIZE gives, folders are not;
// without any size a file stops at the room on disk (here 2,000 bytes: the
// free space less 5 %), and the status line says the disk is nearly full.
TEST_F(WorkerTest, LinksAndFilesWithoutASizeEndAtTheirRealSizeOrTheRoomOnDisk)
{
    struct Run {
        QStringList faults;
        int64_t free;
    };
    const std::string folder = "referring/g/Doe/Linked/", key = "g\\Doe\\Linked";
    for (const Run& run : {Run{{"--links", "symlink"}, 1 << 30}, Run{{"--links", "slink"}, 1 << 30},
                           Run{{"--links", "hidden"}, 1 << 30}, Run{{"--no-size", "--no-mlsd"}, 2200}}) {
        SCOPED_TRACE(run.faults.join(' ').toStdString());
        FtpServer linked;
        linked.AddFile("store/image.dcm", Content(9, 2550));
        linked.AddFile(folder + "plain.dcm", Content(1, 1000));
        linked.AddFolder(folder + "sub");
        ASSERT_EQ(::symlink("../../../../store/image.dcm", (linked.Home() + "/" + folder + "link.dcm").c_str()), 0);
        linked.Start(QStringList{"--user", "doc:pw"} + run.faults);
        Use(linked);
        catalogue.RootFolder = "/referring";
        const int64_t free = run.free;
        Download(key, {}, [free](const std::string&) { return std::optional<LocalCache::DiskSpace>({free, 4000}); });
        const bool room = free > 2550;
        EXPECT_EQ(ReadLocal(Local(key, "link.dcm")), room ? Content(9, 2550) : "");
        EXPECT_EQ(ReadLocal(Local(key, "plain.dcm")), Content(1, 1000));
        EXPECT_FALSE(Exists(Local(key, "sub")));
        EXPECT_EQ(catalogue.List.FindRow(key)->RowLight, room ? rlLocal : rlIncomplete);
        const std::string status = catalogue.StatusText();
        EXPECT_EQ(status.find(TFetchThread::DiskNearlyFullText) != std::string::npos, !room) << status;
    }
}

namespace {

// Groups, patients with several studies, names with "!" and blanks, a plain
// file at patient level (skipped) and at study level (a row), a patient
// folder nobody may enter and an empty group: 8 rows.
void CatalogueTree(FtpServer& s)
{
    s.AddFolder("referring/grpA/Doe^Jane!123/Head CT!2002.09.03");
    s.AddFolder("referring/grpA/Doe^Jane!123/Chest X!2002.09.04");
    s.AddFile("referring/grpA/Doe^Jane!123/report.pdf", "x");
    s.AddFolder("referring/grpA/Locked/Hidden");
    s.AddFile("referring/grpA/loose.txt", "x");
    s.AddFolder("referring/grpB/Roe Richard/MR!2003.13.01");
    s.AddFolder("referring/grpB/Roe Richard/MR 2");
    s.AddFolder("referring/grpB/Poe/A");
    s.AddFolder("referring/grpC/Moe!x/B!2004.01.01");
    s.AddFolder("referring/grpC/Moe!x/C");
    s.AddFolder("referring/grpD");
}

const QStringList LockedFolder{"--deny-cwd", "/referring/grpA/Locked"};

} // namespace

TEST_F(WorkerTest, OneAndSeveralConnectionsListTheSameRows)
{
    CatalogueTree(server);
    Start(LockedFolder);
    const std::vector<std::string> one = ListedRows(1);
    EXPECT_EQ(one.size(), 8u);
    EXPECT_EQ(ListedRows(4), one);
    // Folders listed with NLST (no MLSD), and servers that give one
    // connection, or one login, at a time: still the same rows.
    for (const QStringList& limit :
         {QStringList{"--no-mlsd"}, QStringList{"--max-cons-per-ip", "1"}, QStringList{"--max-logins", "1"}}) {
        FtpServer other;
        CatalogueTree(other);
        other.Start(QStringList{"--user", "doc:pw"} + LockedFolder + limit);
        Use(other);
        EXPECT_EQ(ListedRows(4), one) << limit.join(' ').toStdString();
    }
}

TEST_F(WorkerTest, AFolderWhoseListingFailsSkipsOnlyThatPatient)
{
    CatalogueTree(server);
    server.AddFolder("referring/grpA/Many"); // its listing: one name more than allowed
    for (int i = 0; i < 40; ++i)              // its listing trickles past the deadline
        server.AddFolder("referring/grpB/Slow/S" + std::to_string(i));
    Start(QStringList{"--many-names", "/referring/grpA/Many:100001", "--slow-list", "/referring/grpB/Slow:0.2"} +
          LockedFolder);
    const int deadlineMs = 1000;
    for (int connections : {1, 4}) {
        const std::vector<std::string> rows = ListedRows(connections, deadlineMs);
        EXPECT_EQ(rows.size(), 8u) << connections;
        for (const std::string& row : rows)
            EXPECT_TRUE(row.rfind("Many|", 0) != 0 && row.rfind("Slow|", 0) != 0) << row;
    }
}

TEST_F(WorkerTest, StopDuringAParallelWalkEndsItPromptlyAndSavesNothing)
{
    CatalogueTree(server);
    for (int i = 0; i < 300; ++i)
        server.AddFolder("referring/grpB/Slow/S" + std::to_string(i));
    Start(QStringList{"--slow-list", "/referring/grpB/Slow:1"} + LockedFolder);
    bool done = false;
    catalogue.OnListingDone = [&] { done = true; };
    QPointer<TListThread> walk = TListThread::Start(catalogue, [] { return std::string("/referring"); });
    // Every other folder is listed: the trickling one is in progress (an
    // event, however long a busy machine takes to get there).
    ASSERT_TRUE(WaitUntil([&] { return catalogue.List.Count() == 8; }, 90000)) << catalogue.List.Count() << " " << catalogue.StatusText();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(walk);
    walk->Stop();
    // The trickle alone would take 300 s.
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_TRUE(done);
    QCoreApplication::processEvents();
    EXPECT_FALSE(TSavedCatalogue::Load(catalogue.Settings));
}

TEST_F(WorkerTest, TheSavedCatalogueShowsFirstAndLosesOnlyStaleRowsWithoutCache)
{
    CatalogueTree(server);
    Start(LockedFolder);
    List(); // a whole walk: its rows are saved
    const std::string file = LocalCache::CatalogueFile("doc", "127.0.0.1", server.Port());
    struct stat st {};
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Meanwhile one study went (and is cached), one went (not cached) and one came.
    const std::string cached = "grpB\\Roe Richard\\MR 2", stale = "grpB\\Poe\\A", added = "grpC\\Moe!x\\D";
    QDir(QString::fromStdString(server.Home() + "/referring/grpB/Roe Richard/MR 2")).removeRecursively();
    QDir(QString::fromStdString(server.Home() + "/referring/grpB/Poe")).removeRecursively();
    QDir().mkpath(QString::fromStdString(server.Home() + "/referring/grpC/Moe!x/D"));
    TCatalogue next;
    next.FreeSpace = catalogue.FreeSpace;
    next.Settings = catalogue.Settings;
    ASSERT_TRUE(LocalCache::MakeFolders(next.CaseFolder(cached)));
    std::ofstream(next.CaseFolder(cached) + "IM1") << "pixels";

    EXPECT_EQ(next.ShowRemembered(), 8);
    EXPECT_EQ(next.StatusText().rfind("Showing the list of ", 0), 0u) << next.StatusText();
    EXPECT_NE(next.StatusText().find(" while searching..."), std::string::npos);
    EXPECT_EQ(next.List.FindRow(stale)->RowLight, rlRemote);
    List(next);
    EXPECT_EQ(next.List.FindRow(stale), nullptr);
    EXPECT_NE(next.List.FindRow(cached), nullptr);
    EXPECT_NE(next.List.FindRow(added), nullptr);
    EXPECT_EQ(next.StatusText(), " 8 items (1,024 KB available)");

    // A row a walk of this run found is never removed.
    QDir(QString::fromStdString(server.Home() + "/referring/grpC/Moe!x/D")).removeRecursively();
    List(next);
    EXPECT_NE(next.List.FindRow(added), nullptr);
    // The last walk's list is what the next start shows.
    TCatalogue third;
    third.Settings = catalogue.Settings;
    EXPECT_EQ(third.ShowRemembered(), 6);
}

TEST_F(WorkerTest, CorruptForeignOrPlantedCatalogueFilesAreIgnored)
{
    TSavedCatalogue good;
    good.Time = 1765300000;
    good.Keys = {"g\\p\\s1", "g\\p\\s2"};
    catalogue.Settings.User = "doc";
    catalogue.Settings.Host = "127.0.0.1";
    catalogue.Settings.Port = 2121;
    ASSERT_TRUE(good.Save(catalogue.Settings));
    const std::string file = LocalCache::CatalogueFile("doc", "127.0.0.1", 2121);
    const std::string text = ReadLocal(file);
    auto write = [](const std::string& path, const std::string& content, mode_t mode = 0600) {
        std::ofstream(path) << content;
        ::chmod(path.c_str(), mode);
    };
    struct {
        const char* what;
        std::function<void()> plant;
    } cases[] = {
        {"another user's", [&] { write(file, "caldris catalogue 1\nnurse\n127.0.0.1:2121\n1\ng\\p\\s\n"); }},
        {"a key that leads out", [&] { write(file, text + "g\\..\\s\n"); }},
        {"cut short", [&] { write(file, text + "g\\p\\s3"); }},
        {"no time", [&] { write(file, "caldris catalogue 1\ndoc\n127.0.0.1:2121\nsoon\n"); }},
        {"open to others", [&] { write(file, text, 0644); }},
        {"a link to a good one", [&] {
             write(file + ".real", text);
             ASSERT_EQ(::symlink((file + ".real").c_str(), file.c_str()), 0);
         }},
        {"a folder", [&] { ASSERT_EQ(::mkdir(file.c_str(), 0700), 0); }},
    };
    for (const auto& c : cases) {
        std::remove(file.c_str());
        c.plant();
        TCatalogue shown;
        shown.Settings = catalogue.Settings;
        EXPECT_EQ(shown.ShowRemembered(), 0) << c.what;
        EXPECT_FALSE(shown.ShowingRemembered()) << c.what;
        ::rmdir(file.c_str());
    }
    std::remove(file.c_str());
    ASSERT_TRUE(good.Save(catalogue.Settings));
    EXPECT_EQ(catalogue.ShowRemembered(), 2);
}

// vsftpd takes a protected data connection only when it resumes a TLS
// session of the server's; proftpd alike. Every connection of the case must
// offer one, or the server refuses its transfers (522) and the case runs on
// fewer connections or fails.
TEST_F(WorkerTest, ServerRequiringTlsSessionReuseGivesTheCaseOverFourConnections)
{
    if (const std::string reason = VsftpdServer::SkipReason(); !reason.empty())
        GTEST_SKIP() << reason;
    VsftpdServer vsftpd;
    const std::string key = "g\\Doe\\Reuse";
    constexpr int files = 12;
    for (int i = 1; i <= files; ++i)
        vsftpd.AddFile("referring/g/Doe/Reuse/" + Name(i), Content(i, 40000));
    vsftpd.Start();
    catalogue.Settings = {.Host = "127.0.0.1", .Port = vsftpd.Port(), .User = vsftpd.User().Name(),
                          .Password = vsftpd.User().Password(), .Tls = ConnectionSettings::TlsMode::Required,
                          .CaFile = vsftpd.Authority()};
    catalogue.RootFolder = "referring"; // from the login folder
    Download(key);
    for (int i = 1; i <= files; ++i)
        EXPECT_TRUE(ReadLocal(Local(key, Name(i))) == Content(i, 40000)) << i;
    EXPECT_EQ(catalogue.List.FindRow(key)->RowLight, rlLocal);
    const std::string log = vsftpd.Log();
    EXPECT_EQ(Count(log, "session reuse required"), 0) << log;
    EXPECT_EQ(Count(log, "OK DOWNLOAD"), files) << log;
    EXPECT_GE(Count(log, "OK LOGIN"), 2) << log;
}

// A login that failed for good is not tried again: servers lock accounts
// that keep sending a refused password. The queue waits for a new login,
// the status line saying why; a new login (settings mended) resumes it.
TEST_F(WorkerTest, LoginsThatFailForGoodAreNotRetriedUntilANewLogin)
{
    const FtpServer::TlsFiles tls = server.MakeTlsFiles();
    FtpServer tlsOnly;
    tlsOnly.AddFile("referring/g/Doe/S/" + Name(1), Content(1, 100));
    tlsOnly.Start(QStringList{"--user", "doc:pw"} + tlsOnly.TlsArguments(tls));
    server.AddFile("referring/g/Doe/S/" + Name(1), Content(1, 100));
    Start();
    using Mode = ConnectionSettings::TlsMode;
    const struct {
        const char* what;
        const FtpServer* at;
        std::function<void(ConnectionSettings&)> spoil;
        const char* reason; // the status line begins with it
        const char* login;  // sent once, not again
    } cases[] = {
        {"rejected password", &server, [](ConnectionSettings& s) { s.Password = "wrong"; },
         "Not logged on: The server refused the login (530", "PASS"},
        {"plain login to a server that takes protected ones only", &tlsOnly, [](ConnectionSettings&) {},
         "Not logged on: The server refused the login (550", "USER"},
        {"unverifiable certificate", &tlsOnly, [](ConnectionSettings& s) { s.Tls = Mode::Required; },
         "Not logged on: The server's certificate could not be verified", "AUTH TLS"},
        {"protection refused", &server, [](ConnectionSettings& s) { s.Tls = Mode::Required; },
         "Not logged on: The server refused a protected (TLS) connection.", "AUTH TLS"},
        {"protection in active mode", &server,
         [](ConnectionSettings& s) { s.Tls = Mode::Required, s.Passive = false; },
         "Not logged on: Protected (TLS) connections work in passive mode only", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string before = c.at->Commands();
        const std::string key = "g\\Doe\\S";
        Use(*c.at);
        catalogue.Settings.Tls = Mode::None;
        catalogue.Settings.CaFile.clear();
        c.spoil(catalogue.Settings);
        CaseRow* row = catalogue.List.AddCaseRow(key, rlRemote);
        row->RowMark = rmQueued;
        catalogue.Queue.Add(key);
        TFetchThread worker(catalogue);
        worker.IdleSleepMs = 20;
        worker.start();
        // Given back to the queue: the worker passed by again without a login.
        ASSERT_TRUE(WaitUntil([&] {
            return catalogue.StatusText().rfind(c.reason, 0) == 0 && row->RowMark == rmQueued;
        })) << catalogue.StatusText();
        EXPECT_EQ(catalogue.Settings.Password, "");
        const std::string sent = c.at->Commands().substr(before.size());
        EXPECT_EQ(Count(sent, c.login ? c.login : "USER"), c.login ? 1 : 0) << sent;
        // A new login, with settings that work.
        Use(*c.at);
        catalogue.Settings.Tls = c.at == &tlsOnly ? Mode::Required : Mode::None;
        catalogue.Settings.CaFile = tls.Authority;
        ASSERT_TRUE(WaitUntil([&] { return catalogue.Queue.Empty() && row->RowLight == rlLocal; }));
        EXPECT_EQ(ReadLocal(Local(key, Name(1))), Content(1, 100));
        worker.Terminate();
        QFile::remove(QString::fromStdString(Local(key, Name(1))));
    }
}

TEST_F(WorkerTest, ViewingAnotherCaseStopsTheRunningOneWhichResumesRightAfterIt)
{
    const std::string running = "g\\Doe\\Long", viewed = "g\\Roe\\Viewed";
    for (int i = 1; i <= 4; ++i)
        server.AddFile("referring/g/Doe/Long/f" + std::to_string(i), Content(i, 20000));
    server.AddFile("referring/g/Roe/Viewed/v1", Content(9, 3000));
    Start({"--slow", "f3:1000:0.2", "--slow", "v1:1000:0.3"});
    catalogue.Settings.Connections = 1; // file after file: the stop falls in f3
    catalogue.RootFolder = "/referring";
    CaseRow* row = catalogue.List.AddCaseRow(running, rlRemote);
    row->RowMark = rmQueued;
    catalogue.Queue.Add(running);
    CaseRow* other = catalogue.List.AddCaseRow(viewed, rlRemote);
    TFetchThread worker(catalogue);
    worker.IdleSleepMs = 20;
    worker.start();
    ASSERT_TRUE(WaitUntil([&] { return Exists(Local(running, "f3")); }));
    catalogue.ViewWhileDownloading(viewed);
    const std::shared_ptr<TCaseArrivals> arrivals = catalogue.Followed;
    ASSERT_NE(arrivals, nullptr);
    EXPECT_EQ(catalogue.Queue[0] + "," + catalogue.Queue[1], viewed + "," + running);
    // While the viewed case downloads, the stopped one waits, its complete
    // files kept and the one cut short gone.
    ASSERT_TRUE(WaitUntil([&] { return catalogue.ActiveKey == viewed; }));
    EXPECT_EQ(row->RowLight * 10 + row->RowMark, rlIncomplete * 10 + rmQueued);
    EXPECT_EQ(ReadLocal(Local(running, "f1")), Content(1, 20000));
    EXPECT_EQ(ReadLocal(Local(running, "f2")), Content(2, 20000));
    EXPECT_FALSE(Exists(Local(running, "f3")));
    EXPECT_EQ(catalogue.Queue[1], running);

    // Then both end complete; the viewed one's arrivals with its file.
    ASSERT_TRUE(WaitUntil([&] { return catalogue.Queue.Empty() && row->RowLight == rlLocal; }));
    worker.Terminate();
    EXPECT_EQ(other->RowLight, rlLocal);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(ReadLocal(Local(running, "f" + std::to_string(i))), Content(i, 20000));
    const TCaseArrivals::Batch batch = arrivals->Wait(0, [] { return false; });
    EXPECT_TRUE(batch.Ended && batch.Complete && batch.Names == std::vector<std::string>{"v1"});
}
