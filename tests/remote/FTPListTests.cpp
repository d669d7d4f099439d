#include "FtpServer.h"
#include "HostileServer.h"
#include "ILoginDialog.h"
#include "ScopedEnv.h"
#include "TFTPList.h"
#include "TFetchThread.h"
#include "TLocalCache.h"
#include "WaitUntil.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>

namespace {

// A download manager pane with rows of every kind, not logged in, its
// questions answered by the test and its "view" requests counted.
class FTPListTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    const ScopedEnv cache{"XDG_CACHE_HOME", tmp.path()};
    std::unique_ptr<TFTPList> pane;
    int views = 0;
    int asked = 0;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;

    void SetUp() override
    {
        pane = std::make_unique<TFTPList>();
        pane->OnViewCase = [this] { ++views; };
        pane->AskFinish = [this] { ++asked; return answer; };
        pane->AskPurge = [this] { ++asked; return answer; };
        pane->Catalogue.Settings.User = "doc";
        pane->Catalogue.Settings.Host = "127.0.0.1";
        pane->Catalogue.Settings.Port = 1; // nothing listens: listings end at once
        pane->Catalogue.FreeSpace = [] { return std::optional<int64_t>(4096); };
    }
    void TearDown() override
    {
        pane.reset();
    }

    CaseRow* Row(const std::string& key, int light, int mark = rmNone)
    {
        CaseRow* r = pane->Catalogue.List.AddCaseRow(key, light);
        r->RowLight = light;
        r->RowMark = mark;
        return r;
    }
    void Pick(const CaseRow* r) { pane->SelectRow(r); }
    struct Menu {
        bool view, select, deselect, purge;
        QString bold;
    };
    Menu Popup()
    {
        pane->PopupMenu1Popup();
        QAction* bold = pane->PopupMenu1->defaultAction();
        return {pane->ViewCase1->isEnabled(), pane->SelectCurrent1->isEnabled(), pane->DeselectCurrent1->isEnabled(),
                pane->DeleteCase1->isEnabled(), bold ? bold->text() : QString()};
    }
};

void ExpectMenu(const char* what, const auto& m, bool view, bool select, bool deselect, bool purge, const char* bold)
{
    EXPECT_EQ(m.view, view) << what;
    EXPECT_EQ(m.select, select) << what;
    EXPECT_EQ(m.deselect, deselect) << what;
    EXPECT_EQ(m.purge, purge) << what;
    EXPECT_EQ(m.bold, QString(bold)) << what;
}

} // namespace

TEST_F(FTPListTest, MenuFollowsTheSelectedRowsSituation)
{
    const CaseRow* local = Row("g\\a\\local", rlLocal);
    const CaseRow* remote = Row("g\\b\\remote", rlRemote);
    const CaseRow* incomplete = Row("g\\c\\incomplete", rlIncomplete);
    const CaseRow* queuedRemote = Row("g\\d\\queued", rlRemote, rmQueued);
    const CaseRow* queuedIncomplete = Row("g\\e\\queuedinc", rlIncomplete, rmQueued);
    const CaseRow* queuedLocal = Row("g\\f\\queuedlocal", rlLocal, rmQueued);
    const CaseRow* active = Row("g\\h\\active", rlDownloading, rmActive);
    const CaseRow* downloading = Row("g\\i\\odd", rlDownloading, rmNone);

    pane->ListView1->clearSelection();
    ExpectMenu("none", Popup(), false, false, false, false, "View Case");
    Pick(queuedRemote);
    ExpectMenu("queued remote", Popup(), true, false, true, false, "Deselect Current");
    Pick(queuedIncomplete);
    ExpectMenu("queued incomplete", Popup(), true, false, true, true, "View Case");
    Pick(queuedLocal);
    ExpectMenu("queued local", Popup(), true, false, true, true, "Deselect Current");
    Pick(active);
    ExpectMenu("active", Popup(), true, false, true, false, "Deselect Current");
    Pick(local);
    ExpectMenu("local", Popup(), true, false, false, true, "View Case");
    Pick(remote);
    ExpectMenu("remote", Popup(), true, true, false, false, "Select Current");
    Pick(incomplete);
    ExpectMenu("incomplete", Popup(), true, true, false, true, "View Case");
    Pick(downloading); // no rule: as at the last opening
    ExpectMenu("as before", Popup(), true, true, false, true, "View Case");

    // Stop and resume appear only with a queue.
    EXPECT_FALSE(pane->StopDownloading1->isVisible());
    EXPECT_FALSE(pane->ResumeDownloading1->isVisible());
    pane->Catalogue.Queue.Add("g\\d\\queued");
    Popup();
    EXPECT_TRUE(pane->StopDownloading1->isVisible());
    EXPECT_FALSE(pane->ResumeDownloading1->isVisible());
    pane->StopDownloading1->trigger();
    Popup();
    EXPECT_FALSE(pane->StopDownloading1->isVisible());
    EXPECT_TRUE(pane->ResumeDownloading1->isVisible());
    // Exactly one bold item.
    int bold = 0;
    for (QAction* a : pane->PopupMenu1->actions())
        bold += a == pane->PopupMenu1->defaultAction();
    EXPECT_EQ(bold, 1);
}

