#include "VsftpdServer.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* Program = "/usr/sbin/vsftpd";
constexpr int ProcessWaitMs = 30000;
constexpr int StartAttempts = 3;

// A loopback port: one free right now (0 asks for one) or whether one listens.
int Loopback(int port, bool listening)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    const bool ok = listening ? ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
                              : ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                                    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    ::close(s);
    return ok ? ntohs(a.sin_port) : 0;
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
    // The scratch user reaches its tree through this folder.
    QFile::setPermissions(m_root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                             QFileDevice::ReadOther | QFileDevice::ExeOther |
                                             QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    QDir(m_root.path()).mkpath("home");
    QDir(m_root.path()).mkpath("empty");
}

VsftpdServer::~VsftpdServer()
{
    m_process.kill();
    m_process.waitForFinished(ProcessWaitMs);
}

void VsftpdServer::WriteConfig()
{
    const FtpServer::TlsFiles tls = FtpServer::MakeTlsFilesIn(m_root.path());
    m_authority = tls.Authority;
    const QString root = m_root.path();
    const QString config = QString(R"(listen=YES
listen_address=127.0.0.1
listen_port=%1
background=NO
anonymous_enable=NO
local_enable=YES
pam_service_name=vsftpd
secure_chroot_dir=%2/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
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
    if (!m_user.Available())
        throw std::runtime_error("cannot add the scratch user");
    for (int attempt = 0; attempt < StartAttempts && m_port == 0; ++attempt) {
        m_port = Loopback(0, false);
        WriteConfig();
        m_process.start(Program, {m_root.filePath("vsftpd.conf")});
        if (!m_process.waitForStarted(ProcessWaitMs))
            throw std::runtime_error("cannot start vsftpd");
        // Listening, or gone (the port was taken meanwhile): try another.
        while (m_process.state() == QProcess::Running && !Loopback(m_port, true))
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
