#include "RemoteLog.h"
#include "TListThread.h"

#include "TCatalogue.h"
#include "TLocalCache.h"

#include <cctype>
#include <exception>

TListThread::TListThread(TCatalogue& catalogue, std::function<std::string()> rootReader)
    : m_catalogue(catalogue), m_rootReader(std::move(rootReader))
{
}

TListThread* TListThread::Start(TCatalogue& catalogue, std::function<std::string()> rootReader)
{
    auto* worker = new TListThread(catalogue, std::move(rootReader));
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    return worker;
}

void TListThread::Status(const std::string& text)
{
    m_sync.Synchronize([&] { m_catalogue.SetStatus(text); });
}

void TListThread::run()
{
    try {
        Walk();
        qCDebug(lcWorkers) << "listing: done";
    } catch (const std::exception& e) {
        // Listing failures are silent: the rows found so far stay.
        qCDebug(lcWorkers) << "listing: ended by" << e.what();
    } catch (...) {
    }
    m_connection.Disconnect();
    try {
        m_sync.Synchronize([this] {
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
    std::vector<std::string> groups;
    m_connection.ChangeDir(m_root);
    m_connection.List(groups);
    for (const std::string& g : groups) {
        // Names that could lead outside the cache never become rows.
        if (!LocalCache::IsSafeName(g))
            continue;
        try {
            m_connection.ChangeDir(m_root + "/" + g);
            std::string upper = g;
            for (char& c : upper)
                if (c >= 'a' && c <= 'z')
                    c = char(c - 'a' + 'A');
            Status("Searching folder " + upper);
            std::vector<std::string> patients;
            m_connection.List(patients);
            for (const std::string& p : patients) {
                if (!LocalCache::IsSafeName(p))
                    continue;
                try {
                    m_connection.ChangeDir(m_root + "/" + g + "/" + p);
                    std::vector<std::string> studies;
                    m_connection.List(studies);
                    for (const std::string& s : studies) {
                        if (!LocalCache::IsSafeName(s))
                            continue;
                        const std::string key = g + "\\" + p + "\\" + s;
                        m_sync.Synchronize([&] { m_catalogue.List.AddCaseRow(key, 1); });
                    }
                } catch (...) {
                }
            }
            Status("Searching...");
        } catch (...) {
        }
    }
}