TEST_F(FTPListTest, DoubleClickRules)
{
    CaseRow* queued = Row("g\\a\\q", rlRemote, rmQueued);
    pane->Catalogue.Queue.Add(queued->Key());
    Pick(queued);
    pane->ListView1DblClick();
    EXPECT_EQ(queued->RowMark, rmNone);
    EXPECT_EQ(queued->RowLight, rlRemote);
    EXPECT_TRUE(pane->Catalogue.Queue.Empty());

    CaseRow* remote = Row("g\\b\\r", rlRemote);
    pane->Catalogue.DownloadsPaused = true;
    Pick(remote);
    pane->ListView1DblClick();
    EXPECT_EQ(remote->RowMark, rmQueued);
    EXPECT_EQ(pane->Catalogue.Queue.IndexOf("G\\B\\R"), 0);
    EXPECT_FALSE(pane->Catalogue.DownloadsPaused);

    CaseRow* active = remote;
    active->RowMark = rmActive;
    pane->ListView1DblClick(); // the head: stops downloading and leaves the queue
    EXPECT_TRUE(pane->Catalogue.DownloadsPaused);
    EXPECT_EQ(active->RowMark, rmNone);
    EXPECT_TRUE(pane->Catalogue.Queue.Empty());

    CaseRow* local = Row("g\\c\\l", rlLocal);
    Pick(local);
    pane->ListView1DblClick();
    EXPECT_EQ(views, 1);
    EXPECT_EQ(asked, 0);

    CaseRow* incomplete = Row("g\\d\\i", rlIncomplete);
    Pick(incomplete);
    answer = QMessageBox::Cancel;
    pane->ListView1DblClick();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(views, 1);
    EXPECT_EQ(incomplete->RowMark, rmNone);
    answer = QMessageBox::No;
    pane->ListView1DblClick();
    EXPECT_EQ(views, 2);
    answer = QMessageBox::Yes;
    pane->ListView1DblClick();
    EXPECT_EQ(incomplete->RowMark, rmQueued);
    EXPECT_TRUE(pane->Catalogue.Queue.Contains(incomplete->Key()));
}

