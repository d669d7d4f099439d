#include "TFTPList.h"

#include "TCaseListModel.h"
#include "TFetchThread.h"
#include "TListThread.h"
#include "TLocalCache.h"
#include "TLoginDlg.h"
#include "TProfile.h"

#include <QAction>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

const QString TFTPList::FinishQuestion =
    "This case never finished downloading. Click Yes to finish downloading. Click No to view the files that made it.  "
    "Click Cancel to do nothing.";
const QString TFTPList::PurgeQuestion = "Really purge the selected case from your disk?";

TFTPList::TFTPList(QWidget* parent) : QWidget(parent)
{
    IdFTP1.ReceiveBufferSize = 8192;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ListView1 = new QTreeView(this);
    m_model = new TCaseListModel(Catalogue.List, this);
    ListView1->setModel(m_model);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setFrameShape(QFrame::NoFrame);
    ListView1->setIconSize(QSize(36, 18));
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    // Grid lines between the cells, the list in its parent's colour.
    ListView1->setStyleSheet("QTreeView { background: palette(window); gridline-color: #c8c8c8; }"
                             "QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }"
                             "QTreeView::item:selected { background: #2f64b0; color: white; }"
                             "QTreeView::item:selected:!active { background: #5a83c0; color: white; }");
    QHeaderView* header = ListView1->header();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setStretchLastSection(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) { ListView1ColumnClick(column); });
    connect(ListView1, &QTreeView::doubleClicked, this, [this] { ListView1DblClick(); });
    layout->addWidget(ListView1, 1);

    StatusBar1 = new QLabel(this);
    StatusBar1->setFixedHeight(23);
    StatusBar1->setFrameShape(QFrame::StyledPanel);
    StatusBar1->setFrameShadow(QFrame::Sunken);
    // Status texts carry server names and replies: never markup.
    StatusBar1->setTextFormat(Qt::PlainText);
    layout->addWidget(StatusBar1);
    Catalogue.OnStatusChanged = [this] { StatusBar1->setText(QString::fromStdString(Catalogue.StatusText())); };
    Catalogue.OnListingDone = [this] { ListView1->unsetCursor(); };

    PopupMenu1 = new QMenu(this);
    ViewCase1 = PopupMenu1->addAction("View Case", this, [this] { ViewCase1Click(); });
    PopupMenu1->addSeparator();
    SelectCurrent1 = PopupMenu1->addAction("Select Current", this, [this] { SelectCurrent1Click(); });
    SelectAll1 = PopupMenu1->addAction("Select All", this, [this] { SelectAll1Click(); });
    DeselectCurrent1 = PopupMenu1->addAction("Deselect Current", this, [this] { DeselectCurrent1Click(); });
    DeselectAll1 = PopupMenu1->addAction("Deselect All", this, [this] { DeselectAll1Click(); });
    PopupMenu1->addSeparator();
    StopDownloading1 = PopupMenu1->addAction("Stop Downloading", this, [this] { StopDownloading1Click(); });
    ResumeDownloading1 = PopupMenu1->addAction("Resume Downloading", this, [this] { ResumeDownloading1Click(); });
    PopupMenu1->addSeparator();
    DeleteCase1 = PopupMenu1->addAction("Delete Case from Local Disk", this, [this] { DeleteCase1Click(); });
    PopupMenu1->addSeparator();
    Refresh1 = PopupMenu1->addAction("Refresh (update) List", this, [this] { Refresh1Click(); });
    StopDownloading1->setVisible(false);
    ResumeDownloading1->setVisible(false);
    PopupMenu1->setDefaultAction(ViewCase1);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1Popup();
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at));
    });
}

TFTPList::~TFTPList() { FormDestroy(); }

LoginOutcome TFTPList::RunLoginLoop()
{
    TProfile profile = TProfile::Default();
    TLoginLoop::DialogFactory dialog = DialogFactory;
    if (!dialog)
        dialog = [&profile, this] { return std::unique_ptr<ILoginDialog>(new TLoginDlg(profile, window())); };
    TLoginLoop loop(profile, IdFTP1, dialog, Message ? Message : TLoginLoop::MessageSink(&TLoginLoop::ShowInformation));
    const LoginOutcome outcome = loop.Run();
    if (outcome == LoginOutcome::Rejected) {
        // The rejected name is nobody's here: the cache listed stays the
        // last user's, as after Cancel.
        IdFTP1.Settings.User = profile.ReadString("FTP", "User", QString()).toStdString();
    }
    Catalogue.Settings = IdFTP1.Settings;
    return outcome;
}

void TFTPList::FormCreate()
{
    RunLoginLoop();
    Catalogue.Queue.Clear();
    Catalogue.List.SortBy(0);
    m_initialised = true;
    m_fetch = new TFetchThread(Catalogue);
    m_fetch->IdleSleepMs = FetchIdleSleepMs;
    m_fetch->start();
}

