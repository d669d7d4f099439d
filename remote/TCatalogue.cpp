#include "TCatalogue.h"

#include "Formatting.h"
#include "TLocalCache.h"

#include <cstdio>

std::string SizeSortKey(int64_t bytes)
{
    char key[32];
    std::snprintf(key, sizeof key, "%8.8llx", static_cast<unsigned long long>(bytes));
    return key;
}

void TCatalogue::SetStatus(const std::string& text)
{
    m_status = text;
    if (OnStatusChanged)
        OnStatusChanged();
}

void TCatalogue::UpdateStatusBar()
{
    const std::optional<int64_t> free = FreeSpace ? FreeSpace() : LocalCache::FreeSpace(Settings.User);
    std::string items(1, ' '); // (built up in steps: g++ 12 warns falsely on " " + text)
    items += FormatNumber(List.Count());
    items += " items";
    SetStatus(free ? items + " (" + FormatSize(*free) + " available)" : items);
}

std::string TCatalogue::CacheRoot() const { return LocalCache::CacheRoot(Settings.User); }

std::string TCatalogue::CaseFolder(const std::string& key) const { return LocalCache::CaseFolder(Settings.User, key); }

void TCatalogue::ViewWhileDownloading(const std::string& key)
{
    if (!ActiveKey.empty() && ActiveKey != key)
        StopActiveCase = true;
    Queue.MoveToHead(key);
    DownloadsPaused = false;
    WakeWorker = true;
    if (ActiveKey == key && Arrivals) {
        Followed = Arrivals;
        return;
    }
    if (Followed && Followed->Key() == key && !Followed->Ended())
        return;
    // Nothing writes the folder of a case the worker is not on.
    Followed = std::make_shared<TCaseArrivals>(key, CaseFolder(key));
    Followed->TakeFilesOnDisk();
}

std::shared_ptr<TCaseArrivals> TCatalogue::ArrivalsFor(const std::string& key)
{
    if (Followed && Followed->Key() == key && !Followed->Ended())
        Arrivals = Followed;
    else
        Arrivals = std::make_shared<TCaseArrivals>(key, CaseFolder(key));
    return Arrivals;
}

std::shared_ptr<TCaseArrivals> TCatalogue::FollowedIn(const std::string& folder) const
{
    if (Followed && Followed->Folder() == folder && !Followed->Ended())
        return Followed;
    return nullptr;
}

void TCatalogue::EndFollowedWhenIdle()
{
    if (!Followed || Followed->Key() == ActiveKey)
        return;
    if (DownloadsPaused || !Queue.Contains(Followed->Key())) {
        Followed->End(false);
        Followed.reset();
    }
}