TEST_F(FTPListTest, ViewCaseOpensEveryCaseAndPutsOneToDownloadFirst)
{
    TCatalogue& c = pane->Catalogue;
    CaseRow* local = Row("g\\a\\l", rlLocal);
    Pick(local);
    pane->ViewCase1->trigger();
    EXPECT_EQ(views, 1);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(pane->SelectedCaseArrivals(), nullptr); // nothing to follow

    // The running case stops for the one viewed and waits right after it.
    CaseRow* running = Row("g\\h\\run", rlDownloading, rmActive);
    c.Queue.Add(running->Key());
    c.ActiveKey = running->Key();
    CaseRow* remote = Row("g\\b\\r", rlRemote);
    c.DownloadsPaused = true;
    Pick(remote);
    pane->ViewCase1Click();
    EXPECT_EQ(views, 2);
    EXPECT_TRUE(c.StopActiveCase && !c.DownloadsPaused && remote->RowMark == rmQueued);
    EXPECT_EQ(c.Queue[0] + "," + c.Queue[1], remote->Key() + "," + running->Key());
    ASSERT_NE(pane->SelectedCaseArrivals(), nullptr);
    EXPECT_EQ(pane->SelectedCaseArrivals()->Key(), remote->Key());

    // Incomplete: the question stays; Yes also opens it, first in the queue.
    CaseRow* incomplete = Row("g\\c\\i", rlIncomplete);
    Pick(incomplete);
    answer = QMessageBox::Cancel;
    pane->ViewCase1Click();
    EXPECT_EQ(views, 2);
    answer = QMessageBox::Yes;
    pane->ViewCase1Click();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(views, 3);
    EXPECT_EQ(incomplete->RowMark, rmQueued);
    EXPECT_EQ(c.Queue[0], incomplete->Key());
}

TEST_F(FTPListTest, SelectAllTwiceQueuesTwiceAndDeselectAllKeepsTheHead)
{
    Row("g\\a\\1", rlRemote);
    Row("g\\b\\2", rlIncomplete);
    Row("g\\c\\3", rlLocal);
    pane->Catalogue.DownloadsPaused = true;
    pane->SelectAll1Click();
    pane->SelectAll1Click();
    EXPECT_EQ(pane->Catalogue.Queue.Count(), 4);
    EXPECT_FALSE(pane->Catalogue.DownloadsPaused);
    EXPECT_EQ(pane->Catalogue.List.FindRow("g\\c\\3")->RowMark, rmNone);

    pane->DeselectAll1Click(); // not paused: every entry but the head goes
    EXPECT_EQ(pane->Catalogue.Queue.Count(), 1);
    for (int i = 0; i < pane->Catalogue.List.Count(); ++i)
        EXPECT_NE(pane->Catalogue.List.Row(i)->RowMark, rmQueued);
    pane->SelectAll1Click();
    pane->Catalogue.DownloadsPaused = true;
    pane->DeselectAll1Click(); // paused: the queue empties
    EXPECT_TRUE(pane->Catalogue.Queue.Empty());
}

TEST_F(FTPListTest, DeselectingTheHeadStopsDownloading)
{
    CaseRow* first = Row("g\\a\\1", rlRemote);
    CaseRow* second = Row("g\\b\\2", rlRemote);
    Pick(first);
    pane->SelectCurrent1Click();
    Pick(second);
    pane->SelectCurrent1Click();
    pane->SelectCurrent1Click(); // already queued: once only
    EXPECT_EQ(pane->Catalogue.Queue.Count(), 2);
    pane->DeselectCurrent1Click(); // not the head
    EXPECT_FALSE(pane->Catalogue.DownloadsPaused);
    Pick(first);
    pane->DeselectCurrent1Click();
    EXPECT_TRUE(pane->Catalogue.DownloadsPaused);
    EXPECT_TRUE(pane->Catalogue.Queue.Empty());
    EXPECT_EQ(first->RowMark, rmNone);
}

