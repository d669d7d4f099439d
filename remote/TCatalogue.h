#pragma once
// The download manager's state without its window: the catalogue rows, the
// download queue, the stop flag, the connection settings that the workers
// copy, the root folder and the status line. The window shows it; the
// workers change it through synchronised calls.
//
// Threads: UI thread, except DownloadsPaused, which the download worker reads
// directly.
#include "ConnectionSettings.h"
#include "TCaseList.h"
#include "TDownloadQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
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
