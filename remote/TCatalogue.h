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
