#include "TSingleInstance.h"

#include "Program.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>

#include <memory>

#include <unistd.h>

namespace {
const QByteArray kRestoreRequest = "RESTORE";
const QByteArray kOpenRequest = "OPEN ";
// Longer than any path; a peer that sends more without a line end is cut off.
constexpr qsizetype kMaxRequest = 64 * 1024;
} // namespace

TSingleInstance::TSingleInstance(const QString& base, const QString& folder)
{
    const QString uid = QString::number(::getuid());
    QString dir = folder;
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    // Both live in the user's own runtime folder.
    m_lockPath = QDir(dir).filePath(base + "-" + uid + ".lock");
    m_serverName = QDir(dir).filePath(base + "-" + uid + ".socket");
}

TSingleInstance::~TSingleInstance() { Release(); }

TSingleInstance::TResult TSingleInstance::Acquire(const QString& folder)
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // Never stale by age: a running holder keeps it for the whole run; a
    // crashed holder's lock is taken over through its process id.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        m_server = new QLocalServer(this);
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
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (socket.waitForConnected(2000)) {
        // The folder first: the running viewer opens it, then comes forward.
        if (!folder.isEmpty() && !folder.contains('\n'))
            socket.write(kOpenRequest + folder.toUtf8() + '\n');
        socket.write(kRestoreRequest + '\n');
        socket.waitForBytesWritten(2000);
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(1000);
    }
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
