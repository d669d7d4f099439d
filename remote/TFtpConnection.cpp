#include "RemoteLog.h"
#include "TFtpConnection.h"

#include "EFtpError.h"
#include "EFtpSocketError.h"
#include "ETlsError.h"
#include "FtpWire.h"
#include "PrivateFolders.h"
#include "Exception.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Longest single wait otherwise: network events and Abort wake it sooner.
constexpr int MaxPollMs = 1000;
// The server's answer to QUIT while a connection closes; a silent server
// must not hold up the end of the program.
constexpr long QuitReplyWaitS = 1;
constexpr size_t MaxReplyLines = 256;
constexpr int32_t FolderSize = -2; // marks a listed entry that is no file

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The reason a protected connection failed, or empty when it is no such failure.
std::string TlsReason(CURLcode code, const std::string& detail)
{
    switch (code) {
    case CURLE_USE_SSL_FAILED:
        return "The server refused a protected (TLS) connection.";
    case CURLE_PEER_FAILED_VERIFICATION:
        return "The server's certificate could not be verified: " + detail;
    case CURLE_SSL_CACERT_BADFILE:
        return "The certificate authority file cannot be read: " + detail;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
        return "The protected (TLS) connection failed: " + detail;
    default:
        return {};
    }
}

void CheckSendable(const std::string& text)
{
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw EFtpError("Invalid name: it holds a line break or a NUL character.");
}

// A host name or an IPv4 or IPv6 address; anything else would change the URL.
void CheckHost(const std::string& host)
{
    bool ok = !host.empty() && host.size() <= 253;
    for (char c : host)
        ok = ok && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == ':');
    if (!ok)
        throw EFtpError("Invalid host name \"" + host + "\".");
}

std::string EscapeSegments(CURL* easy, const std::string& path)
{
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        std::string segment = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!segment.empty()) {
            char* escaped = curl_easy_escape(easy, segment.data(), static_cast<int>(segment.size()));
            if (!escaped)
                throw std::bad_alloc();
            out += escaped;
            curl_free(escaped);
        }
        if (slash == std::string::npos)
            break;
        out += '/';
        start = slash + 1;
    }
    return out;
}

struct FileGuard {
    int& fd;
    ~FileGuard()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

} // namespace

struct FtpSocketHooks {
    static curl_socket_t Open(void* self, curlsocktype, curl_sockaddr* address)
    {
        const int socket = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        if (socket < 0)
            return CURL_SOCKET_BAD;
        try {
            static_cast<TFtpConnection*>(self)->m_sockets.insert(socket);
        } catch (...) {
            // Nothing may be thrown through libcurl; no socket it cannot end.
            ::close(socket);
            return CURL_SOCKET_BAD;
        }
        return socket;
    }
    static int Close(void* self, curl_socket_t socket)
    {
        static_cast<TFtpConnection*>(self)->m_sockets.erase(socket);
        return ::close(socket);
    }
};

TFtpConnection::TFtpConnection()
{
    InitCurlOnce();
    // Used on the owning thread only: no locking.
    m_share = curl_share_init();
    if (!m_share || curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK) {
        curl_share_cleanup(m_share);
        throw std::bad_alloc();
    }
}

TFtpConnection::~TFtpConnection()
{
    Close();
    // This connection's copy of the password ends with it.
    Settings.ForgetPassword();
    curl_share_cleanup(m_share);
}

void TFtpConnection::Abort()
{
    std::lock_guard<std::mutex> lock(m_multiMutex);
    m_abort.store(true);
    if (m_multi)
        curl_multi_wakeup(m_multi);
}

void TFtpConnection::Open()
{
    CURLM* multi = curl_multi_init();
    {
        std::lock_guard<std::mutex> lock(m_multiMutex);
        m_multi = multi;
    }
    m_easy = curl_easy_init();
    if (!m_multi || !m_easy) {
        Close();
        throw std::bad_alloc();
    }
}

// Takes the multi handle out of Abort's reach, then ends it: the connection
// cache lives there and its cleanup says QUIT.
void TFtpConnection::DropMulti()
{
    CURLM* multi = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_multiMutex);
        std::swap(multi, m_multi);
    }
    if (!multi)
        return;
    // Handles of a batch leave first, as the multi handle's end requires.
    for (CURL* guest : m_guests)
        curl_multi_remove_handle(multi, guest);
    m_guestsDone.clear();
    if (m_abort.load() && !m_sockets.empty()) {
        // After an abort nothing more is said: QUIT fails at once on every
        // connection still open, however many a batch left.
        for (long socket : m_sockets)
            ::shutdown(static_cast<int>(socket), SHUT_RDWR);
    } else if (m_easy) {
        // The cache says QUIT with the wait of the last handle it was given.
        curl_easy_setopt(m_easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, QuitReplyWaitS);
        curl_multi_add_handle(multi, m_easy);
        curl_multi_remove_handle(multi, m_easy);
    }
    curl_multi_cleanup(multi);
}

