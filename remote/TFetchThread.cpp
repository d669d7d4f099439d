#include "RemoteLog.h"
#include "TFetchThread.h"

#include "EFtpError.h"
#include "EFtpSocketError.h"
#include "ETlsError.h"
#include "Formatting.h"
#include "FtpWire.h"
#include "PrivateFolders.h"
#include "TCaseArrivals.h"
#include "TCatalogue.h"
#include "TFtpBatch.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

uint32_t TickCount()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

constexpr const char* MarkerName = "Incomplete";

int64_t LocalSize(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
}

// The empty marker of an incomplete case, replacing any file of that name.
bool CreateMarker(const std::string& folder)
{
    const int fd = PrivateFolders::CreateFile(folder + MarkerName);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// A listed name that can be fetched into the case folder: one that could
// leave it, or that would be taken for the marker, cannot.
bool Fetchable(const std::string& name)
{
    return LocalCache::IsSafeName(name) && name != MarkerName;
}

bool IsPdfName(const std::string& name)
{
    return name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".pdf") == 0;
}

bool IsKfName(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && strncasecmp(name.c_str() + dot, ".kf", 3) == 0;
}

// The order in which a viewer shows a case's files: the report, the files
// that each hold a series, then the rest in name order, which is the order
// of the images when names sort like them.
void SortForViewing(std::vector<TFtpConnection::ListedFile>& files)
{
    auto rank = [](const std::string& name) { return IsPdfName(name) ? 0 : IsKfName(name) ? 1 : 2; };
    std::stable_sort(files.begin(), files.end(), [&](const auto& a, const auto& b) {
        const int ra = rank(a.Name), rb = rank(b.Name);
        return ra != rb ? ra < rb : a.Name < b.Name;
    });
}

} // namespace

TFetchThread::TFetchThread(TCatalogue& catalogue) : m_catalogue(catalogue) {}

TFetchThread::~TFetchThread()
{
    if (isRunning())
        Terminate();
}

void TFetchThread::Terminate()
{
    requestInterruption();
    m_connection.Abort();
    m_sync.WaitFor(this);
}

void TFetchThread::Status(const std::string& text)
{
    m_statusShown = text;
    m_sync.Synchronize([&] { m_catalogue.SetStatus(text); });
}

void TFetchThread::Sleep(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!isInterruptionRequested() && !m_catalogue.WakeWorker && t.elapsed() < ms)
        QThread::msleep(20);
}

void TFetchThread::run()
{
    m_connection.StallLimitMs = StallLimitMs;
    m_connection.ReceiveBufferSize = ReceiveBufferBytes;
    m_connection.OnProgress = [this](int64_t count) { OnTransferProgress(count); };
    try {
        m_sync.Synchronize([this] { m_settings = m_catalogue.Settings; });
    } catch (...) {
        return;
    }
    while (!isInterruptionRequested()) {
        try {
            m_sync.Synchronize([this] { PickNextCase(); });
            if (!m_caseKey.empty())
                DownloadCase();
            else
                Sleep(IdleSleepMs);
        } catch (...) {
            // Nothing escapes the worker; failures show in the rows.
        }
    }
    if (!m_caseKey.empty()) {
        try {
            m_sync.Synchronize([this] { ReleasePick(); });
        } catch (...) {
        }
    }
    m_connection.Disconnect();
}

void TFetchThread::PickNextCase()
{
    // A login made after the worker started (the first one was cancelled or
    // rejected) reaches the worker here.
    if (m_settings.Password.empty())
        m_settings = m_catalogue.Settings;
    // A new login ends the wait that a failed one began.
    if (!m_settings.Password.empty())
        m_stopReason.clear();
    std::string next;
    if (!isInterruptionRequested() && !m_catalogue.DownloadsPaused && !m_catalogue.Queue.Empty()) {
        if (m_settings.Password.empty()) {
            const std::string waiting = m_stopReason.empty() ? std::string(NotLoggedOnText) : m_stopReason;
            if (m_catalogue.StatusText() != waiting)
                m_catalogue.SetStatus(waiting);
        } else {
            next = m_catalogue.Queue[0];
        }
    }
    // A case whose connection kept failing is still picked; let it go
    // unless it is picked again.
    if (!m_caseKey.empty() && m_caseKey != next)
        ReleasePick();
    m_catalogue.StopActiveCase = false;
    m_catalogue.WakeWorker = false;
    m_caseKey = next;
    if (!next.empty() && !m_arrivals)
        m_arrivals = m_catalogue.ArrivalsFor(next);
    m_viewed = m_arrivals && m_arrivals == m_catalogue.Followed;
    // Aborts made for the last pass end here, on the thread that makes them.
    if (!next.empty())
        m_connection.ClearAbort();
    m_catalogue.ActiveKey = next;
    m_row = next.empty() ? nullptr : m_catalogue.List.FindRow(next);
    if (m_row) {
        if (m_row->RowLight != rlDownloading)
            m_pickLight = m_row->RowLight;
        m_row->RowLight = rlDownloading;
        m_row->RowMark = rmActive;
        m_catalogue.List.RowChanged(m_row);
    }
    m_root = m_catalogue.RootFolder;
    m_catalogue.EndFollowedWhenIdle();
}

