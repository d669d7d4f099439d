#pragma once
// A real FTP server for one test: the python script beside this file run on
// 127.0.0.1 with a free port, serving a home tree built by the test.
// Stopped (its own process only) by Stop or the destructor.
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

class FtpServer {
public:
    FtpServer();
    ~FtpServer();

    // Home tree; call before Start.
    void AddFile(const std::string& path, const std::string& content) { AddFileIn(m_home.path(), path, content); }
    static void AddFileIn(const QString& root, const std::string& path, const std::string& content);
    void AddFolder(const std::string& path);
    std::string Home() const { return m_home.path().toStdString(); }

    // Extra arguments of the script (faults), e.g. {"--no-size"}.
    void Start(const QStringList& arguments = {});
    void Stop();
    int Port() const { return m_port; }
    // Every command the server received, one a line.
    std::string Commands() const;

    // A certificate authority and a server certificate for 127.0.0.1 signed
    // by it, made with openssl in the server's work folder; pass
    // TlsArguments() to Start for a server that requires TLS.
    struct TlsFiles {
        std::string Authority; // the authority's certificate (PEM)
        std::string Certificate;
        std::string Key;
    };
    TlsFiles MakeTlsFiles();
    // The same files made in another folder.
    static TlsFiles MakeTlsFilesIn(const QString& folder);
    QStringList TlsArguments(const TlsFiles& files) const;

private:
    QTemporaryDir m_home;
    QTemporaryDir m_work;
    QProcess m_process;
    int m_port = 0;
};