void TFtpConnection::Close()
{
    DropMulti();
    if (m_easy)
        curl_easy_cleanup(m_easy);
    curl_slist_free_all(m_quotes);
    m_easy = nullptr;
    m_quotes = nullptr;
    m_connected = false;
    m_serverBinary = false;
    m_machineListing = -1;
    m_socket = -1;
}

void TFtpConnection::Connect()
{
    Close();
    CheckSendable(Settings.User);
    CheckSendable(Settings.Password);
    CheckHost(Settings.Host);
    // Each login is judged by its own replies, never by an earlier one's.
    m_lastReplyCode = 0;
    m_lastReplyText.clear();
    // libcurl 7.88 never completes a protected data connection in active
    // mode: each transfer would hang until its time-out.
    if (!Settings.Passive && Settings.Tls != ConnectionSettings::TlsMode::None)
        throw ETlsError(ActiveTlsText);
    if (m_abort.load())
        throw EFtpError("Operation aborted.");
    Open();
    Perform(Op::Login, std::string(), {"TYPE I"});
    m_connected = m_socket >= 0;
    if (!m_connected)
        throw EFtpError("Connection closed.");
    m_serverBinary = true;
}

bool TFtpConnection::Connected()
{
    CheckAlive();
    return m_connected;
}

void TFtpConnection::Disconnect()
{
    Close();
}

void TFtpConnection::RequireConnected()
{
    if (m_abort.load()) {
        Close();
        throw EFtpError("Operation aborted.");
    }
    CheckAlive();
    if (!m_connected)
        throw EFtpError("Not connected.");
}

// The server may have closed the idle control connection (usually after an
// unasked 421 reply). libcurl would then quietly open a new one and log in
// again; this facility reports it instead, as every caller expects one
// connection per Connect. Anything readable while idle means the end.
void TFtpConnection::CheckAlive()
{
    if (!m_connected || m_socket < 0)
        return;
    pollfd p{static_cast<int>(m_socket), POLLIN, 0};
    if (::poll(&p, 1, 0) > 0)
        Close();
}

void TFtpConnection::ChangeDir(const std::string& path)
{
    RequireConnected();
    CheckSendable(path);
    Perform(Op::Command, std::string(), {"*CWD " + path});
    if (m_lastReplyCode != 200 && m_lastReplyCode != 250)
        throw EFtpError(m_lastReplyText);
}

void TFtpConnection::List(std::vector<std::string>& names)
{
    RequireConnected();
    Perform(Op::List, std::string(), {});
    // libcurl lists in ASCII type and leaves the server there.
    m_serverBinary = false;
    names = TakeListingLines();
}

bool TFtpConnection::OffersMachineListing()
{
    if (m_machineListing < 0) {
        Perform(Op::Command, std::string(), {"*FEAT"});
        m_machineListing = 0;
        if (m_lastReplyCode == 211)
            for (const std::string& line : m_replyLines)
                if (line.compare(0, 5, " MLST") == 0)
                    m_machineListing = 1;
    }
    return m_machineListing == 1;
}

void TFtpConnection::ListFiles(std::vector<ListedFile>& files)
{
    RequireConnected();
    std::vector<std::string> names;
    List(names);
    std::vector<ListedFile> out;
    if (!OffersMachineListing()) {
        for (std::string& name : names)
            out.push_back({std::move(name), -1});
        files = std::move(out);
        return;
    }
    // The names and their order stay those of NLST; MLSD adds each one's
    // type and size, so folders drop out and no SIZE is needed (but for
    // links: SIZE follows them).
    Perform(Op::MachineList, std::string(), {});
    m_serverBinary = false;
    std::map<std::string, ListedFile> facts;
    for (const std::string& line : TakeListingLines()) {
        bool isFile = false;
        ListedFile file = ParseMachineLine(line, isFile);
        if (!file.Name.empty())
            facts[file.Name] = isFile ? file : ListedFile{file.Name, FolderSize};
    }
    for (std::string& name : names) {
        auto found = facts.find(name);
        if (found == facts.end())
            out.push_back({std::move(name), -1});
        else if (found->second.Size != FolderSize)
            out.push_back(found->second);
    }
    files = std::move(out);
}