void TFetchThread::EndArrivals(bool complete)
{
    if (m_arrivals)
        m_arrivals->End(complete);
    if (m_catalogue.Followed == m_arrivals)
        m_catalogue.Followed.reset();
    m_catalogue.Arrivals.reset();
    m_arrivals.reset();
}

void TFetchThread::ReleasePick()
{
    // As a stopped case: the light it had, Queued while it waits in the queue.
    if (CaseRow* row = m_catalogue.List.FindRow(m_caseKey)) {
        if (row->RowLight == rlDownloading)
            row->RowLight = m_pickLight;
        if (row->RowMark == rmActive)
            row->RowMark = m_catalogue.Queue.Contains(m_caseKey) ? rmQueued : rmNone;
        m_catalogue.List.RowChanged(row);
    }
    EndArrivals(false);
    m_caseKey.clear();
    m_catalogue.ActiveKey.clear();
    m_row = nullptr;
}

bool TFetchThread::Stopping() const
{
    return isInterruptionRequested() || m_catalogue.DownloadsPaused || m_catalogue.StopActiveCase;
}

std::string TFetchThread::LoginFailedText(const std::string& reason)
{
    return "Not logged on: " + reason + " Choose \"Refresh (update) List\" to log on and start downloading";
}

bool TFetchThread::Connect()
{
    Status("Connecting to " + m_settings.Host);
    try {
        m_connection.Settings = m_settings;
        m_connection.Connect();
        return true;
    } catch (const ETlsError& e) {
        // Refused or unverifiable protection stays so until the settings change.
        StopTrying(e.Message());
        return false;
    } catch (const std::exception& e) {
        qCDebug(lcWorkers) << "download: connecting failed:" << e.what();
        // Servers lock accounts that keep sending a refused password.
        if (m_connection.LastReplyCode() >= RefusedReply) {
            StopTrying("The server refused the login (" + m_connection.LastReplyText() + ").");
            return false;
        }
    } catch (...) {
    }
    // Tried again on the next pass; a short pause keeps a refused
    // connection from spinning.
    Sleep(IdleSleepMs);
    return false;
}

void TFetchThread::StopTrying(const std::string& reason)
{
    qCDebug(lcWorkers) << "download: no more logins:" << reason.c_str();
    constexpr int MaxReasonChars = 200; // a server's text, shown in one line
    QString shown = RemoteLog::Printable(QString::fromStdString(reason));
    if (shown.size() > MaxReasonChars)
        shown = shown.left(MaxReasonChars) + "...";
    m_stopReason = LoginFailedText(shown.toStdString());
    const ConnectionSettings tried = m_settings;
    m_settings.Password.clear();
    m_sync.Synchronize([&] {
        // Only the login that failed is dropped, not one made meanwhile.
        ConnectionSettings& held = m_catalogue.Settings;
        if (held.Host == tried.Host && held.User == tried.User && held.Password == tried.Password)
            held.Password.clear();
        m_catalogue.SetStatus(m_stopReason);
    });
}

void TFetchThread::DownloadCase()
{
    m_fileCount = 0;
    m_caseStatus = 4; // until the file loop starts
    m_diskFull = false;
    m_sizes.clear();
    std::vector<TFtpConnection::ListedFile> files;
    if (!Connect())
        return;
    try {
        std::string remote = m_root + "/" + m_caseKey;
        for (char& c : remote)
            if (c == '\\')
                c = '/';
        const std::string local = m_catalogue.CaseFolder(m_caseKey);
        m_localFolder = local;
        Status("Downloading " + remote);
        m_sync.Synchronize([this] {
            m_viewed = m_arrivals && m_arrivals == m_catalogue.Followed;
            if (!m_row)
                return;
            m_row->SubItems[1] = FormatSize(0);
            m_row->SubItems[5] = "00000000";
            m_row->SubItems[3] = "Starting...";
            m_catalogue.List.RowChanged(m_row);
        });
        // Ends, with its connections, before the connection disconnects.
        std::optional<TFtpBatch> batch;
        try {
            if (!LocalCache::IsSafeKey(m_caseKey))
                throw EFtpError("Unsafe case name");
            batch.emplace(m_connection, remote, m_settings.Connections);
            m_connection.ChangeDir(remote);
            m_connection.ListFiles(files);
            if (m_viewed)
                SortForViewing(files);
        } catch (...) {
            m_caseStatus = 1;
            throw;
        }
        FetchFiles(*batch, local, files);
    } catch (...) {
    }
    m_connection.Disconnect();
    try {
        m_sync.Synchronize([this] { FinishCase(); });
    } catch (...) {
    }
    m_row = nullptr;
}

