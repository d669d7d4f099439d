// list_bench: runs the listing worker headless, as the download manager's
// first show runs it, and prints "SECONDS ROWS FIRST_ROW_SECONDS
// REMEMBERED_ROWS": the whole walk, the rows at its end, the time to the
// first row in the list (-1: none) and the rows shown from the saved last
// catalogue before the walk. The saved catalogue and the cache live under
// XDG_CACHE_HOME; the settings file that CALDRIS_INI names is read as the
// program reads it (e.g. "Connections" in "FTP").
#include "TCatalogue.h"
#include "TListThread.h"
#include "TLocalCache.h"
#include "BenchServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* usage = "usage: list_bench PORT USER PASSWORD ROOT\n"
                        "Lists the catalogue under ROOT of 127.0.0.1:PORT and prints\n"
                        "\"SECONDS ROWS FIRST_ROW_SECONDS REMEMBERED_ROWS\".\n";
    TCatalogue catalogue;
    if (const int status = ReadServerArguments(argc, argv, 5, usage, catalogue); status >= 0)
        return status;
    const std::string root = argv[4];

    QElapsedTimer clock;
    clock.start();
    double firstRow = -1;
    catalogue.List.OnEndInsert = [&] {
        if (firstRow < 0)
            firstRow = double(clock.nsecsElapsed()) / 1e9;
    };
    // As the first show does it: the saved rows, the cache, then the walk.
    const int remembered = catalogue.ShowRemembered();
    LocalCache::ScanLocalCache(catalogue.List, catalogue.Settings.User);
    bool done = false;
    catalogue.OnListingDone = [&] { done = true; };
    TListThread::Start(catalogue, [root] { return root; });
    // The UI thread sleeps until the worker's next synchronised call.
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    QCoreApplication::processEvents(); // the worker frees itself
    std::printf("%.4f %d %.4f %d\n", seconds, catalogue.List.Count(), firstRow, remembered);
    std::printf("status: %s\n", catalogue.StatusText().c_str());
    return 0;
}
