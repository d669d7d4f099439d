// fetch_bench: downloads one case with the download worker, headless, and
// prints "SECONDS FILES BYTES" of the whole run (connect to last byte).
// The cache goes to the user's cache folder, so point TMPDIR and
// XDG_CACHE_HOME at a scratch folder. The settings file that CALDRIS_INI
// names is read as the program reads it (e.g. "Connections" in "FTP"); the
// arguments name the server and the account.
#include "CaseRow.h"
#include "TCatalogue.h"
#include "TFetchThread.h"
#include "BenchServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* usage = "usage: fetch_bench PORT USER PASSWORD ROOT CASEKEY\n"
                        "Downloads one case from 127.0.0.1:PORT into $XDG_CACHE_HOME/caldris/USER/ and prints\n"
                        "\"SECONDS FILES BYTES\".\n";
    TCatalogue catalogue;
    if (const int status = ReadServerArguments(argc, argv, 6, usage, catalogue); status >= 0)
        return status;
    const std::string key = argv[5];

    CaseRow* row = catalogue.List.AddCaseRow(key, 1);
    row->RowMark = 0;
    catalogue.Queue.Add(key);

    QElapsedTimer clock;
    clock.start();
    TFetchThread worker(catalogue);
    worker.IdleSleepMs = 5;
    worker.start();
    // The UI thread sleeps until the worker's next synchronised call, as in
    // the program (the time-limited processEvents would spin instead).
    while (!(catalogue.Queue.Empty() && row->RowMark != 1))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    worker.Terminate();

    QDir folder(QString::fromStdString(catalogue.CaseFolder(key)));
    qint64 bytes = 0;
    int files = 0;
    for (const QFileInfo& f : folder.entryInfoList(QDir::Files)) {
        if (f.fileName() == "Incomplete")
            continue;
        bytes += f.size();
        ++files;
    }
    std::printf("%.4f %d %lld\n", seconds, files, static_cast<long long>(bytes));
    std::printf("status: %s\n", catalogue.StatusText().c_str());
    return 0;
}
