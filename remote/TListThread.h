#pragma once
// A listing worker: walks the server's root, group, patient and study folders
// and adds one catalogue row per case. With "Connections" 1 it walks folder
// after folder over its own connection; with more, the group and patient
// folders are listed over that many connections at once (a TFtpBatch), each
// patient's studies becoming rows as soon as they arrive. Lives for one
// listing and frees itself when it ends.
//
// Threads: Start() on the UI thread. run() on the worker; every status text
// and row addition, the settings copy and the end-of-listing step run on the
// UI thread through synchronised calls while the worker waits.
#include "ConnectionSettings.h"
#include "TFtpConnection.h"
#include "TThreadSync.h"

#include <QThread>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TCatalogue;

class TListThread : public QThread {
public:
    // The group shown in "Searching folder " changes at most this often
    // while several connections walk.
    static constexpr int GroupStatusIntervalMs = 100;

    // Creates and starts a listing; rootReader reads "Root" of the settings
    // on the UI thread at the start of the listing; listingLimitMs bounds
    // each folder's listing as a whole.
    static TListThread* Start(TCatalogue& catalogue, std::function<std::string()> rootReader,
                              int listingLimitMs = TFtpConnection::DefaultListingLimitMs);

    // UI thread: asks the walk to end (its transfers are aborted) and waits
    // for the end while serving the worker's calls.
    void Stop()
    {
        requestInterruption();
        m_connection.Abort();
        m_sync.WaitFor(this);
    }

protected:
    void run() override;

private:
    TListThread(TCatalogue& catalogue, std::function<std::string()> rootReader);
    void Walk();
    void WalkOneByOne(const std::vector<std::string>& groups);
    void WalkInParallel(class TFtpBatch& batch, const std::vector<std::string>& groups);
    // Connects again when a failure closed the connection; a walk that can
    // no longer reach the server ends.
    void Reopen();
    void AddRows(const std::string& group, const std::string& patient, const std::vector<std::string>& studies);
    void Status(const std::string& text);
    void GroupStatus(const std::string& group);

    TCatalogue& m_catalogue;
    std::function<std::string()> m_rootReader;
    TThreadSync m_sync;
    TFtpConnection m_connection;
    std::string m_root;
    std::vector<std::string> m_found; // keys of the cases this walk listed
    int64_t m_startedAt = 0;          // seconds since the epoch
    bool m_complete = false;          // the walk reached the end of the root
    bool m_folderLost = false;        // a folder failed for the network's sake
    std::string m_groupShown;         // in "Searching folder "
    int64_t m_groupShownMs = 0;
};
