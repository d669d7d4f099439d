#include "FtpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

FtpServer::FtpServer() = default;

FtpServer::~FtpServer()
{
    Stop();
}

void FtpServer::AddFolder(const std::string& path)
{
    QDir(mHome.path()).mkpath(QString::fromStdString(path));
}

void FtpServer::AddFile(const std::string& path, const std::string& content)
{
    QString full = mHome.filePath(QString::fromStdString(path));
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly) || f.write(content.data(), qint64(content.size())) != qint64(content.size()))
        throw std::runtime_error("cannot build the test tree");
}

void FtpServer::Start(const QStringList& arguments)
{
    QStringList args{QStringLiteral(FTP_SERVER_SCRIPT), "--root", mHome.path(), "--log", mWork.filePath("log")};
    args += arguments;
    mProcess.setProcessChannelMode(QProcess::SeparateChannels);
    mProcess.start(QStringLiteral(FTP_TEST_PYTHON), args);
    if (!mProcess.waitForStarted(10000))
        throw std::runtime_error("cannot start the test FTP server");
    QByteArray out;
    while (!out.contains('\n')) {
        if (!mProcess.waitForReadyRead(20000))
            throw std::runtime_error("test FTP server did not report its port: " +
                                     mProcess.readAllStandardError().toStdString());
        out += mProcess.readAllStandardOutput();
    }
    QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (!line.startsWith("PORT "))
        throw std::runtime_error("unexpected output of the test FTP server");
    mPort = line.mid(5).toInt();
}

void FtpServer::Stop()
{
    if (mProcess.state() != QProcess::NotRunning) {
        mProcess.kill();
        mProcess.waitForFinished(10000);
    }
}

std::string FtpServer::Commands() const
{
    QFile f(mWork.filePath("log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}
