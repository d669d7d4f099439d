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
