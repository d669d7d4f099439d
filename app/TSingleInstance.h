#pragma once
// Only one viewer runs per user. The first instance holds a per-user lock
// file in a private folder and listens on a local socket beside it, both
// named after the program and the user id. The folder is the runtime folder
// when it is a valid one (this user's, closed to others), else "caldris"
// under the cache base, made private; never a shared folder such as /tmp.
// A later start hands over the case folder it was given, if any, asks it to
// restore and raise its main window, and ends without showing anything.
// Both ends check that the other is this user's (SO_PEERCRED), and a lock
// file of someone else's is not believed. When no token can be made, or
// what is found is not ours, the program runs as the only instance.
//
// Threads: UI thread only (the server answers in the event loop).
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

class TSingleInstance : public QObject {
public:
    // Names derive from base ("Caldris") and the user id; folder is where the
    // lock file lives (by default as above); it must be a private folder.
    explicit TSingleInstance(const QString& base = "Caldris", const QString& folder = QString());
    ~TSingleInstance() override;

    enum TResult { First, AlreadyRunning, NoToken };
    // Takes the token; on AlreadyRunning the running instance has been handed
    // folder (when not empty) and asked to come forward.
    TResult Acquire(const QString& folder = QString());
    // Releases the token (also on destruction).
    void Release();

    QString LockPath() const { return m_lockPath; }
    QString Folder() const { return m_folder; }
    QString ServerName() const { return m_serverName; }

    // Restores and raises every top-level window whose title equals title,
    // ignoring letter case (the running instance's answer to a later start).
    static int RaiseWindows(const QString& title);

    // After a later start's request was answered: how many windows came forward.
    std::function<void(int raised)> OnRestored;
    // A case folder handed over by a later start.
    std::function<void(const QString& folder)> OnOpenFolder;

    // Whether the other end of a connected local socket runs as this user.
    static bool PeerIsOurs(qintptr socket);

private:
    bool FolderReady() const;
    TResult HandOver(const QString& folder);
    void OnConnection();
    void Request(const QByteArray& line);

    QString m_folder;
    bool m_makeFolder = false;
    QString m_lockPath;
    QString m_serverName;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
