#pragma once
// Fetches files of one server folder over several connections at once, all
// driven from one thread through the multi handle of a connected
// TFtpConnection: its control connection is reused as it stands and up to
// Connections - 1 more log in alike. Each connection takes the next file of
// the list, in order, as soon as it is free, so every file costs two round
// trips (EPSV, RETR) on a connection that is already open. A server that
// refuses the extra connections (421 or 530 before the login completes, or
// a connection closed before any reply) only leaves fewer of them; any other
// failure is a failed attempt of that file. One connection makes the
// batch a file-after-file download over the listing's connection.
//
// The same connections list folders for the catalogue walk: a File marked
// Folder is listed by its path (MLSD where the server offers it, so no
// change of folder; else CWD and NLST) and its names come back in the
// Result. Finished may append further files to the list Run was given.
//
// Threads: made and run on the connection's owning thread, which also gets
// every event. The connection's Abort (any thread) ends every transfer of
// the batch at its next wake-up. After Run the connection takes no further
// command: Disconnect it.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFtpConnection;

class TFtpBatch {
public:
    struct File {
        std::string Name;      // in the folder, as listed
        std::string LocalPath; // created 0600, never through a link
        int32_t Size = -1;     // from the listing; -1: asked with SIZE first
        bool Folder = false;   // list the folder Name instead (LocalPath unused)
    };
    // One name of a folder listing; Plain when the server said it is a file.
    struct Listed {
        std::string Name;
        bool Plain = false;
    };
    enum class Outcome {
        Present, // NeedsFetch said no: nothing written
        Fetched, // received whole, at the server's size when it gave one
        Failed,  // this file failed
        Cut,     // its transfer was ended by a stop or an abort
    };
    struct Result {
        Outcome Kind = Outcome::Failed;
        bool Written = false;    // the local file was created for it
        bool SocketKind = false; // the network failed, not the file
        bool NoRoom = false;     // a file without a size outgrew the room left on disk
        int32_t Size = -1;       // the server's size, -1 when it gave none
        int64_t Bytes = 0;       // received
        std::string Error;
        std::vector<Listed> Listing; // a folder's names, in the server's order
    };
    struct Events {
        // The server's size is known (-1: it gave none): true to fetch.
        std::function<bool(size_t index, int32_t size)> NeedsFetch;
        // The file's transfer begins.
        std::function<void(size_t index)> Started;
        // Bytes received so far by the transfers running now.
        std::function<void(int64_t bytes)> Progress;
        // Once per file reached. False: start no further file (the running
        // ones go on to their end).
        std::function<bool(size_t index, const Result& result)> Finished;
        // Polled at every wake-up (at least every MaxWaitMs); true cuts
        // every running transfer.
        std::function<bool()> Stopping;
        // Bytes a file whose size the server does not give may take on disk
        // (asked as its transfer begins); none or negative: no limit.
        std::function<int64_t()> Room;
    };

    static constexpr int MaxConnections = 16;
    static constexpr int MaxWaitMs = 100;

    // folder: the server folder the names are in (relative ones are taken
    // from the login folder). Make it right after Connect: the extra
    // connections log in meanwhile, while the connection lists the folder.
    TFtpBatch(TFtpConnection& connection, const std::string& folder, int connections);
    ~TFtpBatch();
    TFtpBatch(const TFtpBatch&) = delete;
    TFtpBatch& operator=(const TFtpBatch&) = delete;

    // Every file of files is reached unless a stop, an abort or a Finished
    // that said false ended the batch first.
    void Run(const std::vector<File>& files, const Events& events);
    // Extra connections the server refused.
    int Refused() const { return m_refused; }

private:
    struct Lane;

    void Prepare(Lane& lane);
    void AimAtFolder(Lane& lane, const std::vector<std::string>& quotes);
    void Warm(Lane& lane);
    void QuitAll();
    void Ended(void* easy, int curlResult, std::deque<size_t>& pending);
    void StartNext(std::deque<size_t>& pending);
    bool Begin(Lane& lane, size_t index, bool askSize, int32_t size);
    void Complete(Lane& lane, int curlResult, std::deque<size_t>& pending);
    void FinishRetr(Lane& lane, int curlResult);
    bool Refusal(const Lane& lane, int curlResult) const;
    static bool RefusedLogin(const Lane& lane, int curlResult);
    bool RetryWithServerSize(Lane& lane);
    void BeginListing(Lane& lane, size_t index);
    void FinishListing(Lane& lane, int curlResult);
    bool Listing() const;
    void CheckTimes(std::deque<size_t>& pending);
    void Report(Lane& lane, const Result& result);
    void Tell(size_t index, const Result& result);
    void Drop(Lane& lane);
    void DropWarmUps();
    void CutAll();
    int Busy() const;
    int64_t BytesInFlight() const;
    int WaitMs() const;

    TFtpConnection& m_connection;
    std::string m_folder;
    int m_limit;
    int m_refused = 0;
    int m_alive = 1;    // connections open and idle: the listing's and those made without failure
    int m_failures = 0; // transfers that failed or were cut: the connections left are unknown
    bool m_goOn = true;
    bool m_machineListing = false; // folders are listed with MLSD by path
    const std::vector<File>* m_files = nullptr;
    const Events* m_events = nullptr;
    std::vector<int> m_refusals; // per file: times a new connection for it was refused
    std::vector<bool> m_sizeAsked; // per file: its size came from SIZE
    std::vector<std::unique_ptr<Lane>> m_lanes;
};
