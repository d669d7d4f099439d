#pragma once
// A listing worker: walks the server's root, group, patient and study folders
// over its own connection and adds one catalogue row per case. Lives for one
// listing and frees itself when it ends.
//
// Threads: Start() on the UI thread. run() on the worker; every status text
// and row addition, the settings copy and the end-of-listing step run on the
// UI thread through synchronised calls while the worker waits.
#include "ConnectionSettings.h"
#include "TFtpConnection.h"
#include "TThreadSync.h"

#include <QThread>

#include <functional>
#include <string>

class TCatalogue;

class TListThread : public QThread {
public:
    // Creates and starts a listing; rootReader reads "Root" of the settings
    // on the UI thread at the start of the listing.
    static TListThread* Start(TCatalogue& catalogue, std::function<std::string()> rootReader);

    // UI thread: asks the walk to end (its transfer is aborted) and waits for
    // the end while serving the worker's calls.
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
    void Status(const std::string& text);

    TCatalogue& m_catalogue;
    std::function<std::string()> m_rootReader;
    TThreadSync m_sync;
    TFtpConnection m_connection;
    std::string m_root;
};
