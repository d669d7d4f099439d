#pragma once
// One row of the download manager's catalogue. Rows live in TCaseList and
// are changed on the UI thread only.
#include <array>
#include <string>

enum TRowLight { rlLocal = 0, rlRemote = 1, rlSpare = 2, rlDownloading = 3, rlIncomplete = 4 };
enum TRowMark { rmNone = -1, rmQueued = 0, rmActive = 1 };

// Sub-item places.
enum TRowItem { riStudy = 0, riSize = 1, riDate = 2, riTransfer = 3, riKey = 4, riSizeKey = 5, riDateKey = 6 };

struct CaseRow {
    std::string Caption;                 // patient display name
    std::array<std::string, 7> SubItems; // study, size, date, transfer, key, size key, date key
    int RowLight = rlRemote;
    int RowMark = rmNone;
    // Where this run learnt of the case: the saved last catalogue, a walk of
    // the server. A row known only from the saved catalogue may be gone.
    bool Remembered = false;
    bool Listed = false;

    const std::string& Key() const { return SubItems[riKey]; }
};