TEST_F(FTPListTest, DeleteCaseFromLocalDisk)
{
    const std::string key = "g\\p\\s";
    const std::string folder = pane->Catalogue.CaseFolder(key);
    ASSERT_TRUE(LocalCache::MakeFolders(folder + "sub"));
    std::ofstream(folder + "a.dcm") << "data";
    std::ofstream(folder + "Incomplete") << "";
    CaseRow* row = Row(key, rlIncomplete, rmQueued);
    row->SubItems[riSize] = "4   ";
    row->SubItems[riTransfer] = "Incomplete";
    pane->Catalogue.Queue.Add(key);
    Pick(row);
    answer = QMessageBox::No;
    pane->DeleteCase1Click();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "a.dcm")));
    answer = QMessageBox::Yes;
    pane->DeleteCase1Click();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "a.dcm")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "Incomplete")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "sub")));
    EXPECT_EQ(row->RowLight, rlRemote);
    EXPECT_EQ(row->RowMark, rmNone);
    EXPECT_EQ(row->SubItems[riSize], "-");
    EXPECT_EQ(row->SubItems[riTransfer], "");
    EXPECT_TRUE(pane->Catalogue.Queue.Empty());
    EXPECT_EQ(asked, 2);
}

TEST_F(FTPListTest, RefreshShowsTheCaseInProgressRemoteAndQueued)
{
    CaseRow* active = Row("g\\a\\busy", rlDownloading, rmActive);
    active->SubItems[riTransfer] = "25% less than a minute remaining";
    pane->Catalogue.Queue.Add(active->Key());
    CaseRow* other = Row("g\\b\\other", rlLocal);
    pane->RefreshList();
    EXPECT_EQ(active->RowLight, rlRemote);
    EXPECT_EQ(active->RowMark, rmQueued);
    EXPECT_EQ(active->SubItems[riTransfer], "25% less than a minute remaining"); // texts stay
    EXPECT_EQ(other->RowLight, rlRemote); // not in the cache any more
    EXPECT_EQ(other->SubItems[riSize], "-");
    QElapsedTimer t;
    t.start();
    while (pane->StatusBar1->text() != " 2 items (4 KB available)" && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(pane->StatusBar1->text(), " 2 items (4 KB available)");
}

TEST_F(FTPListTest, HeaderClicksSortAscendingAndRowsWithoutSizeComeFirst)
{
    CaseRow* big = Row("g\\Alpha\\1", rlLocal);
    big->SubItems[riSizeKey] = SizeSortKey(900000);
    Row("g\\Bravo\\2", rlRemote);
    CaseRow* small = Row("g\\Charlie\\3", rlLocal);
    small->SubItems[riSizeKey] = SizeSortKey(10);
    Pick(big);
    emit pane->ListView1->header()->sectionClicked(2);
    EXPECT_EQ(pane->Catalogue.List.SortColumn(), 2);
    EXPECT_EQ(pane->Catalogue.List.Row(0)->Caption, "Bravo");
    EXPECT_EQ(pane->Catalogue.List.Row(1)->Caption, "Charlie");
    EXPECT_EQ(pane->Catalogue.List.Row(2)->Caption, "Alpha");
    EXPECT_EQ(pane->SelectedRow(), big); // the selection follows its row
    emit pane->ListView1->header()->sectionClicked(0);
    EXPECT_EQ(pane->Catalogue.List.Row(0)->Caption, "Alpha");
    EXPECT_EQ(pane->ListView1->model()->data(pane->ListView1->model()->index(1, 0)).toString(), "Bravo");
}

namespace {

// Plays the user at the login dialog: each showing takes the next answer,
// OK (true) or Cancel; one showing too many cancels.
class AnsweringDialog : public ILoginDialog {
public:
    AnsweringDialog(std::deque<bool>& answers, int& shown, QString user = "doc")
        : m_answers(answers), m_shown(shown), m_user(std::move(user))
    {
    }
    bool Execute() override
    {
        ++m_shown;
        const bool ok = !m_answers.empty() && m_answers.front();
        if (!m_answers.empty())
            m_answers.pop_front();
        return ok;
    }
    QString UserNameText() const override { return m_user; }
    QString PasswordText() const override { return "pw"; }
    bool RememberChecked() const override { return false; }

private:
    std::deque<bool>& m_answers;
    int& m_shown;
    QString m_user;
};

bool Exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

// The pane as the program runs it: the settings file names a real server,
// FormCreate runs the login loop with OK (true) or Cancel (false) answers.
class LoggingOnPaneTest : public ::testing::Test {
protected:
    FtpServer server;
    QTemporaryDir tmp;
    std::unique_ptr<TFTPList> pane;
    std::deque<bool> answers;
    int shown = 0;
    const std::string key = "g\\Doe\\CT";

    void SetUp() override
    {
        qputenv("TMPDIR", tmp.path().toUtf8());
        qputenv("XDG_CACHE_HOME", tmp.filePath("cache").toUtf8());
        qputenv("CALDRIS_INI", tmp.filePath("CALDRIS.INI").toUtf8());
        for (int i = 1; i <= 3; ++i)
            server.AddFile("referring/g/Doe/CT/f" + std::to_string(i), std::string(5000, char('0' + i)));
    }
    void TearDown() override
    {
        pane.reset();
        qunsetenv("TMPDIR");
        qunsetenv("XDG_CACHE_HOME");
        qunsetenv("CALDRIS_INI");
    }
    void Create(const QStringList& faults = {})
    {
        server.Start(QStringList{"--user", "doc:pw"} + faults);
        QFile ini(tmp.filePath("CALDRIS.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QString("[FTP]\nHost=127.0.0.1\nPort=%1\nRoot=/referring\n").arg(server.Port()).toUtf8());
        ini.close();
        pane = std::make_unique<TFTPList>();
        pane->DialogFactory = [this] { return std::make_unique<AnsweringDialog>(answers, shown); };
        pane->Message = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
        pane->AskPurge = [] { return QMessageBox::Yes; };
        pane->FetchIdleSleepMs = 20;
        pane->Catalogue.FreeSpace = [] { return std::optional<int64_t>(4096); };
        pane->FormCreate();
    }
    CaseRow* SelectCase()
    {
        CaseRow* row = pane->Catalogue.List.AddCaseRow(key, rlRemote);
        pane->SelectRow(row);
        pane->SelectCurrent1Click();
        return row;
    }
    std::string Local(const std::string& name) { return pane->Catalogue.CaseFolder(key) + name; }
};

} // namespace

// Whatever the server does, the download manager (and with it the program)
// ends within two seconds, while the listing and the download worker are
// both waiting for the server.
TEST_F(FTPListTest, EndsPromptlyWhateverTheServerDoes)
{
    const struct {
        const char* what;
        HostileServer::Kind kind;
    } servers[] = {{"never greets", HostileServer::Mute},
                   {"never answers a command", HostileServer::Deaf},
                   {"accepts no connection", HostileServer::Unreachable}};
    for (const auto& s : servers) {
        HostileServer hostile(s.kind);
        const QString ini = tmp.filePath("CALDRIS.INI");
        {
            QFile f(ini);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QString("[FTP]\nHost=127.0.0.1\nPort=%1\n").arg(hostile.Port()).toUtf8());
        }
        qputenv("CALDRIS_INI", ini.toUtf8());
        auto manager = std::make_unique<TFTPList>();
        std::deque<bool> answers{true};
        int shown = 0;
        manager->DialogFactory = [&] { return std::make_unique<AnsweringDialog>(answers, shown); };
        std::vector<QString> messages;
        manager->Message = [&](const QString& text) { messages.push_back(text); };
        manager->FetchIdleSleepMs = 20;
        manager->IdFTP1.ConnectTimeoutMs = 300;
        manager->FormCreate(); // the login gives up: not responding, password held
        EXPECT_EQ(messages.size(), 1u) << s.what;
        CaseRow* row = manager->Catalogue.List.AddCaseRow("g\\p\\s", rlRemote);
        manager->Catalogue.Queue.Add(row->Key());
        manager->RefreshList();
        EXPECT_TRUE(WaitUntil([&] { return row->RowLight == rlDownloading; })) << s.what;
        WaitUntil([] { return false; }, 300); // both workers now wait in their connects
        QElapsedTimer t;
        t.start();
        manager.reset();
        // The workers' connects would wait 15 s; an end without them takes
        // well under one.
        EXPECT_LT(t.elapsed(), 5000) << s.what;
        qunsetenv("CALDRIS_INI");
    }
}

TEST_F(LoggingOnPaneTest, AfterCancelShowingTheListOrAskingForADownloadLogsOnAgain)
{
    answers = {false, false, false, true};
    Create();
    EXPECT_EQ(shown, 1);
    pane->LogOnWhenNeeded(); // the main window shows the list again
    EXPECT_EQ(shown, 2);
    CaseRow* row = SelectCase();
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(row->RowMark, rmQueued);
    // Cancelled again: the queued case says why it does not start.
    EXPECT_TRUE(WaitUntil([&] { return pane->StatusBar1->text() == TFetchThread::NotLoggedOnText; }));
    EXPECT_EQ(row->RowLight, rlRemote);
    pane->Refresh1->trigger(); // logs on this time
    EXPECT_EQ(shown, 4);
    EXPECT_TRUE(WaitUntil([&] { return row->RowLight == rlLocal; }));
    EXPECT_EQ(QFile(QString::fromStdString(Local("f3"))).size(), 5000);
    EXPECT_TRUE(pane->Catalogue.Queue.Empty());
    pane->LogOnWhenNeeded(); // a password is held: no dialog
    EXPECT_EQ(shown, 4);
}

TEST_F(LoggingOnPaneTest, ARejectedLoginListsTheLastUsersCachedCasesAsCancelDoes)
{
    server.Start({"--user", "doc:pw"});
    ASSERT_TRUE(LocalCache::MakeFolders(LocalCache::CaseFolder("doc", key)));
    std::ofstream(LocalCache::CaseFolder("doc", key) + "f1") << "cached";
    // Cancel at once, or three rejections of another name than the last user's.
    for (const std::deque<bool>& run : {std::deque<bool>{false}, std::deque<bool>{true, true, true}}) {
        QFile ini(tmp.filePath("CALDRIS.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QString("[FTP]\nHost=127.0.0.1\nPort=%1\nUser=doc\n").arg(server.Port()).toUtf8());
        ini.close();
        answers = run;
        pane = std::make_unique<TFTPList>();
        pane->DialogFactory = [this] { return std::make_unique<AnsweringDialog>(answers, shown, "eve"); };
        pane->Message = [](const QString&) {};
        pane->FormCreate();
        pane->RefreshList();
        const CaseRow* row = pane->Catalogue.List.FindRow(key);
        EXPECT_TRUE(row && row->RowLight == rlLocal) << run.size();
    }
}

TEST_F(LoggingOnPaneTest, TheCaseInProgressCannotBePurged)
{
    answers = {true};
    Create({"--slow", "f2:500:0.1"});
    CaseRow* row = SelectCase();
    ASSERT_TRUE(WaitUntil([&] { return Exists(Local("f2")); }));
    pane->RefreshList(); // the case in progress shows Incomplete and Queued
    EXPECT_EQ(row->RowLight, rlIncomplete);
    EXPECT_EQ(row->RowMark, rmQueued);
    pane->PopupMenu1Popup();
    EXPECT_FALSE(pane->DeleteCase1->isEnabled());
    pane->DeleteCase1Click();
    EXPECT_TRUE(Exists(Local("f1")));
    ASSERT_TRUE(WaitUntil([&] { return row->RowLight != rlIncomplete; }));
    EXPECT_EQ(row->RowLight, rlLocal);
    for (const char* name : {"f1", "f2", "f3"})
        EXPECT_EQ(QFile(QString::fromStdString(Local(name))).size(), 5000) << name;
    // Finished, it can be purged.
    pane->PopupMenu1Popup();
    EXPECT_TRUE(pane->DeleteCase1->isEnabled());
}
