#pragma once
// The download manager pane: the catalogue of cases in a report list with
// its context menu, double-click and column sorting; it owns the download
// queue, the stop flag, the login connection and the download worker.
//
// Threads: UI thread only. The listing and download workers reach the
// catalogue through synchronised calls; FormDestroy stops and waits for them.
#include "TCatalogue.h"
#include "TFtpConnection.h"
#include "TLoginLoop.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QTreeView;
class TCaseListModel;
class TFetchThread;
class TListThread;

class TFTPList : public QWidget {
public:
    explicit TFTPList(QWidget* parent = nullptr);
    ~TFTPList() override;

    TCatalogue Catalogue;
    TFtpConnection IdFTP1; // the login's connection; holds the settings

    QTreeView* ListView1;
    QLabel* StatusBar1;
    QMenu* PopupMenu1;
    QAction* ViewCase1;
    QAction* SelectCurrent1;
    QAction* SelectAll1;
    QAction* DeselectCurrent1;
    QAction* DeselectAll1;
    QAction* StopDownloading1;
    QAction* ResumeDownloading1;
    QAction* DeleteCase1;
    QAction* Refresh1;

    // False until FormCreate has made the download queue.
    bool Initialised() const { return m_initialised; }
    // Settings, the login loop, the empty queue, sort column 0, the download worker.
    void FormCreate();
    void RefreshList();
    // Without a password held (the login was cancelled or rejected), runs
    // the login loop again and, logged on, lists again. The main window
    // calls it when it shows the pane again; the download commands, when
    // they queue a case.
    void LogOnWhenNeeded();
    // The cache folder of the selected row, ending with "/".
    std::string SelectedCaseFolder() const;
    // The arrivals of the selected case while it is shown as it downloads,
    // else null.
    std::shared_ptr<TCaseArrivals> SelectedCaseArrivals() const;
    // Stops and waits for the workers.
    void FormDestroy();
    QString HostName() const { return QString::fromStdString(Catalogue.Settings.Host); }

    CaseRow* SelectedRow() const;
    void SelectRow(const CaseRow* row);

    // Sets the menu's items from the selected row (runs before it shows).
    void PopupMenu1Popup();
    void ViewCase1Click();
    void SelectCurrent1Click();
    void SelectAll1Click();
    void DeselectCurrent1Click();
    void DeselectAll1Click();
    void StopDownloading1Click() { Catalogue.DownloadsPaused = true; }
    void ResumeDownloading1Click();
    void DeleteCase1Click();
    void ListView1DblClick();
    void ListView1ColumnClick(int column);

    // Posts the window message that opens the selected case (set by the main window).
    std::function<void()> OnViewCase;
    // The login dialog and the information messages (tests script them).
    TLoginLoop::DialogFactory DialogFactory;
    TLoginLoop::MessageSink Message;
    // The two questions: "finish downloading?" (Yes/No/Cancel) and "purge?" (Yes/No).
    std::function<QMessageBox::StandardButton()> AskFinish;
    std::function<QMessageBox::StandardButton()> AskPurge;
    // The download worker's pause when idle (tests shorten it).
    int FetchIdleSleepMs = 1000;

    static const QString FinishQuestion;
    static const QString PurgeQuestion;

private:
    LoginOutcome RunLoginLoop();
    // Runs the login loop again when no password is held; true when one is
    // held now that was not before.
    bool LogOnAgain();
    void Refresh1Click();
    void Queue(CaseRow* row);
    // Puts the case at the head of the queue, resumes downloading and opens
    // it at once.
    void ViewWhileDownloading(CaseRow* row);
    void Changed(CaseRow* row) { Catalogue.List.RowChanged(row); }
    QMessageBox::StandardButton Ask(bool finish);
    void PostViewCase();

    TCaseListModel* m_model;
    TFetchThread* m_fetch = nullptr;
    std::vector<QPointer<TListThread>> m_listings;
    bool m_initialised = false;
    bool m_loggingOn = false;
    bool m_listedBefore = false;
};
