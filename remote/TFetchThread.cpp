#include "TFetchThread.h"

#include "EFtpError.h"
#include "EFtpSocketError.h"
#include "Formatting.h"
#include "TCatalogue.h"
#include "TLocalCache.h"

#include <QElapsedTimer>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

uint32_t TickCount()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

int64_t LocalSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : 0;
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
    m_sync.Synchronize([&] { m_catalogue.SetStatus(text); });
}

void TFetchThread::Sleep(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!isInterruptionRequested() && t.elapsed() < ms)
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
    m_connection.Disconnect();
}

void TFetchThread::PickNextCase()
{
    m_caseKey.clear();
    m_row = nullptr;
    if (isInterruptionRequested() || m_catalogue.DownloadsPaused || m_catalogue.Queue.Empty() ||
        m_settings.Password.empty())
        return;
    // Aborts made for the last case end here, on the thread that makes them.
    m_connection.ClearAbort();
    m_caseKey = m_catalogue.Queue[0];
    m_root = m_catalogue.RootFolder;
    m_row = m_catalogue.List.FindRow(m_caseKey);
    if (m_row) {
        m_row->RowLight = 3;
        m_row->RowMark = 1;
        m_catalogue.List.RowChanged(m_row);
    }
}

void TFetchThread::DownloadCase()
{
    m_fileCount = 0;
    std::vector<std::string> names;
    Status("Connecting to " + m_settings.Host);
    try {
        m_connection.Settings = m_settings;
        m_connection.Connect();
    } catch (...) {
        // Tried again on the next pass; a short pause keeps a refused
        // connection from spinning.
        Sleep(IdleSleepMs);
        return;
    }
    try {
        std::string remote = m_root + "/" + m_caseKey;
        for (char& c : remote)
            if (c == '\\')
                c = '/';
        const std::string local = m_catalogue.CaseFolder(m_caseKey);
        Status("Downloading " + remote);
        m_sync.Synchronize([this] {
            if (!m_row)
                return;
            m_row->SubItems[1] = FormatSize(0);
            m_row->SubItems[5] = "00000000";
            m_row->SubItems[3] = "Starting...";
            m_catalogue.List.RowChanged(m_row);
        });
        try {
            if (!LocalCache::IsSafeKey(m_caseKey))
                throw EFtpError("Unsafe case name");
            m_connection.ChangeDir(remote);
            m_connection.List(names);
        } catch (...) {
            m_caseStatus = 1;
            throw;
        }
        FetchFiles(local, names);
    } catch (...) {
    }
    m_connection.Disconnect();
    try {
        m_sync.Synchronize([this] { FinishCase(); });
    } catch (...) {
    }
    m_row = nullptr;
}

void TFetchThread::FetchFiles(const std::string& local, const std::vector<std::string>& listed)
{
    // A name that could leave the case folder is never fetched.
    std::vector<std::string> names;
    for (const std::string& n : listed)
        if (LocalCache::IsSafeName(n))
            names.push_back(n);
    m_fileCount = int(names.size());
    if (!LocalCache::MakeFolders(local)) {
        m_caseStatus = 4;
        return;
    }
    const std::string marker = local + "Incomplete";
    if (m_fileCount > 0) {
        const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) {
            m_caseStatus = 4;
            return;
        }
        ::close(fd);
    }
    m_bytesDone = 0;
    m_caseStatus = 0;
    m_startTick = TickCount();
    m_fileNumber = 1;
    for (const std::string& name : names) {
        const std::string path = local + name;
        try {
            if (isInterruptionRequested() || m_catalogue.DownloadsPaused)
                throw EFtpError("Downloading stopped");
            const int32_t remoteSize = m_connection.Size(name);
            const int64_t localSize = LocalSize(path);
            if (remoteSize == localSize) {
                OnTransferProgress(remoteSize);
            } else {
                char text[128];
                std::snprintf(text, sizeof text, "Downloading image %s of %s", FormatNumber(m_fileNumber).c_str(),
                              FormatNumber(m_fileCount).c_str());
                Status(text);
                m_connection.SetBinary();
                m_connection.Get(name, path, remoteSize);
                OnTransferProgress(LocalSize(path));
            }
            m_bytesDone += m_currentFileBytes;
            ++m_fileNumber;
        } catch (const EFtpSocketError&) {
            ::unlink(path.c_str());
            m_caseStatus = 4;
            return;
        } catch (...) {
            ::unlink(path.c_str());
            m_caseStatus = 4;
        }
    }
    if (m_caseStatus == 0)
        ::unlink(marker.c_str());
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
    if (m_catalogue.DownloadsPaused)
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

void TFetchThread::FinishCase()
{
    const uint32_t elapsed = TickCount() - m_startTick;
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
            m_row->RowMark = (m_catalogue.DownloadsPaused && m_row->RowMark == 1) ? 0 : -1;
        }
        m_row->RowLight = m_caseStatus;
        m_catalogue.List.RowChanged(m_row);
    }
    if (!m_catalogue.DownloadsPaused && !m_catalogue.Queue.Empty())
        m_catalogue.Queue.Delete(0);
    m_catalogue.UpdateStatusBar();
}
