#include "TCatalogue.h"

#include "Formatting.h"
#include "TLocalCache.h"
#include "TSavedCatalogue.h"

#include <cstdio>
#include <ctime>

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

void TCatalogue::SetWalkStatus(const std::string& text) { SetStatus(ShowingRemembered() ? m_rememberedNote : text); }

int TCatalogue::ShowRemembered()
{
    const std::optional<TSavedCatalogue> saved = TSavedCatalogue::Load(Settings);
    if (!saved)
        return 0;
    int added = 0;
    for (const std::string& key : saved->Keys) {
        if (List.FindRow(key))
            continue;
        List.AddCaseRow(key, rlRemote)->Remembered = true;
        ++added;
    }
    const time_t when = time_t(saved->Time);
    struct tm local {};
    char text[32] = {};
    if (localtime_r(&when, &local))
        std::strftime(text, sizeof text, "%m/%d/%Y %H:%M", &local);
    m_rememberedNote = std::string("Showing the list of ") + text + " while searching...";
    SetStatus(m_rememberedNote);
    return added;
}

void TCatalogue::ListingEnded(bool complete, const std::vector<std::string>& found, int64_t startedAt)
{
    m_rememberedNote.clear();
    if (!complete)
        return;
    RemoveStale();
    TSavedCatalogue saved;
    saved.Time = startedAt;
    saved.Keys = found;
    saved.Save(Settings);
}

// A row the saved catalogue gave, that no walk of this run found and that
// has nothing in the cache would only fail to download. Queued or active
// rows stay for the download worker to settle.
void TCatalogue::RemoveStale()
{
    for (int i = List.Count() - 1; i >= 0; --i) {
        CaseRow* row = List.Row(i);
        if (!row->Remembered || row->Listed || row->RowMark != rmNone || row->Key() == ActiveKey ||
            Queue.Contains(row->Key()) || LocalCache::CaseFolderSize(CaseFolder(row->Key())) != 0)
            continue;
        List.RemoveRow(row);
    }
}

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