// "fact=value;fact=value; name": the name is everything after the first blank.
// Folders ("dir", "cdir", "pdir") are no files. Links ("OS.unix=symlink",
// "OS.unix=slink:TARGET") and other types are served like files; the size
// listed for a link is its own length, so only a "file" keeps its size.
TFtpConnection::ListedFile TFtpConnection::ParseMachineLine(const std::string& line, bool& isFile)
{
    isFile = false;
    const size_t blank = line.find(' ');
    if (blank == std::string::npos || blank + 1 >= line.size())
        return {};
    // Facts compare without regard to case; ";" on both sides of each.
    std::string facts;
    facts.reserve(blank + 2);
    facts += ';';
    facts.append(line, 0, blank);
    if (facts.back() != ';')
        facts += ';';
    for (char& c : facts)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    ListedFile file{line.substr(blank + 1), -1};
    const size_t type = facts.find(";type=");
    const std::string kind =
        type == std::string::npos ? std::string() : facts.substr(type + 6, facts.find(';', type + 6) - type - 6);
    isFile = kind != "dir" && kind != "cdir" && kind != "pdir";
    const size_t at = facts.find(";size=");
    if (kind == "file" && at != std::string::npos) {
        const size_t from = at + 6;
        file.Size = FtpWire::ParseSize(facts.substr(from, facts.find(';', from) - from));
    }
    return file;
}

std::vector<std::string> TFtpConnection::TakeListingLines()
{
    std::vector<std::string> lines = FtpWire::ListingLines(m_listing);
    m_listing.clear();
    return lines;
}

int32_t TFtpConnection::Size(const std::string& name)
{
    RequireConnected();
    CheckSendable(name);
    std::vector<std::string> quotes;
    // A size in ASCII type is refused or differs; ask in binary type.
    if (!m_serverBinary)
        quotes.push_back("TYPE I");
    quotes.push_back("*SIZE " + name);
    Perform(Op::Command, std::string(), quotes);
    m_serverBinary = true;
    return m_lastReplyCode == 213 ? FtpWire::SizeFromReply(m_lastReplyText) : -1;
}

void TFtpConnection::SetBinary()
{
    if (!m_connected || m_serverBinary)
        return;
    RequireConnected();
    Perform(Op::Command, std::string(), {"TYPE I"});
    m_serverBinary = true;
}

void TFtpConnection::Get(const std::string& name, const std::string& localPath, int64_t expectedSize)
{
    RequireConnected();
    // An empty name or one ending in "/" would make libcurl list a folder.
    if (name.empty() || name.back() == '/')
        throw EFtpError("Invalid file name.");
    CheckSendable(name);
    // Owner-only, in a folder nobody else can swap, never through a link.
    m_fileDescriptor = PrivateFolders::CreateFile(localPath);
    if (m_fileDescriptor < 0)
        throw EFCreateError("Cannot create file \"" + localPath + "\". " + std::strerror(errno));
    FileGuard guard{m_fileDescriptor};
    m_expectedSize = expectedSize;
    Perform(Op::Retr, name, {});
    if (::close(m_fileDescriptor) != 0) {
        m_fileDescriptor = -1;
        throw EWriteError("Stream write error");
    }
    m_fileDescriptor = -1;
    if (expectedSize >= 0 && m_transferred != expectedSize)
        throw EFtpError("Transfer incomplete: " + std::to_string(m_transferred) + " of " +
                        std::to_string(expectedSize) + " bytes received.");
}

std::string TFtpConnection::Url(CURL* e, const std::string& path) const
{
    std::string host = Settings.Host;
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return "ftp://" + host + ":" + std::to_string(Settings.Port) + "/" + EscapeSegments(e, path);
}

void TFtpConnection::ApplyCommonOptions(CURL* e) const
{
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(e, CURLOPT_USERNAME, Settings.User.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, Settings.Password.c_str());
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // EPSV where the server has it (libcurl falls back to PASV by itself).
    curl_easy_setopt(e, CURLOPT_FTP_USE_EPSV, 1L);
    curl_easy_setopt(e, CURLOPT_FTP_USE_EPRT, 0L);
    curl_easy_setopt(e, CURLOPT_FTPPORT, Settings.Passive ? nullptr : "-");
    // Data connections go to the control connection's host whatever address
    // a PASV reply names, so a hostile reply cannot point them elsewhere.
    curl_easy_setopt(e, CURLOPT_FTP_SKIP_PASV_IP, 1L);
    // Our own deadline ends a slow Connect; this one only backs it up.
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeoutMs) + 1000L);
    if (Settings.Tls == ConnectionSettings::TlsMode::None) {
        curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
    } else {
        curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(e, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(e, CURLOPT_CAINFO, Settings.CaFile.empty() ? nullptr : Settings.CaFile.c_str());
    }
    if (ReceiveBufferSize > 0)
        curl_easy_setopt(e, CURLOPT_BUFFERSIZE, static_cast<long>(ReceiveBufferSize));
    // Our own stall check ends a silent transfer; this one only backs it up.
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(StallLimitMs / 1000 + 2));
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);
    // Every socket of every handle is known until it closes, so that an
    // abort can end them all.
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &FtpSocketHooks::Open);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, const_cast<TFtpConnection*>(this));
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &FtpSocketHooks::Close);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, const_cast<TFtpConnection*>(this));
    RemoteLog::TraceFtp(e);
}

