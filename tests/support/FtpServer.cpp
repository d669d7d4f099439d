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

namespace {

void RunOpenssl(const QString& folder, const QStringList& arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(folder);
    openssl.start("openssl", arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
        throw std::runtime_error("openssl failed: " + openssl.readAllStandardError().toStdString());
}

} // namespace

FtpServer::TlsFiles FtpServer::MakeTlsFiles()
{
    const QString folder = mWork.path();
    const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    RunOpenssl(folder, QStringList{"req", "-x509"} + key +
                           QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Test CA"});
    RunOpenssl(folder, QStringList{"req"} + key +
                           QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"});
    QFile extensions(mWork.filePath("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly) ||
        extensions.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n") < 0)
        throw std::runtime_error("cannot write the certificate extensions");
    extensions.close();
    RunOpenssl(folder, {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                        "-out", "server.pem", "-days", "2", "-extfile", "server.ext"});
    return {mWork.filePath("ca.pem").toStdString(), mWork.filePath("server.pem").toStdString(),
            mWork.filePath("server.key").toStdString()};
}

QStringList FtpServer::TlsArguments(const TlsFiles& files) const
{
    return {"--tls", QString::fromStdString(files.Certificate + ":" + files.Key)};
}

std::string FtpServer::Commands() const
{
    QFile f(mWork.filePath("log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}
