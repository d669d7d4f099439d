#include "VsftpdServer.h"

#include "FtpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <random>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* Program = "/usr/sbin/vsftpd";
constexpr const char* LockFile = "/tmp/caldris-ftptest.lock";
constexpr int ProcessWaitMs = 30000;
constexpr int StartAttempts = 3;

void Run(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess p;
    p.start(program, arguments);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(ProcessWaitMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error((program + " failed: ").toStdString() + p.readAllStandardError().toStdString());
}

// A port free right now (vsftpd takes no port 0).
int FreePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    ::close(s);
    return ok ? ntohs(a.sin_port) : 0;
}

bool Accepts(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

} // namespace

std::string VsftpdServer::SkipReason()
{
    if (::geteuid() != 0)
        return "vsftpd tests need root (vsftpd and a scratch user); run as root to include them";
    if (::access(Program, X_OK) != 0)
        return "vsftpd is not installed (apt-get install vsftpd)";
    return {};
}

VsftpdServer::VsftpdServer()
{
    m_lock = ::open(LockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lock < 0 || ::flock(m_lock, LOCK_EX) != 0)
        throw std::runtime_error("cannot lock " + std::string(LockFile));
    // The scratch user reaches its tree through this folder.
    QFile::setPermissions(m_root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                             QFileDevice::ReadOther | QFileDevice::ExeOther |
                                             QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    QDir(m_root.path()).mkpath("home");
    QDir(m_root.path()).mkpath("empty");
}

VsftpdServer::~VsftpdServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(ProcessWaitMs);
    }
    if (m_lock >= 0)
        ::close(m_lock); // releases the lock
}

void VsftpdServer::AddFile(const std::string& path, const std::string& content)
{
    const QString full = m_root.filePath("home/" + QString::fromStdString(path));
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly) || f.write(content.data(), qint64(content.size())) != qint64(content.size()))
        throw std::runtime_error("cannot build the vsftpd tree");
}

void VsftpdServer::MakeUser()
{
    QProcess id;
    id.start("id", {User});
    id.waitForFinished(ProcessWaitMs);
    const QString home = m_root.filePath("home");
    if (id.exitCode() != 0)
        Run("useradd", {"--no-create-home", "--home-dir", home, "--shell", "/bin/bash", User});
    else
        Run("usermod", {"--home", home, User}); // vsftpd enters the home first
    std::random_device random;
    for (int i = 0; i < 16; ++i)
        m_password += char('a' + random() % 26);
    Run("chpasswd", {}, QByteArray(User) + ":" + QByteArray::fromStdString(m_password) + "\n");
}

void VsftpdServer::WriteConfig()
{
    const FtpServer::TlsFiles tls = FtpServer::MakeTlsFilesIn(m_root.path());
    m_authority = tls.Authority;
    const QString root = m_root.path();
    const QString config = QString(R"(listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=%1
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=NO
pam_service_name=vsftpd
secure_chroot_dir=%2/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
pasv_enable=YES
ssl_enable=YES
rsa_cert_file=%3
rsa_private_key_file=%4
force_local_logins_ssl=YES
force_local_data_ssl=YES
require_ssl_reuse=YES
log_ftp_protocol=YES
xferlog_enable=YES
dual_log_enable=YES
debug_ssl=YES
vsftpd_log_file=%2/log
)")
                               .arg(m_port)
                               .arg(root, QString::fromStdString(tls.Certificate), QString::fromStdString(tls.Key));
    QFile f(m_root.filePath("vsftpd.conf"));
    if (!f.open(QIODevice::WriteOnly) || f.write(config.toUtf8()) < 0)
        throw std::runtime_error("cannot write the vsftpd config");
}

void VsftpdServer::Start()
{
    MakeUser();
    for (int attempt = 0; attempt < StartAttempts && m_port == 0; ++attempt) {
        m_port = FreePort();
        WriteConfig();
        m_process.start(Program, {m_root.filePath("vsftpd.conf")});
        if (!m_process.waitForStarted(ProcessWaitMs))
            throw std::runtime_error("cannot start vsftpd");
        // Listening, or gone (the port was taken meanwhile): try another.
        while (m_process.state() == QProcess::Running && !Accepts(m_port))
            m_process.waitForFinished(20);
        if (m_process.state() != QProcess::Running)
            m_port = 0;
    }
    if (m_port == 0)
        throw std::runtime_error("vsftpd did not start: " + m_process.readAllStandardError().toStdString());
}

std::string VsftpdServer::Log() const
{
    QFile f(m_root.filePath("log"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}