void TFtpConnection::Prepare(Op op, const std::string& path)
{
    CURL* e = m_easy;
    curl_easy_setopt(e, CURLOPT_URL, Url(e, path).c_str());
    ApplyCommonOptions(e);
    curl_easy_setopt(e, CURLOPT_SHARE, m_share);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, m_errorBuffer);
    // Every command names its target; the current folder is ours to set.
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HeaderThunk);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &WriteThunk);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_NOBODY, op == Op::Login || op == Op::Command ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_DIRLISTONLY, op == Op::List ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, op == Op::MachineList ? "MLSD" : nullptr);
    // RETR follows at once: no SIZE of libcurl's own before it.
    curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, op == Op::Retr ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_QUOTE, m_quotes);
}

void TFtpConnection::Perform(Op op, const std::string& path, const std::vector<std::string>& quotes)
{
    curl_slist_free_all(m_quotes);
    m_quotes = nullptr;
    for (const std::string& q : quotes) {
        curl_slist* next = curl_slist_append(m_quotes, q.c_str());
        if (!next)
            throw std::bad_alloc();
        m_quotes = next;
    }
    m_op = op;
    m_transferred = 0;
    m_listing.clear();
    m_listingEntries = 0;
    m_replied = false;
    m_replyLines.clear();
    m_dataPending = false;
    m_callbackFailure = nullptr;
    m_errorBuffer[0] = 0;
    if (m_abort.load()) {
        Close();
        throw EFtpError("Operation aborted.");
    }
    Prepare(op, path);

    curl_multi_add_handle(m_multi, m_easy);
    CURLcode result = CURLE_OK;
    bool done = false, aborted = false, stalled = false, timedOut = false, listingTooSlow = false;
    const bool listing = op == Op::List || op == Op::MachineList;
    const int64_t started = NowMs();
    m_lastActivityMs = started;
    for (;;) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(m_multi, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_multi, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle != m_easy) {
                // A batch's handle, driven along meanwhile: its result is kept for it.
                m_guestsDone.emplace_back(msg->easy_handle, static_cast<int>(msg->data.result));
            } else if (msg->msg == CURLMSG_DONE) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (mc != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (m_abort.load()) {
            aborted = true;
            break;
        }
        const int64_t now = NowMs();
        if (op == Op::Login && now - started >= ConnectTimeoutMs) {
            timedOut = true;
            break;
        }
        if (now - m_lastActivityMs >= StallLimitMs) {
            stalled = true;
            break;
        }
        // A server that trickles a byte now and then never stalls.
        if (listing && now - started >= ListingLimitMs) {
            listingTooSlow = true;
            break;
        }
        if (OnWait)
            OnWait();
        curl_multi_poll(m_multi, nullptr, 0, WaitLimitMs(op, started, NowMs()), nullptr);
    }
    // A callback that refused the data for an abort ends the transfer too.
    if (!aborted && result != CURLE_OK && m_abort.load())
        aborted = true;
    long socket = -1;
    curl_socket_t active = CURL_SOCKET_BAD;
    if (done && curl_easy_getinfo(m_easy, CURLINFO_ACTIVESOCKET, &active) == CURLE_OK && active != CURL_SOCKET_BAD)
        socket = static_cast<long>(active);
    // Removing a handle in mid-transfer closes its connection.
    curl_multi_remove_handle(m_multi, m_easy);
    m_socket = socket;
    if (socket < 0)
        m_connected = false;

    if (m_callbackFailure) {
        Close();
        std::rethrow_exception(std::exchange(m_callbackFailure, nullptr));
    }
    if (aborted) {
        Close();
        throw EFtpError("Operation aborted.");
    }
    if (stalled) {
        Close();
        throw EFtpSocketError("Connection timed out: no data for " + std::to_string(StallLimitMs / 1000) + " seconds.");
    }
    if (listingTooSlow) {
        Close();
        throw EFtpSocketError("Connection timed out: no whole listing within " + std::to_string(ListingLimitMs / 1000) +
                              " seconds.");
    }
    if (timedOut) {
        Close();
        throw EFtpSocketError("Connection timed out: no login within " + std::to_string(ConnectTimeoutMs / 1000) +
                              " seconds.");
    }
    if (result != CURLE_OK)
        Fail(result, FtpWire::IsSocketFailure(result));
}

