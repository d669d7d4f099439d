#pragma once
// The last catalogue that a whole walk of the server found: its case keys
// and the time of that walk, kept for one user of one server, so that the
// next start shows the list at once while the walk runs again.
//
// The file lies in the program's cache folder (LocalCache::CatalogueFile),
// is written owner-only and atomically (a new file renamed over the old
// one) and is trusted for nothing but rows: a file that is missing, not a
// plain file of this user's, open to others, too large, of another user or
// server, or that holds any key that is not a safe group\patient\study is
// ignored as a whole.
//
// Threads: any; plain file calls. The download manager uses it on the UI
// thread.
#include "ConnectionSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TSavedCatalogue {
public:
    // Larger files are no catalogue of ours (a key is at most a few
    // hundred bytes; this holds far more cases than a server lists).
    static constexpr int64_t MaxFileBytes = 64 << 20;

    int64_t Time = 0; // the walk's start, seconds since the epoch
    std::vector<std::string> Keys;

    static std::optional<TSavedCatalogue> Load(const ConnectionSettings& settings);
    // False when the file could not be written; the old one then stays.
    bool Save(const ConnectionSettings& settings) const;
};
