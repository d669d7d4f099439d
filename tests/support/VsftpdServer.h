#pragma once
// vsftpd, a real FTP server that nobody here wrote, for one test: run in the
// foreground from a config file of its own on 127.0.0.1, explicit TLS
// required on control and data connections, with its default rule that a
// data connection resumes a TLS session of the server's (require_ssl_reuse).
// It serves a tree built by the test to a scratch local user. vsftpd and the
// user need root: when SkipReason() is not empty, the test skips with it.
//
// Threads: the test's thread.
#include "FtpServer.h"
#include "ScratchUser.h"

#include <QProcess>
#include <QTemporaryDir>

#include <string>

class VsftpdServer {
public:
    // Empty when vsftpd can run here; else why not.
    static std::string SkipReason();

    VsftpdServer();
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    // Tree below the login folder; call before Start.
    void AddFile(const std::string& path, const std::string& content)
    {
        FtpServer::AddFileIn(m_root.filePath("home"), path, content);
    }
    void Start();
    int Port() const { return m_port; }
    const TScratchUser& User() const { return m_user; }
    // The certificate authority that signed the server's certificate.
    const std::string& Authority() const { return m_authority; }
    // The server's protocol and TLS log so far.
    std::string Log() const;

private:
    void WriteConfig();

    QTemporaryDir m_root;
    TScratchUser m_user{m_root.filePath("home").toStdString()};
    QProcess m_process;
    int m_port = 0;
    std::string m_authority;
};