void TFTPList::FormDestroy()
{
    for (const QPointer<TListThread>& listing : m_listings)
        if (listing && listing->isRunning())
            listing->Stop();
    m_listings.clear();
    if (m_fetch) {
        m_fetch->Terminate();
        delete m_fetch;
        m_fetch = nullptr;
    }
    Catalogue.Queue.Clear();
}

void TFTPList::RefreshList()
{
    ListView1->setCursor(Qt::BusyCursor);
    // The first list of the run starts from the last one a walk found.
    if (!m_listedBefore)
        Catalogue.ShowRemembered();
    m_listedBefore = true;
    for (int i = 0; i < Catalogue.List.Count(); ++i) {
        CaseRow* row = Catalogue.List.Row(i);
        row->RowLight = rlRemote;
        row->RowMark = Catalogue.Queue.Contains(row->Key()) ? rmQueued : rmNone;
        row->SubItems[riSize].assign(1, '-');
        Changed(row);
    }
    LocalCache::ScanLocalCache(Catalogue.List, Catalogue.Settings.User);
    const TProfile profile = TProfile::Default();
    m_listings.erase(std::remove_if(m_listings.begin(), m_listings.end(), [](const auto& p) { return !p; }),
                     m_listings.end());
    m_listings.push_back(
        TListThread::Start(Catalogue, [profile] { return ConnectionSettings::ReadRoot(profile); }));
}

bool TFTPList::LogOnAgain()
{
    // The loop's modal dialog serves events; a second ask meanwhile waits.
    if (!m_initialised || m_loggingOn || !Catalogue.Settings.Password.empty())
        return false;
    m_loggingOn = true;
    // The worker may have dropped a refused password: the login asks anew.
    IdFTP1.Settings.Password.clear();
    RunLoginLoop();
    m_loggingOn = false;
    return !Catalogue.Settings.Password.empty();
}

void TFTPList::LogOnWhenNeeded()
{
    if (LogOnAgain())
        RefreshList();
}

void TFTPList::Refresh1Click()
{
    LogOnAgain();
    RefreshList();
}

void TFTPList::ResumeDownloading1Click()
{
    Catalogue.DownloadsPaused = false;
    LogOnWhenNeeded();
}

std::string TFTPList::SelectedCaseFolder() const
{
    const CaseRow* row = SelectedRow();
    return row ? Catalogue.CaseFolder(row->Key()) : std::string();
}

CaseRow* TFTPList::SelectedRow() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : m_model->RowAt(rows.first());
}

void TFTPList::SelectRow(const CaseRow* row)
{
    const int index = Catalogue.List.IndexOf(row);
    if (index < 0) {
        ListView1->clearSelection();
        return;
    }
    ListView1->setCurrentIndex(m_model->index(index, 0));
}

void TFTPList::PopupMenu1Popup()
{
    const CaseRow* row = SelectedRow();
    auto set = [this](bool view, bool select, bool deselect, bool purge, QAction* bold) {
        ViewCase1->setEnabled(view);
        SelectCurrent1->setEnabled(select);
        DeselectCurrent1->setEnabled(deselect);
        DeleteCase1->setEnabled(purge);
        PopupMenu1->setDefaultAction(bold);
    };
    // Every case can be viewed: one still to download is shown as it arrives.
    if (!row) {
        set(false, false, false, false, ViewCase1);
    } else if (row->RowMark == rmQueued) {
        const bool remote = row->RowLight == rlRemote;
        set(true, false, true, !remote, row->RowLight == rlIncomplete ? ViewCase1 : DeselectCurrent1);
    } else if (row->RowMark == rmActive) {
        set(true, false, true, false, DeselectCurrent1);
    } else if (row->RowLight == rlLocal) {
        set(true, false, false, true, ViewCase1);
    } else if (row->RowLight == rlRemote) {
        set(true, true, false, false, SelectCurrent1);
    } else if (row->RowLight == rlIncomplete) {
        set(true, true, false, true, ViewCase1);
    } // anything else: as at the last opening
    // The worker's case is never purged under it: its files would be
    // fetched around the gap and the case shown complete.
    if (row && row->Key() == Catalogue.ActiveKey)
        DeleteCase1->setEnabled(false);
    const bool queued = !Catalogue.Queue.Empty();
    StopDownloading1->setVisible(queued && !Catalogue.DownloadsPaused);
    ResumeDownloading1->setVisible(queued && Catalogue.DownloadsPaused);
}

