#pragma once
// The download manager pane as the main window sees it: the catalogue frame
// of the remote folder behind the window's seam, opening a case by posting
// ViewCaseMessage to the window that owns it. UI thread only.
#include "IDownloadManager.h"
#include "TFTPList.h"

class TDownloadManagerPane : public TFTPList, public IDownloadManager {
public:
    explicit TDownloadManagerPane(QWidget* parent = nullptr);

    QWidget* Widget() override { return this; }
    bool Initialised() const override { return TFTPList::Initialised(); }
    void FormCreate() override { TFTPList::FormCreate(); }
    QString HostName() const override { return TFTPList::HostName(); }
    void RefreshList() override { TFTPList::RefreshList(); }
    void LogOnWhenNeeded() override { TFTPList::LogOnWhenNeeded(); }
    std::string SelectedCaseFolder() const override { return TFTPList::SelectedCaseFolder(); }
    std::shared_ptr<TCaseArrivals> SelectedCaseArrivals() const override
    {
        return TFTPList::SelectedCaseArrivals();
    }
    void FormDestroy() override { TFTPList::FormDestroy(); }
};
