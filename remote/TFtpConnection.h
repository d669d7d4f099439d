#pragma once
// One client connection to the case server: one control connection that is
// reused by every operation between Connect and Disconnect.
//
// Threads: a connection belongs to one thread at a time (the login on the
// user-interface thread, or the listing or download worker that created
// it). Every member is called on that owning thread, except Abort, which
// any thread may call at any time, typically the user-interface thread
// while the owner is blocked in an operation, or while the owner waits in a
// synchronous call made from the progress callback.
//
// Failures raise EFtpSocketError when the network connection itself failed
// (connect, send, receive, time-out), ETlsError (a kind of EFtpSocketError)
// when a protected connection was refused or its certificate could not be
// verified, and EFtpError otherwise (unexpected replies, a closed
// connection, an abort, a name that cannot be sent). Local file failures
// raise the stream errors of Exception.h. A command the server refuses
// (550 on RETR or NLST) fails alone: the connection stays open. Every other
// failure closes it.
//
// Names and paths are byte strings and go on the wire byte for byte; a name
// holding CR, LF or NUL cannot be sent and raises EFtpError.
#include "ConnectionSettings.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

typedef void CURL;
typedef void CURLM;
typedef void CURLSH;
struct curl_slist;

class TFtpConnection {
public:
    // Called on the owning thread during every data transfer with the bytes
    // of the current transfer so far. It may throw; the transfer then fails
    // with that exception.
    using ProgressCallback = std::function<void(int64_t bytes)>;

    // Called on the owning thread while an operation waits for the network,
    // at least every WaitHookMs.
    using WaitCallback = std::function<void()>;

    static constexpr int DefaultStallLimitMs = 60000;
    static constexpr int DefaultConnectTimeoutMs = 15000;
    static constexpr int WaitHookMs = 30;
    // A folder listing of more entries than this fails: no case folder holds
    // as many, and the names would only fill the memory.
    static constexpr size_t MaxListingEntries = 100000;
    static constexpr size_t MaxListingBytes = 64u << 20;
    // A listing that still trickles in after this long fails as a stall would.
    static constexpr int DefaultListingLimitMs = 600000;

    TFtpConnection();
    ~TFtpConnection();
    TFtpConnection(const TFtpConnection&) = delete;
    TFtpConnection& operator=(const TFtpConnection&) = delete;

    // Read by Connect; changing them while connected affects the next Connect.
    ConnectionSettings Settings;
    int ReceiveBufferSize = 0;                   // 0: the library's default
    int StallLimitMs = DefaultStallLimitMs;      // no byte for this long: socket error
    int ConnectTimeoutMs = DefaultConnectTimeoutMs; // Connect as a whole: socket error
    int ListingLimitMs = DefaultListingLimitMs;     // one listing as a whole: socket error
    ProgressCallback OnProgress;
    WaitCallback OnWait;

    // Why a protected connection in active mode is refused before connecting.
    static constexpr const char* ActiveTlsText =
        "Protected (TLS) connections work in passive mode only: set \"Passive\" to 1 in section \"FTP\" of the "
        "settings.";

    // TCP connect, greeting, AUTH TLS when Settings ask for it, USER/PASS,
    // TYPE I; all of it within ConnectTimeoutMs.
    // An open connection is closed first. On failure the connection is
    // closed and LastReplyCode holds the last reply this Connect received
    // (530 after a rejected login; 0 when no reply came at all). TLS with
    // active mode raises ETlsError at once.
    void Connect();
    // False as well once the server has closed the idle control connection.
    bool Connected();
    void Disconnect();

    int LastReplyCode() const { return m_lastReplyCode; }
    const std::string& LastReplyText() const { return m_lastReplyText; }

