#pragma once
// What the main window needs from the download manager pane.
// UI thread only.
#include <QString>

#include <memory>
#include <string>

class QWidget;
class TCaseArrivals;

class IDownloadManager {
public:
    virtual ~IDownloadManager() = default;
    // The pane itself (FTPList1), placed under the manager's title bar.
    virtual QWidget* Widget() = 0;
    // False until FormCreate has created the download queue.
    virtual bool Initialised() const = 0;
    // Settings, login loop, download queue and worker.
    virtual void FormCreate() = 0;
    virtual QString HostName() const = 0;
    virtual void RefreshList() = 0;
    // The pane is shown again: logs on again when no password is held.
    virtual void LogOnWhenNeeded() = 0;
    // The cache folder of the selected case, ending with a separator.
    virtual std::string SelectedCaseFolder() const = 0;
    // The arrivals of the selected case while it downloads to be viewed.
    virtual std::shared_ptr<TCaseArrivals> SelectedCaseArrivals() const { return nullptr; }
    // Stops and waits for the download worker.
    virtual void FormDestroy() = 0;
};
