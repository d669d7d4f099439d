#pragma once
// One client connection to the case server: one control connection that is
// reused by every operation between Connect and Disconnect.
//
// Threads: a connection belongs to one thread at a time (the login on the
// user-interface thread, or the listing or download worker that created
// it). Every member is called on that owning thread, except Abort, which
// any thread may call at any time, typically the user-interface thread
// while the owner is blocked in List or Get, or while the owner waits in a
// synchronous call made from the progress callback.
//
// Failures raise EFtpSocketError when the network connection itself failed
// (connect, send, receive, time-out) and EFtpError otherwise (unexpected
// replies, a closed connection, an abort, a name that cannot be sent).
// Local file failures raise the stream errors of Exception.h.
//
// Names and paths are byte strings and go on the wire byte for byte; a name
// holding CR, LF or NUL cannot be sent and raises EFtpError.
#include "ConnectionSettings.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

typedef void CURL;
typedef void CURLM;
struct curl_slist;

class TFtpConnection {
public:
    // Called on the owning thread during every data transfer with the bytes
    // of the current transfer so far. It may throw; the transfer then fails
    // with that exception.
    using ProgressCallback = std::function<void(int64_t bytes)>;

    static constexpr int DefaultStallLimitMs = 60000;

    TFtpConnection();
    ~TFtpConnection();
    TFtpConnection(const TFtpConnection&) = delete;
    TFtpConnection& operator=(const TFtpConnection&) = delete;

    // Read by Connect; changing them while connected affects the next Connect.
    ConnectionSettings Settings;
    int ReceiveBufferSize = 0;                   // 0: the library's default
    int StallLimitMs = DefaultStallLimitMs;      // no byte for this long: socket error
    ProgressCallback OnProgress;

    // TCP connect (no time-out of its own), greeting, USER/PASS, TYPE I.
    // An open connection is closed first. On failure the connection is
    // closed and LastReplyCode holds the last reply received (530 after a
    // rejected login; unchanged when no reply came at all).
    void Connect();
    // False as well once the server has closed the idle control connection.
    bool Connected();
    void Disconnect();

    int LastReplyCode() const { return mLastReplyCode; }
    const std::string& LastReplyText() const { return mLastReplyText; }

    // CWD to an absolute path; raises on any reply but 200 or 250.
    void ChangeDir(const std::string& path);
    // NLST of the current folder; names replaces the caller's list.
    void List(std::vector<std::string>& names);
    // SIZE; -1 when the reply is not 213 or holds no 32-bit number.
    int32_t Size(const std::string& name);
    // TYPE I when the server is not in binary type already.
    void SetBinary();
    // RETR into localPath, created empty first (replacing any file). The
    // partial file stays on failure. When expectedSize is known (>= 0), a
    // transfer that ends with another byte count fails.
    void Get(const std::string& name, const std::string& localPath, int64_t expectedSize = -1);

    // Any thread. Makes the transfer in progress fail promptly with
    // EFtpError; the control connection is closed with it. An abort made
    // while no transfer runs is forgotten when the next transfer starts.
    void Abort() { mAbort.store(true); }

private:
    enum class Op { Login, Command, List, Retr };

    void Open();
    void Close();
    void RequireConnected();
    void Prepare(Op op, const std::string& path);
    void Perform(Op op, const std::string& path, const std::vector<std::string>& quotes);
    void CheckAlive();
    [[noreturn]] void Fail(int code, bool socketKind);

    static size_t HeaderThunk(char* data, size_t size, size_t count, void* self);
    static size_t WriteThunk(char* data, size_t size, size_t count, void* self);
    size_t OnHeader(const char* data, size_t length);
    size_t OnWrite(const char* data, size_t length);

    CURLM* mMulti = nullptr;
    CURL* mEasy = nullptr;
    curl_slist* mQuotes = nullptr;
    bool mConnected = false;
    bool mServerBinary = false;
    long mSocket = -1;
    int mLastReplyCode = 0;
    std::string mLastReplyText;
    bool mReplied = false;      // a reply came during the running operation
    char mErrorBuffer[256] = {};

    // State of the running operation.
    Op mOp = Op::Command;
    std::atomic<bool> mAbort{false};
    int64_t mTransferred = 0;
    int64_t mLastActivityMs = 0;
    int mFileDescriptor = -1;
    std::string mListing;
    std::exception_ptr mCallbackFailure;
};
