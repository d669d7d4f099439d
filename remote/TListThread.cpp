#include "RemoteLog.h"
#include "TListThread.h"

#include "EFtpSocketError.h"
#include "TCatalogue.h"
#include "TFtpBatch.h"
#include "TLocalCache.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <optional>

namespace {

// Ends the walk from inside a folder's guard: the server is gone or the
// walk was stopped.
struct EWalkEnded {};

// A failure inside one folder skips that folder only; the end of the walk
// passes through. lost: the network failed, not the folder.
template <class Work>
void Guarded(bool& lost, Work&& work)
{
    try {
        work();
    } catch (const EWalkEnded&) {
        throw;
    } catch (const EFtpSocketError&) {
        lost = true;
    } catch (...) {
    }
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TListThread::TListThread(TCatalogue& catalogue, std::function<std::string()> rootReader)
    : m_catalogue(catalogue), m_rootReader(std::move(rootReader))
{
}

TListThread* TListThread::Start(TCatalogue& catalogue, std::function<std::string()> rootReader, int listingLimitMs)
{
    auto* worker = new TListThread(catalogue, std::move(rootReader));
    worker->m_connection.ListingLimitMs = listingLimitMs;
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    return worker;
}

void TListThread::Status(const std::string& text)
{
    m_sync.Synchronize([&] { m_catalogue.SetWalkStatus(text); });
}

void TListThread::run()
{
    m_startedAt = int64_t(std::time(nullptr));
    try {
        Walk();
        // Folders the network lost may hold cases: such a list is not saved.
        m_complete = !isInterruptionRequested() && !m_folderLost;
        qCDebug(lcWorkers) << "listing: done";
    } catch (const std::exception& e) {
        // Listing failures are silent: the rows found so far stay.
        qCDebug(lcWorkers) << "listing: ended by" << e.what();
    } catch (...) {
    }
    m_connection.Disconnect();
    try {
        m_sync.Synchronize([this] {
            m_catalogue.ListingEnded(m_complete, m_found, m_startedAt);
            if (m_catalogue.OnListingDone)
                m_catalogue.OnListingDone();
            m_catalogue.UpdateStatusBar();
        });
    } catch (...) {
    }
}

void TListThread::Walk()
{
    m_connection.OnProgress = [this](int64_t) {
        if (isInterruptionRequested())
            m_connection.Abort();
    };
    m_sync.Synchronize([this] {
        m_connection.Settings = m_catalogue.Settings;
        m_root = m_rootReader ? m_rootReader() : std::string(ConnectionSettings::DefaultRoot);
        m_catalogue.RootFolder = m_root;
    });
    Status("Connecting to " + m_connection.Settings.Host);
    m_connection.Connect();
    Status("Searching...");
    // Made right after the login: the other connections log in while this
    // one lists the root. It ends, with its connections, before the
    // connection disconnects.
    std::optional<TFtpBatch> batch;
    if (m_connection.Settings.Connections > 1)
        batch.emplace(m_connection, m_root, m_connection.Settings.Connections);
    std::vector<std::string> groups;
    m_connection.ChangeDir(m_root);
    m_connection.List(groups);
    if (batch)
        WalkInParallel(*batch, groups);
    else
        WalkOneByOne(groups);
}

void TListThread::Reopen()
{
    if (isInterruptionRequested())
        throw EWalkEnded();
    if (m_connection.Connected())
        return;
    try {
        m_connection.Connect();
    } catch (...) {
        throw EWalkEnded();
    }
}

void TListThread::WalkOneByOne(const std::vector<std::string>& groups)
{
    for (const std::string& g : groups) {
        // Names that could lead outside the cache never become rows.
        if (!LocalCache::IsSafeName(g))
            continue;
        Reopen();
        Guarded(m_folderLost, [&] {
            m_connection.ChangeDir(m_root + "/" + g);
            Status("Searching folder " + Upper(g));
            std::vector<std::string> patients;
            m_connection.List(patients);
            for (const std::string& p : patients) {
                if (!LocalCache::IsSafeName(p))
                    continue;
                Reopen();
                Guarded(m_folderLost, [&] {
                    m_connection.ChangeDir(m_root + "/" + g + "/" + p);
                    std::vector<std::string> studies;
                    m_connection.List(studies);
                    AddRows(g, p, studies);
                });
            }
            Status("Searching...");
        });
    }
}

void TListThread::WalkInParallel(TFtpBatch& batch, const std::vector<std::string>& groups)
{
    // Folders to list, relative to the root: the groups, then every
    // patient folder as its group's listing arrives.
    struct Folder {
        std::string Group;
        std::string Patient; // empty for a group
    };
    std::vector<Folder> folders;
    std::vector<TFtpBatch::File> files;
    for (const std::string& g : groups) {
        if (!LocalCache::IsSafeName(g))
            continue;
        folders.push_back({g, {}});
        files.push_back({g, {}, -1, true});
    }
    TFtpBatch::Events events;
    events.NeedsFetch = [](size_t, int32_t) { return true; };
    events.Progress = [](int64_t) {};
    events.Stopping = [this] { return isInterruptionRequested(); };
    events.Started = [&](size_t i) {
        if (!folders[i].Patient.empty())
            GroupStatus(folders[i].Group);
    };
    events.Finished = [&](size_t i, const TFtpBatch::Result& result) {
        // A folder whose listing failed is skipped.
        if (result.Kind != TFtpBatch::Outcome::Fetched) {
            m_folderLost = m_folderLost || result.SocketKind;
            return !isInterruptionRequested();
        }
        const Folder folder = folders[i];
        if (!folder.Patient.empty()) {
            std::vector<std::string> studies;
            for (const TFtpBatch::Listed& s : result.Listing)
                studies.push_back(s.Name);
            AddRows(folder.Group, folder.Patient, studies);
            return !isInterruptionRequested();
        }
        for (const TFtpBatch::Listed& p : result.Listing) {
            // A plain file would only fail its listing.
            if (p.Plain || !LocalCache::IsSafeName(p.Name))
                continue;
            folders.push_back({folder.Group, p.Name});
            files.push_back({folder.Group + "/" + p.Name, {}, -1, true});
        }
        return !isInterruptionRequested();
    };
    batch.Run(files, events);
}

void TListThread::GroupStatus(const std::string& group)
{
    const int64_t now = NowMs();
    if (group == m_groupShown || now - m_groupShownMs < GroupStatusIntervalMs)
        return;
    m_groupShownMs = now;
    m_groupShown = group;
    Status("Searching folder " + Upper(group));
}

void TListThread::AddRows(const std::string& group, const std::string& patient,
                          const std::vector<std::string>& studies)
{
    std::vector<std::string> keys;
    for (const std::string& s : studies)
        if (LocalCache::IsSafeName(s))
            keys.push_back(group + "\\" + patient + "\\" + s);
    if (keys.empty())
        return;
    // One synchronised call per patient: a row each, as the list sorts.
    m_sync.Synchronize([&] {
        for (const std::string& key : keys)
            m_catalogue.List.AddCaseRow(key, rlRemote)->Listed = true;
    });
    m_found.insert(m_found.end(), keys.begin(), keys.end());
}