int TFtpConnection::WaitLimitMs(Op op, int64_t started, int64_t now) const
{
    int64_t limit = m_dataPending ? FtpWire::PassiveGapPollMs : MaxPollMs;
    limit = std::min<int64_t>(limit, StallLimitMs - (now - m_lastActivityMs));
    if (op == Op::Login)
        limit = std::min<int64_t>(limit, ConnectTimeoutMs - (now - started));
    if (op == Op::List || op == Op::MachineList)
        limit = std::min<int64_t>(limit, ListingLimitMs - (now - started));
    if (OnWait)
        limit = std::min<int64_t>(limit, WaitHookMs);
    return static_cast<int>(std::max<int64_t>(limit, 0));
}

void TFtpConnection::Fail(int code, bool socketKind)
{
    std::string text = m_errorBuffer[0] ? std::string(m_errorBuffer) : curl_easy_strerror(static_cast<CURLcode>(code));
    // A refused command (550 on RETR or NLST) fails that file or folder
    // only: the control connection goes on when libcurl kept it. Any other
    // failure leaves it in an unknown state.
    const bool refused = !socketKind && m_connected && m_replied && m_lastReplyCode >= 400 &&
                         FtpWire::IsRefusedCommand(code);
    if (!refused)
        Close();
    if (code == CURLE_ABORTED_BY_CALLBACK)
        throw EFtpError("Operation aborted.");
    const std::string tls = TlsReason(static_cast<CURLcode>(code), text);
    if (!tls.empty())
        throw ETlsError(tls);
    if (socketKind)
        throw EFtpSocketError("Socket error: " + text);
    // A reply the operation did not expect: its own text says most.
    if (m_replied && m_lastReplyCode >= 400)
        throw EFtpError(m_lastReplyText);
    throw EFtpError(text);
}

size_t TFtpConnection::HeaderThunk(char* data, size_t size, size_t count, void* self)
{
    return static_cast<TFtpConnection*>(self)->OnHeader(data, size * count);
}

size_t TFtpConnection::WriteThunk(char* data, size_t size, size_t count, void* self)
{
    return static_cast<TFtpConnection*>(self)->OnWrite(data, size * count);
}

// One reply line. The last line of a reply starts with three digits and a
// blank; that one sets the last reply (its text is that line).
size_t TFtpConnection::OnHeader(const char* data, size_t length)
{
    m_lastActivityMs = NowMs();
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    // Kept for a multi-line reply (FEAT); a command's reply is short.
    if (m_replyLines.size() < MaxReplyLines)
        m_replyLines.push_back(line);
    if (const int code = FtpWire::FinalReplyCode(line)) {
        m_lastReplyCode = code;
        m_lastReplyText = line;
        m_replied = true;
        m_dataPending = FtpWire::IsPassiveReply(code);
    }
    return length;
}

size_t TFtpConnection::OnWrite(const char* data, size_t length)
{
    m_lastActivityMs = NowMs();
    m_dataPending = false;
    if (m_abort.load())
        return 0;
    if (m_op == Op::List || m_op == Op::MachineList) {
        m_listingEntries += size_t(std::count(data, data + length, '\n'));
        if (m_listing.size() + length > MaxListingBytes || m_listingEntries > MaxListingEntries) {
            m_callbackFailure = std::make_exception_ptr(EFtpError("Listing too long."));
            return 0;
        }
        m_listing.append(data, length);
    } else if (m_op == Op::Retr) {
        // More than the server's size is no copy of the file; a server that
        // never stops sending must not fill the disk.
        if (m_expectedSize >= 0 && m_transferred + int64_t(length) > m_expectedSize) {
            m_callbackFailure = std::make_exception_ptr(EFtpError("The server sent more than the file's size."));
            return 0;
        }
        if (!FtpWire::WriteAll(m_fileDescriptor, data, length)) {
            m_callbackFailure = std::make_exception_ptr(EWriteError("Stream write error"));
            return 0;
        }
    }
    m_transferred += static_cast<int64_t>(length);
    if (OnProgress) {
        try {
            OnProgress(m_transferred);
        } catch (...) {
            m_callbackFailure = std::current_exception();
            return 0;
        }
    }
    // The callback may have asked for the abort itself.
    return m_abort.load() ? 0 : length;
}