void TFetchThread::FetchFiles(TFtpBatch& batch, const std::string& local,
                              const std::vector<TFtpConnection::ListedFile>& files)
{
    m_fileCount = int(files.size());
    if (!LocalCache::MakeFolders(local)) {
        m_caseStatus = 4;
        return;
    }
    if (m_fileCount > 0 && !CreateMarker(local)) {
        m_caseStatus = 4;
        return;
    }
    m_bytesDone = 0;
    m_caseStatus = 0;
    m_startTick = TickCount();
    m_fileNumber = 1;
    std::vector<TFtpBatch::File> batchFiles;
    for (const TFtpConnection::ListedFile& file : files) {
        // Never fetched, and the case is not complete without it.
        if (Fetchable(file.Name))
            batchFiles.push_back({file.Name, local + file.Name, file.Size});
        else
            m_caseStatus = 4;
    }
    try {
        RunBatch(batch, batchFiles);
    } catch (...) {
        m_caseStatus = 4;
        throw;
    }
    // The row keeps the bytes of the files that are complete, present ones
    // included, however the case ends.
    OnTransferProgress(0);
    // A stopped transfer ends its connections without waiting for the
    // server's goodbye.
    if (Stopping())
        m_connection.Abort();
}

void TFetchThread::RunBatch(TFtpBatch& batch, const std::vector<TFtpBatch::File>& batchFiles)
{
    size_t reached = 0;
    uint32_t lastShown = TickCount();
    int64_t lastBytes = 0;
    TFtpBatch::Events events;
    events.NeedsFetch = [&](size_t i, int32_t size) { return size != LocalSize(batchFiles[i].LocalPath); };
    uint32_t lastStatus = TickCount() - ProgressIntervalMs;
    events.Started = [&](size_t) {
        // Like the progress: one synchronised call per interval at most.
        if (TickCount() - lastStatus >= ProgressIntervalMs) {
            lastStatus = TickCount();
            ShowFileNumber();
        }
    };
    events.Progress = [&](int64_t bytes) {
        // One synchronised call per interval, not per read of every connection.
        if (bytes != lastBytes && TickCount() - lastShown >= ProgressIntervalMs) {
            lastShown = TickCount();
            lastBytes = bytes;
            OnTransferProgress(bytes);
        }
    };
    events.Finished = [&](size_t i, const TFtpBatch::Result& result) {
        ++reached;
        const bool goOn = FileFinished(batchFiles[i], result);
        // Files found present count into the size as they are passed.
        if (result.Kind == TFtpBatch::Outcome::Present && TickCount() - lastShown >= ProgressIntervalMs) {
            lastShown = TickCount();
            OnTransferProgress(lastBytes);
        }
        return goOn;
    };
    events.Stopping = [this] { return Stopping(); };
    events.Room = [this] { return Room(); };
    batch.Run(batchFiles, events);
    // Stopped: the files not reached yet stay as they are.
    if (reached < batchFiles.size())
        m_caseStatus = 4;
}

int64_t TFetchThread::Room() const
{
    const std::optional<LocalCache::DiskSpace> space = DiskSpace ? DiskSpace(m_localFolder) : std::nullopt;
    if (!space)
        return -1;
    return space->Free - std::min(MaxReserveBytes, space->Total / ReserveParts);
}

// Only files that are complete count, and the file number is that of the
// next one.
bool TFetchThread::FileFinished(const TFtpBatch::File& file, const TFtpBatch::Result& result)
{
    using Outcome = TFtpBatch::Outcome;
    if (result.Kind == Outcome::Present || result.Kind == Outcome::Fetched) {
        // Without a size from the server, the bytes received are what the
        // file must keep.
        const int64_t size = result.Size >= 0 ? int64_t(result.Size) : result.Bytes;
        m_sizes.emplace_back(file.Name, size);
        // The file is closed at its size: a viewer may read it now.
        if (m_arrivals)
            m_arrivals->Arrived(file.Name);
        m_bytesDone += size;
        m_fileNumber = std::min(m_fileNumber + 1, m_fileCount);
        return true;
    }
    // Only a file this case began to write is removed: one cut short keeps
    // no partial copy, a complete one found present stays.
    if (result.Written)
        ::unlink(file.LocalPath.c_str());
    m_caseStatus = 4;
    m_diskFull = m_diskFull || result.NoRoom;
    // A lost connection ends the case; the transfers still running end first.
    return !result.SocketKind;
}

