#include "TSingleInstance.h"

#include "PrivateFolders.h"
#include "Program.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QWidget>

#include <cerrno>
#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray kRestoreRequest = "RESTORE";
const QByteArray kOpenRequest = "OPEN ";
// Longer than any path; a peer that sends more without a line end is cut off.
constexpr qsizetype kMaxRequest = 64 * 1024;
constexpr int kConnectWaitMs = 2000;
constexpr int kWriteWaitMs = 2000;
constexpr int kDisconnectWaitMs = 1000;
constexpr mode_t kOthersBits = 0077;
const char* const kCacheFolderName = "caldris";

// A folder this user alone can reach, found by the private-folder rules.
bool IsPrivateFolder(const QString& folder)
{
    const PrivateFolders::TFd fd = PrivateFolders::OpenFolder(folder.toStdString(), std::string(), false);
    struct stat st {};
    return fd.Valid() && ::fstat(fd.Get(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & kOthersBits) == 0;
}

// A lock file that is missing, or a plain file of ours.
bool LockIsOurs(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

} // namespace

bool TSingleInstance::PeerIsOurs(qintptr socket)
{
    ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socket), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
           peer.uid == ::geteuid();
}

TSingleInstance::TSingleInstance(const QString& base, const QString& folder)
{
    const QString uid = QString::number(::geteuid());
    m_folder = folder;
    if (m_folder.isEmpty()) {
        // The runtime folder when it is a valid one of ours; else one under
        // the cache base, made private. Never the shared temporary folder.
        const QString runtime = QString::fromStdString(PrivateFolders::RuntimeBase());
        if (!runtime.isEmpty() && IsPrivateFolder(runtime)) {
            m_folder = runtime;
        } else {
            m_folder = QString::fromStdString(PrivateFolders::CacheBase()) + '/' + kCacheFolderName;
            m_makeFolder = true;
        }
    }
    m_lockPath = QDir(m_folder).filePath(base + "-" + uid + ".lock");
    m_serverName = QDir(m_folder).filePath(base + "-" + uid + ".socket");
}

TSingleInstance::~TSingleInstance() { Release(); }

bool TSingleInstance::FolderReady() const
{
    if (m_makeFolder) {
        const QFileInfo info(m_folder);
        if (!PrivateFolders::Make(info.absolutePath().toStdString(), info.fileName().toStdString()))
            return false;
    }
    return IsPrivateFolder(m_folder);
}

TSingleInstance::TResult TSingleInstance::Acquire(const QString& folder)
{
    // A folder or lock that someone else could have planted is not believed:
    // the program then runs alone, and talks to nobody.
    if (!FolderReady() || !LockIsOurs(m_lockPath))
        return NoToken;
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // Never stale by age: a running holder keeps it for the whole run; a
    // crashed holder's lock is taken over through its process id.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        QLocalServer::removeServer(m_serverName); // left over by a crashed instance
        if (m_server->listen(m_serverName))
            connect(m_server, &QLocalServer::newConnection, this, &TSingleInstance::OnConnection);
        return First;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        m_lock.reset();
        return NoToken;
    }
    m_lock.reset();
    return HandOver(folder);
}

TSingleInstance::TResult TSingleInstance::HandOver(const QString& folder)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(kConnectWaitMs))
        return AlreadyRunning;
    // Only a viewer of ours hears the folder; anyone else gets nothing.
    if (!PeerIsOurs(socket.socketDescriptor())) {
        socket.abort();
        return NoToken;
    }
    // The folder first: the running viewer opens it, then comes forward.
    if (!folder.isEmpty() && !folder.contains('\n'))
        socket.write(kOpenRequest + folder.toUtf8() + '\n');
    socket.write(kRestoreRequest + '\n');
    socket.waitForBytesWritten(kWriteWaitMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kDisconnectWaitMs);
    return AlreadyRunning;
}

void TSingleInstance::Release()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_lock) {
        m_lock->unlock();
        m_lock.reset();
    }
}

void TSingleInstance::OnConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // Requests come only from this user's own later starts.
        if (!PeerIsOurs(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Requests are lines; one may arrive in pieces.
        auto pending = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, pending] {
            *pending += socket->readAll();
            qsizetype end;
            while ((end = pending->indexOf('\n')) >= 0) {
                const QByteArray line = pending->left(end);
                pending->remove(0, end + 1);
                Request(line);
            }
            if (pending->size() > kMaxRequest) {
                pending->clear();
                socket->abort();
            }
        });
    }
}

void TSingleInstance::Request(const QByteArray& line)
{
    if (line == kRestoreRequest) {
        const int raised = RaiseWindows(kFullTitle);
        if (OnRestored)
            OnRestored(raised);
    } else if (line.startsWith(kOpenRequest) && OnOpenFolder) {
        const QString folder = QString::fromUtf8(line.mid(kOpenRequest.size()));
        if (!folder.isEmpty())
            OnOpenFolder(folder);
    }
}

int TSingleInstance::RaiseWindows(const QString& title)
{
    int raised = 0;
    // Every window is looked at; during the splash no main window exists yet.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isWindow() || w->windowTitle().compare(title, Qt::CaseInsensitive) != 0)
            continue;
        if (w->isMinimized())
            w->setWindowState((w->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        w->show();
        w->raise();
        w->activateWindow();
        ++raised;
    }
    return raised;
}