    // CWD to an absolute path; raises on any reply but 200 or 250.
    void ChangeDir(const std::string& path);
    // NLST of the current folder; names replaces the caller's list.
    void List(std::vector<std::string>& names);
    // A file of a listing with its size; -1 when the listing gave none
    // (ask Size then) or it does not fit in 32 bits.
    struct ListedFile {
        std::string Name;
        int32_t Size = -1;
    };
    // The names of NLST in its order, with their sizes from one MLSD
    // listing when the server's FEAT reply offers MLST (names MLSD shows as
    // folders are left out; links keep no size); without MLST, no sizes.
    void ListFiles(std::vector<ListedFile>& files);
    // One MLSD line, "fact=value;...; name": its name (empty for no entry)
    // and size; isFile tells whether the entry is one to fetch. Pure.
    static ListedFile ParseMachineLine(const std::string& line, bool& isFile);
    // SIZE; -1 when the reply is not 213 or holds no 32-bit number.
    int32_t Size(const std::string& name);
    // TYPE I when the server is not in binary type already.
    void SetBinary();
    // RETR into localPath, created empty first (replacing any file). The
    // partial file stays on failure. When expectedSize is known (>= 0), a
    // transfer that ends with another byte count fails, and one that passes
    // it stops at once.
    void Get(const std::string& name, const std::string& localPath, int64_t expectedSize = -1);

    // Any thread. Makes the operation in progress (Connect included) fail
    // promptly with EFtpError and closes the control connection. The abort
    // holds until ClearAbort: every later operation fails at once, so an
    // abort that comes between two operations is never lost.
    void Abort();
    // Owning thread, or any thread while the owner waits for it: lets
    // operations run again.
    void ClearAbort() { m_abort.store(false); }
    bool Aborted() const { return m_abort.load(); }

private:
    // Drives further connections on this one's multi handle, beside it.
    friend class TFtpBatch;
    // libcurl's socket callbacks (owning thread), keeping m_sockets.
    friend struct FtpSocketHooks;

    enum class Op { Login, Command, List, MachineList, Retr };

    void Open();
    void Close();
    void DropMulti();
    int WaitLimitMs(Op op, int64_t started, int64_t now) const;
    void RequireConnected();
    std::string Url(CURL* easy, const std::string& path) const;
    // What every connection of this server needs: account, TLS, passive
    // mode, time limits, buffer.
    void ApplyCommonOptions(CURL* easy) const;
    void Prepare(Op op, const std::string& path);
    void Perform(Op op, const std::string& path, const std::vector<std::string>& quotes);
    void CheckAlive();
    bool OffersMachineListing();
    std::vector<std::string> TakeListingLines();
    [[noreturn]] void Fail(int code, bool socketKind);

    static size_t HeaderThunk(char* data, size_t size, size_t count, void* self);
    static size_t WriteThunk(char* data, size_t size, size_t count, void* self);
    size_t OnHeader(const char* data, size_t length);
    size_t OnWrite(const char* data, size_t length);

    // TLS sessions of every handle of this connection (its own and a
    // batch's): a server may require each data connection to resume the
    // session of the control connection it belongs to. Lives as long as
    // the connection, as the handles that use it may.
    CURLSH* m_share = nullptr;
    std::mutex m_multiMutex; // guards m_multi against Abort's wake-up
    // Easy handles of a TFtpBatch that share m_multi, and the results of
    // those that ended while an operation of this connection drove it.
    std::vector<CURL*> m_guests;
    std::vector<std::pair<CURL*, int>> m_guestsDone;
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    curl_slist* m_quotes = nullptr;
    bool m_connected = false;
    bool m_serverBinary = false;
    long m_socket = -1;
    std::set<long> m_sockets; // every socket libcurl holds open for this connection's handles
    int m_lastReplyCode = 0;
    std::string m_lastReplyText;
    bool m_replied = false;      // a reply came during the running operation
    int m_machineListing = -1;   // MLST in FEAT: -1 not asked yet, 0 no, 1 yes
    std::vector<std::string> m_replyLines; // every reply line of the running command
    char m_errorBuffer[256] = {};

    // State of the running operation.
    Op m_op = Op::Command;
    std::atomic<bool> m_abort{false};
    int64_t m_transferred = 0;
    int64_t m_expectedSize = -1; // of the running RETR; -1 unknown
    int64_t m_lastActivityMs = 0;
    bool m_dataPending = false; // a passive reply came, the transfer has not begun
    int m_fileDescriptor = -1;
    std::string m_listing;
    size_t m_listingEntries = 0;
    std::exception_ptr m_callbackFailure;
};