void TFetchThread::ShowFileNumber()
{
    char text[128];
    std::snprintf(text, sizeof text, "Downloading image %s of %s", FormatNumber(m_fileNumber).c_str(),
                  FormatNumber(m_fileCount).c_str());
    if (text != m_statusShown) {
        m_statusShown = text;
        Status(text);
    }
}

void TFetchThread::OnTransferProgress(int64_t count)
{
    if (isInterruptionRequested())
        m_connection.Abort();
    if (m_fileCount != 0) {
        m_progress = count;
        m_sync.Synchronize([this] { ShowProgress(); });
    }
}

void TFetchThread::ShowProgress()
{
    if (m_catalogue.DownloadsPaused || m_catalogue.StopActiveCase)
        m_connection.Abort();
    m_currentFileBytes = m_progress;
    if (!m_row)
        return;
    m_row->SubItems[1] = FormatSize(m_bytesDone + m_currentFileBytes);
    m_row->SubItems[5] = SizeSortKey(m_bytesDone + m_currentFileBytes);
    const uint32_t elapsed = TickCount() - m_startTick;
    if (elapsed != 0 && m_currentFileBytes != 0) {
        // The fraction counts files, held in single precision: the 7th of
        // 10 files shows 69 %.
        const float fraction = float(m_fileNumber) / float(m_fileCount);
        const uint32_t remaining = uint32_t(std::nearbyint(double(elapsed) / double(fraction))) - elapsed;
        const int percent = int(100.0 * double(fraction));
        m_row->SubItems[3] = std::to_string(percent) + "% " + FormatTimeLeft(remaining) + " remaining";
    }
    m_catalogue.List.RowChanged(m_row);
}

bool TFetchThread::FilesOnDisk() const
{
    for (const auto& [name, size] : m_sizes)
        if (LocalSize(m_localFolder + name) != size)
            return false;
    return true;
}

void TFetchThread::FinishCase()
{
    qCDebug(lcWorkers) << "download:" << m_caseKey.c_str() << "ends with status" << m_caseStatus;
    const uint32_t elapsed = TickCount() - m_startTick;
    // Stopped by the user, or for a case that is viewed first.
    const bool stopped = m_catalogue.DownloadsPaused || m_catalogue.StopActiveCase;
    // Local only when every file is there: files may have gone while the
    // worker was busy elsewhere in the folder.
    if (m_caseStatus == 0 && !FilesOnDisk()) {
        m_caseStatus = 4;
        CreateMarker(m_localFolder);
    }
    if (m_caseStatus == 0)
        ::unlink((m_localFolder + MarkerName).c_str());
    if (m_row) {
        if (m_caseStatus == 0) {
            m_row->SubItems[1] = FormatSize(m_bytesDone);
            m_row->SubItems[5] = SizeSortKey(m_bytesDone);
            if (elapsed != 0)
                m_row->SubItems[3] = "Completed in " + FormatTimeLeft(elapsed) + " (" +
                                     FormatNumber(double(m_bytesDone) / 1024.0 * 1000.0 / elapsed) + " KB/s)";
            else
                m_row->SubItems[3] = "Completed in " + FormatTimeLeft(0);
            m_row->RowMark = -1;
        } else {
            m_row->SubItems[3] = "Incomplete";
            m_row->RowMark = (stopped && m_row->RowMark == 1) ? 0 : -1;
        }
        m_row->RowLight = m_caseStatus;
        m_catalogue.List.RowChanged(m_row);
    }
    // The head may have changed meanwhile: the case that finished leaves,
    // whatever entry 0 now is.
    // A case stopped for another one waits in the queue to resume.
    if (!m_catalogue.DownloadsPaused && !(m_catalogue.StopActiveCase && m_caseStatus != 0))
        m_catalogue.Queue.Remove(m_caseKey);
    EndArrivals(m_caseStatus == 0);
    m_caseKey.clear();
    m_catalogue.ActiveKey.clear();
    m_catalogue.UpdateStatusBar();
    if (m_diskFull)
        m_catalogue.SetStatus(m_catalogue.StatusText() + DiskNearlyFullText);
}
