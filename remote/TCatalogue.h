#pragma once
// The download manager's state without its window: the catalogue rows, the
// download queue, the stop flag, the connection settings that the workers
// copy, the root folder and the status line. The window shows it; the
// workers change it through synchronised calls.
//
// Threads: UI thread, except DownloadsPaused, which the download worker reads
// directly.
#include "ConnectionSettings.h"
#include "TCaseArrivals.h"
#include "TCaseList.h"
#include "TDownloadQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TCatalogue {
public:
    TCaseList List;
    TDownloadQueue Queue;
    std::atomic<bool> DownloadsPaused{false};
    ConnectionSettings Settings; // the login's settings, password included
    std::string RootFolder = ConnectionSettings::DefaultRoot;
    // The case the download worker has picked and not yet finished; empty
    // while it is idle. Its files are not to be touched meanwhile.
    std::string ActiveKey;
    // Set while the worker's case is to stop for another one that is being
    // viewed: read by the worker directly, cleared at its next pick.
    std::atomic<bool> StopActiveCase{false};
    // Set with a case to view: the idle worker picks at once, not after its pause.
    std::atomic<bool> WakeWorker{false};
    // The files of ActiveKey's run that are complete so far.
    std::shared_ptr<TCaseArrivals> Arrivals;
    // The case shown while it downloads, until its run ends.
    std::shared_ptr<TCaseArrivals> Followed;

    // "View Case" on a case still to download: it goes to the head of the
    // queue (the case in progress stops and waits right after it), downloads
    // resume, and its arrivals are followed from the files already complete.
    void ViewWhileDownloading(const std::string& key);
    // The record the worker fills for the case it picked.
    std::shared_ptr<TCaseArrivals> ArrivalsFor(const std::string& key);
    // The followed record of the case in folder, while it still downloads.
    std::shared_ptr<TCaseArrivals> FollowedIn(const std::string& folder) const;
    // Ends a followed case that left the queue or was stopped before the
    // worker reached it.
    void EndFollowedWhenIdle();

    const std::string& StatusText() const { return m_status; }
    void SetStatus(const std::string& text);
    // " %1.0n items (%s available)", or " %1.0n items" when the free space
    // of the cache's file system is unknown.
    void UpdateStatusBar();

    // The user's cache root and the folder of a case in it.
    std::string CacheRoot() const;
    std::string CaseFolder(const std::string& key) const;

    std::function<void()> OnStatusChanged;
    // A listing ended, however (the list's cursor goes back to normal).
    std::function<void()> OnListingDone;
    // Free bytes of the cache's file system; replaceable for tests.
    std::function<std::optional<int64_t>()> FreeSpace;

private:
    std::string m_status;
};

// "%8.8x" of a byte count: the rows' size sort key.
std::string SizeSortKey(int64_t bytes);
