#include "TCatalogue.h"

#include "Formatting.h"
#include "TLocalCache.h"

#include <QDir>
#include <QStorageInfo>

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
    std::optional<int64_t> free;
    if (FreeSpace) {
        free = FreeSpace();
    } else {
        const QStorageInfo volume(QDir::tempPath());
        if (volume.isValid() && volume.isReady())
            free = volume.bytesAvailable();
    }
    std::string items(1, ' '); // (built up in steps: g++ 12 warns falsely on " " + text)
    items += FormatNumber(List.Count());
    items += " items";
    SetStatus(free ? items + " (" + FormatSize(*free) + " available)" : items);
}

std::string TCatalogue::CacheRoot() const { return LocalCache::CacheRoot(Settings.User); }

std::string TCatalogue::CaseFolder(const std::string& key) const { return LocalCache::CaseFolder(Settings.User, key); }