QMessageBox::StandardButton TFTPList::Ask(bool finish)
{
    if (finish)
        return AskFinish ? AskFinish()
                         : QMessageBox::warning(window(), window()->windowTitle(), FinishQuestion,
                                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    return AskPurge ? AskPurge()
                    : QMessageBox::question(window(), window()->windowTitle(), PurgeQuestion,
                                            QMessageBox::Yes | QMessageBox::No);
}

void TFTPList::PostViewCase()
{
    if (OnViewCase)
        OnViewCase();
}

void TFTPList::Queue(CaseRow* row)
{
    Catalogue.Queue.AddUnique(row->Key());
    row->RowMark = rmQueued;
    Changed(row);
    Catalogue.DownloadsPaused = false;
    LogOnWhenNeeded();
}

void TFTPList::ViewCase1Click()
{
    CaseRow* row = SelectedRow();
    if (!row)
        return;
    const bool toDownload = row->RowMark == rmQueued || row->RowMark == rmActive || row->RowLight == rlRemote;
    const QMessageBox::StandardButton answer =
        toDownload ? QMessageBox::Yes : row->RowLight == rlIncomplete ? Ask(true) : QMessageBox::No;
    if (answer == QMessageBox::No) {
        PostViewCase();
    } else if (answer == QMessageBox::Yes) {
        ViewWhileDownloading(row);
    }
}

void TFTPList::ViewWhileDownloading(CaseRow* row)
{
    Catalogue.ViewWhileDownloading(row->Key());
    if (row->RowMark != rmActive) {
        row->RowMark = rmQueued;
        Changed(row);
    }
    LogOnWhenNeeded();
    PostViewCase();
}

std::shared_ptr<TCaseArrivals> TFTPList::SelectedCaseArrivals() const
{
    // Only a case on its way: "No" to the question opens what is there.
    const CaseRow* row = SelectedRow();
    if (!row || (row->RowMark != rmQueued && row->RowMark != rmActive))
        return nullptr;
    return Catalogue.FollowedIn(SelectedCaseFolder());
}

void TFTPList::SelectCurrent1Click()
{
    CaseRow* row = SelectedRow();
    if (row && (row->RowLight == rlRemote || row->RowLight == rlIncomplete))
        Queue(row);
}

void TFTPList::SelectAll1Click()
{
    for (int i = 0; i < Catalogue.List.Count(); ++i) {
        CaseRow* row = Catalogue.List.Row(i);
        if (row->RowLight == rlRemote || row->RowLight == rlIncomplete) {
            Catalogue.Queue.Add(row->Key());
            row->RowMark = rmQueued;
            Changed(row);
        }
    }
    Catalogue.DownloadsPaused = false;
    LogOnWhenNeeded();
}

void TFTPList::DeselectCurrent1Click()
{
    CaseRow* row = SelectedRow();
    if (!row || (row->RowMark != rmQueued && row->RowMark != rmActive))
        return;
    const int index = Catalogue.Queue.IndexOf(row->Key());
    if (index == 0)
        Catalogue.DownloadsPaused = true; // the head is the case in progress
    row->RowMark = rmNone;
    Changed(row);
    Catalogue.Queue.Delete(index);
}

void TFTPList::DeselectAll1Click()
{
    for (int i = 0; i < Catalogue.List.Count(); ++i) {
        CaseRow* row = Catalogue.List.Row(i);
        if (row->RowMark == rmQueued) {
            row->RowMark = rmNone;
            Changed(row);
        }
    }
    if (Catalogue.DownloadsPaused) {
        Catalogue.Queue.Clear();
    } else {
        while (Catalogue.Queue.Count() > 1)
            Catalogue.Queue.Delete(1);
    }
}

void TFTPList::DeleteCase1Click()
{
    CaseRow* row = SelectedRow();
    if (!row || row->RowLight == rlRemote || row->Key() == Catalogue.ActiveKey)
        return;
    if (Ask(false) == QMessageBox::No)
        return;
    // Every plain file of the case folder, the marker included; folders stay.
    const std::string folder = Catalogue.CaseFolder(row->Key());
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string path = folder + e->d_name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
                ::unlink(path.c_str());
        }
        ::closedir(dir);
    }
    row->RowLight = rlRemote;
    row->RowMark = rmNone;
    row->SubItems[riSize].assign(1, '-');
    row->SubItems[riTransfer].clear();
    row->SubItems[riSizeKey].clear();
    Changed(row);
    Catalogue.Queue.Remove(row->Key());
}

void TFTPList::ListView1DblClick()
{
    CaseRow* row = SelectedRow();
    if (!row)
        return;
    if (row->RowMark == rmQueued && row->RowLight != rlIncomplete) {
        Catalogue.Queue.Remove(row->Key());
        row->RowLight = rlRemote;
        row->RowMark = rmNone;
        Changed(row);
    } else if (row->RowMark == rmActive) {
        DeselectCurrent1Click();
    } else if (row->RowLight == rlLocal) {
        PostViewCase();
    } else if (row->RowLight == rlRemote) {
        Queue(row);
    } else if (row->RowLight == rlIncomplete) {
        const QMessageBox::StandardButton answer = Ask(true);
        if (answer == QMessageBox::Yes)
            Queue(row);
        else if (answer == QMessageBox::No)
            PostViewCase();
    }
}

void TFTPList::ListView1ColumnClick(int column) { Catalogue.List.SortBy(column); }
