#pragma once
// The download worker: takes the head of the download queue and fetches the
// case's files into its cache folder, skipping files whose local size already
// equals the server's, over "Connections" connections at once (TFtpBatch;
// with 1, file after file over the listing's connection).
//
// Threads: created, started and ended (Terminate) on the UI thread. run() and
// DownloadCase run on the worker; PickNextCase, ShowProgress, FinishCase, the
// status texts and the settings copy run on the UI thread through
// synchronised calls while the worker waits. The worker reads
// DownloadsPaused directly.
#include "ConnectionSettings.h"
#include "TFtpBatch.h"
#include "TLocalCache.h"
#include "TFtpConnection.h"
#include "TThreadSync.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TCaseArrivals;
class TCatalogue;
struct CaseRow;

class TFetchThread : public QThread {
public:
    explicit TFetchThread(TCatalogue& catalogue);
    ~TFetchThread() override;

    // UI thread: asks the worker to end and waits, serving its calls, so that
    // a case in progress ends through its finishing step.
    void Terminate();
    // UI thread, inside a synchronised call: aborts the transfer in progress
    // and every later operation of the case (the next pick clears it).
    void AbortTransfer() { m_connection.Abort(); }

    // Milliseconds the worker sleeps when there is nothing to do.
    int IdleSleepMs = 1000;
    // Bytes of the stall limit of its connection (tests shorten it).
    int StallLimitMs = TFtpConnection::DefaultStallLimitMs;
    // Every read from the data connection makes one synchronised progress
    // call to the UI thread; reads of up to 256 KiB instead of the library's
    // 16 KiB make a fast link cost far fewer of them.
    static constexpr int ReceiveBufferBytes = 256 * 1024;
    // Over several connections the progress goes to the UI thread at most
    // this often.
    static constexpr uint32_t ProgressIntervalMs = 50;
    // The status line while queued cases wait for a login.
    static constexpr const char* NotLoggedOnText =
        "Not logged on: choose \"Refresh (update) List\" to log on and start downloading";
    // Added to the status line after a case whose file found no room.
    static constexpr const char* DiskNearlyFullText = " - the disk is nearly full";
    // A file whose size the server does not give may fill the disk up to
    // this reserve: 5 % of the file system, at most 1 GiB.
    static constexpr int64_t MaxReserveBytes = int64_t(1) << 30;
    static constexpr int64_t ReserveParts = 20;
    // The space of the cache's file system, asked on the worker (tests
    // replace it before start).
    using DiskSpaceSource = std::function<std::optional<LocalCache::DiskSpace>(const std::string& path)>;
    DiskSpaceSource DiskSpace = LocalCache::SpaceOf;
    // The status line while queued cases wait for a login because the last
    // one failed for good: the reason, then what to do.
    static std::string LoginFailedText(const std::string& reason);
    // A login that ends with a reply from here up was refused (530, or a
    // server that takes protected logins only): trying again cannot help.
    static constexpr int RefusedReply = 500;

protected:
    void run() override;

private:
    void PickNextCase();
    // The run of the picked case ended (UI thread): its arrivals end.
    void EndArrivals(bool complete);
    // Gives an abandoned pick its row's light and mark back (UI thread).
    void ReleasePick();
    bool Stopping() const;
    // Connects and logs in; false when that failed (the caller goes on with
    // its next pass).
    bool Connect();
    // After a refused login or a failed protection: the password held goes,
    // so the queue waits for a new login, with the reason in the status line.
    void StopTrying(const std::string& reason);
    void DownloadCase();
    void FetchFiles(TFtpBatch& batch, const std::string& localFolder,
                    const std::vector<TFtpConnection::ListedFile>& files);
    void RunBatch(TFtpBatch& batch, const std::vector<TFtpBatch::File>& files);
    // Counts a file of the case; false ends the case.
    bool FileFinished(const TFtpBatch::File& file, const TFtpBatch::Result& result);
    // Bytes a file without a size may take: the free space less the reserve.
    int64_t Room() const;
    // "Downloading image n of m", when it changed.
    void ShowFileNumber();
    void OnTransferProgress(int64_t count);
    void ShowProgress();
    void FinishCase();
    // Every file the case fetched or found present is on disk with its size.
    bool FilesOnDisk() const;
    void Status(const std::string& text);
    void Sleep(int ms);

    TCatalogue& m_catalogue;
    TThreadSync m_sync;
    TFtpConnection m_connection;
    ConnectionSettings m_settings;
    std::string m_root;

    std::string m_caseKey;
    CaseRow* m_row = nullptr;
    int m_pickLight = 0; // the row's light before the pick
    std::string m_localFolder;
    // The case's files and the sizes they must have on disk.
    std::vector<std::pair<std::string, int64_t>> m_sizes;
    int m_fileCount = 0;
    int64_t m_bytesDone = 0;
    int64_t m_currentFileBytes = 0;
    uint32_t m_startTick = 0;
    int m_caseStatus = 0;
    int m_fileNumber = 0;
    bool m_diskFull = false; // a file of the case found no room
    std::string m_statusShown;
    std::string m_stopReason; // the status while no login is held, when one failed for good
    std::atomic<int64_t> m_progress{0};
    // The files of the case complete so far, for a viewer that follows it.
    std::shared_ptr<TCaseArrivals> m_arrivals;
    bool m_viewed = false; // the case is shown while it downloads
};

// Monotonic millisecond tick; differences are taken as unsigned 32-bit.
uint32_t TickCount();
