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
#include <vector>

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

    // A status text of a listing walk; while rows of the saved catalogue
    // are shown unconfirmed, the line keeps saying so instead.
    void SetWalkStatus(const std::string& text);

    // At the first show, before the first walk: adds the rows of the saved
    // last catalogue (light Remote) and says in the status line of when
    // they are. Returns the number of rows it added.
    int ShowRemembered();
    // A walk ended. complete: it reached the end of the root; found: the
    // keys it listed. A complete walk removes the rows known only from the
    // saved catalogue that it did not find and that have nothing in the
    // cache, then saves what it found.
    void ListingEnded(bool complete, const std::vector<std::string>& found, int64_t startedAt);
    bool ShowingRemembered() const { return !m_rememberedNote.empty(); }

    std::function<void()> OnStatusChanged;
    // A listing ended, however (the list's cursor goes back to normal).
    std::function<void()> OnListingDone;
    // Free bytes of the cache's file system; replaceable for tests.
    std::function<std::optional<int64_t>()> FreeSpace;

private:
    void RemoveStale();

    std::string m_status;
    std::string m_rememberedNote; // "Showing the list of ... while searching..."
};

// "%8.8x" of a byte count: the rows' size sort key.
std::string SizeSortKey(int64_t bytes);
