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
    QDir(m_home.path()).mkpath(QString::fromStdString(path));
}

void FtpServer::AddFileIn(const QString& root, const std::string& path, const std::string& content)
{
    const QString full = QDir(root).filePath(QString::fromStdString(path));
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly) || f.write(content.data(), qint64(content.size())) != qint64(content.size()))
        throw std::runtime_error("cannot build the test tree");
}

void FtpServer::Start(const QStringList& arguments)
{
    QStringList args{QStringLiteral(FTP_SERVER_SCRIPT), "--root", m_home.path(), "--log", m_work.filePath("log")};
    args += arguments;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(FTP_TEST_PYTHON), args);
    if (!m_process.waitForStarted(10000))
        throw std::runtime_error("cannot start the test FTP server");
    QByteArray out;
    while (!out.contains('\n')) {
        if (!m_process.waitForReadyRead(20000))
            throw std::runtime_error("test FTP server did not report its port: " +
                                     m_process.readAllStandardError().toStdString());
        out += m_process.readAllStandardOutput();
    }
    QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (!line.startsWith("PORT "))
        throw std::runtime_error("unexpected output of the test FTP server");
    m_port = line.mid(5).toInt();
}

void FtpServer::Stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
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

FtpServer::TlsFiles FtpServer::MakeTlsFiles() { return MakeTlsFilesIn(m_work.path()); }

FtpServer::TlsFiles FtpServer::MakeTlsFilesIn(const QString& folder)
{
    const QDir work(folder);
    const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    RunOpenssl(folder, QStringList{"req", "-x509"} + key +
                           QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Test CA"});
    RunOpenssl(folder, QStringList{"req"} + key +
                           QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"});
    QFile extensions(work.filePath("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly) ||
        extensions.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n") < 0)
        throw std::runtime_error("cannot write the certificate extensions");
    extensions.close();
    RunOpenssl(folder, {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                        "-out", "server.pem", "-days", "2", "-extfile", "server.ext"});
    return {work.filePath("ca.pem").toStdString(), work.filePath("server.pem").toStdString(),
            work.filePath("server.key").toStdString()};
}

QStringList FtpServer::TlsArguments(const TlsFiles& files) const
{
    return {"--tls", QString::fromStdString(files.Certificate + ":" + files.Key)};
}

std::string FtpServer::Commands() const
{
    QFile f(m_work.filePath("log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}
