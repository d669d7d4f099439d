#include "TFtpBatch.h"

#include "EFtpError.h"
#include "FtpWire.h"
#include "PrivateFolders.h"
#include "RemoteLog.h"
#include "TFtpConnection.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int LoggedInReply = 230;
constexpr int SizeReply = 213;
// Replies that turn a new connection away: a connection limit or a server
// going down (421), too many logins (530).
constexpr int ServiceClosingReply = 421;
constexpr int NotLoggedInReply = 530;
// A file whose new connection is refused goes back to the list; after this
// many refusals it fails like any file whose connection failed.
constexpr int MaxRefusals = 3;
// The longest wait for the QUIT replies at a clean end.
constexpr int QuitWaitMs = 1000;

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// One transfer slot: an easy handle and the state of the file it carries.
// Which connection of the multi handle's cache it runs on is libcurl's
// choice: a free one logged in already, or a new one.
struct TFtpBatch::Lane {
    enum class Phase { Idle, Warm, Size, Retr, List, Quit };

    CURL* Easy = nullptr;
    curl_slist* Quotes = nullptr;
    Phase Step = Phase::Idle;
    size_t Index = 0;
    int Fd = -1;
    int32_t Size = -1;
    int64_t Bytes = 0;
    int64_t Limit = -1; // the room on disk for a file without a size; -1 none
    int64_t StartedMs = 0;
    int64_t LastActivityMs = 0;
    bool LoggedIn = false;    // a login completed on this transfer's own new connection
    bool DataPending = false; // a passive reply came, the data connection is not open yet
    bool WriteFailed = false;
    bool TooLong = false;
    bool NoRoom = false;
    bool LoginLate = false; // no login within the connect time
    bool Listing = false; // the data is a folder listing, kept in Text
    std::string Text;
    size_t Entries = 0;
    int ReplyCode = 0;
    std::string ReplyText;
    std::string SizeText; // the 213 reply, when one came
    std::string LocalPath;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    const std::atomic<bool>* Abort = nullptr;

    Lane() : Easy(curl_easy_init())
    {
        if (!Easy)
            throw std::bad_alloc();
    }
    ~Lane()
    {
        CloseFile();
        curl_slist_free_all(Quotes);
        curl_easy_cleanup(Easy);
    }
    Lane(const Lane&) = delete;
    Lane& operator=(const Lane&) = delete;

    void CloseFile()
    {
        if (Fd >= 0)
            ::close(Fd);
        Fd = -1;
    }
    long NewConnections() const
    {
        long count = 0;
        curl_easy_getinfo(Easy, CURLINFO_NUM_CONNECTS, &count);
        return count;
    }

    static size_t HeaderThunk(char* data, size_t size, size_t count, void* self)
    {
        return static_cast<Lane*>(self)->OnHeader(std::string(data, size * count));
    }
    static size_t WriteThunk(char* data, size_t size, size_t count, void* self)
    {
        return static_cast<Lane*>(self)->OnWrite(data, size * count);
    }
    size_t OnHeader(std::string line)
    {
        LastActivityMs = NowMs();
        const size_t length = line.size();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (const int code = FtpWire::FinalReplyCode(line)) {
            ReplyCode = code;
            ReplyText = line;
            // A passive reply too: a connection taken from the cache logged
            // in long ago, and a data connection counts as a new one, so
            // a command refused there is no refused connection.
            LoggedIn = LoggedIn || code == LoggedInReply || FtpWire::IsPassiveReply(code);
            // A CWD of libcurl's own may follow the SIZE quote.
            if (code == SizeReply)
                SizeText = line;
            DataPending = FtpWire::IsPassiveReply(code);
        }
        return length;
    }
    size_t OnWrite(const char* data, size_t length)
    {
        LastActivityMs = NowMs();
        DataPending = false;
        if (Abort->load())
            return 0;
        if (Listing)
            return OnListing(data, length);
        if (Fd < 0)
            return 0;
        // More than the server's own size is no copy of the file; a server
        // that never stops sending must not fill the disk.
        if (Size >= 0 && Bytes + int64_t(length) > Size) {
            TooLong = true;
            return 0;
        }
        // Without a size, the disk's room is the limit.
        if (Limit >= 0 && Bytes + int64_t(length) > Limit) {
            NoRoom = true;
            return 0;
        }
        if (!FtpWire::WriteAll(Fd, data, length)) {
            WriteFailed = true;
            return 0;
        }
        Bytes += int64_t(length);
        return length;
    }
    size_t OnListing(const char* data, size_t length)
    {
        Entries += size_t(std::count(data, data + length, '\n'));
        if (Text.size() + length > TFtpConnection::MaxListingBytes || Entries > TFtpConnection::MaxListingEntries) {
            TooLong = true;
            return 0;
        }
        Text.append(data, length);
        Bytes += int64_t(length);
        return length;
    }
};

TFtpBatch::TFtpBatch(TFtpConnection& connection, const std::string& folder, int connections)
    : m_connection(connection), m_folder(folder), m_limit(std::clamp(connections, 1, MaxConnections))
{
    // A relative folder taken from the login folder once: on a reused
    // connection libcurl would go back there first, a CWD more each.
    char* entry = nullptr;
    if (!m_folder.empty() && m_folder[0] != '/' && connection.m_easy &&
        curl_easy_getinfo(connection.m_easy, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry && *entry) {
        std::string base = entry;
        if (base.back() != '/')
            base += '/';
        m_folder = base + m_folder;
    }
    while (!m_folder.empty() && m_folder.back() == '/' && m_folder.size() > 1)
        m_folder.pop_back();
    for (int i = 0; i < m_limit; ++i) {
        m_lanes.push_back(std::make_unique<Lane>());
        m_lanes.back()->Abort = &connection.m_abort;
        connection.m_guests.push_back(m_lanes.back()->Easy);
    }
    // A server may take a protected data connection only when it resumes a
    // TLS session of its own. The first lane starts on the listing's
    // connection, so it resumes that one's sessions; every other lane keeps
    // those of the connection it logs in on. No session is offered by two
    // handshakes at once.
    curl_easy_setopt(m_lanes.front()->Easy, CURLOPT_SHARE, connection.m_share);
    // The extra connections log in and go to the folder while the
    // connection itself lists it; the first lane waits for the listing's.
    if (connection.m_multi && connection.m_connected)
        for (size_t i = 1; i < m_lanes.size(); ++i)
            Warm(*m_lanes[i]);
}

TFtpBatch::~TFtpBatch()
{
    // Unwinding: the events' owner may be gone.
    m_events = nullptr;
    for (auto& lane : m_lanes)
        if (lane->Step != Lane::Phase::Idle)
            Drop(*lane);
    auto ours = [this](CURL* easy) {
        return std::any_of(m_lanes.begin(), m_lanes.end(), [easy](const auto& lane) { return lane->Easy == easy; });
    };
    auto& guests = m_connection.m_guests;
    guests.erase(std::remove_if(guests.begin(), guests.end(), ours), guests.end());
    auto& done = m_connection.m_guestsDone;
    done.erase(std::remove_if(done.begin(), done.end(), [&](const auto& entry) { return ours(entry.first); }),
               done.end());
    // The control connection may have been closed or be busy elsewhere in
    // the cache: its socket is no longer the connection's own to watch.
    m_connection.m_socket = -1;
    m_connection.m_connected = false;
}

int TFtpBatch::Busy() const
{
    return int(std::count_if(m_lanes.begin(), m_lanes.end(),
                             [](const auto& lane) { return lane->Step != Lane::Phase::Idle; }));
}

int64_t TFtpBatch::BytesInFlight() const
{
    int64_t sum = 0;
    for (const auto& lane : m_lanes)
        if (lane->Step == Lane::Phase::Retr)
            sum += lane->Bytes;
    return sum;
}

void TFtpBatch::Run(const std::vector<File>& files, const Events& events)
{
    // The caller's lists live only as long as this call.
    struct Forget {
        TFtpBatch& batch;
        ~Forget()
        {
            batch.m_files = nullptr;
            batch.m_events = nullptr;
        }
    } forget{*this};
    m_files = &files;
    m_events = &events;
    m_goOn = true;
    m_refusals.clear();
    m_sizeAsked.clear();
    std::deque<size_t> pending;
    CURLM* multi = m_connection.m_multi;
    if (!multi || !m_connection.m_connected)
        throw EFtpError("Not connected.");
    // FEAT once, on the connection itself, while the others log in.
    if (std::any_of(files.begin(), files.end(), [](const File& f) { return f.Folder; }))
        m_machineListing = m_connection.OffersMachineListing();
    for (;;) {
        if (m_connection.Aborted() || events.Stopping()) {
            CutAll();
            return;
        }
        // The files given, then those that Finished appended.
        for (size_t i = m_refusals.size(); i < files.size(); ++i) {
            m_refusals.push_back(0);
            m_sizeAsked.push_back(false);
            pending.push_back(i);
        }
        // Warm-ups that ended while the listing drove the multi handle.
        for (const auto& [easy, result] : std::exchange(m_connection.m_guestsDone, {}))
            Ended(easy, result, pending);
        StartNext(pending);
        if (pending.empty() && !Listing())
            DropWarmUps(); // nothing left for them to carry
        if (Busy() == 0)
            break;
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            CutAll();
            throw std::bad_alloc();
        }
        const int busy = Busy();
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued))
            if (msg->msg == CURLMSG_DONE)
                Ended(msg->easy_handle, msg->data.result, pending);
        CheckTimes(pending);
        events.Progress(BytesInFlight());
        // A lane that came free takes its next file at once.
        if (Busy() == busy)
            curl_multi_poll(multi, nullptr, 0, WaitMs(), nullptr);
    }
    if (m_failures == 0)
        QuitAll();
}

void TFtpBatch::Ended(CURL* easy, int result, std::deque<size_t>& pending)
{
    char* owner = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &owner);
    curl_multi_remove_handle(m_connection.m_multi, easy);
    if (Lane* lane = reinterpret_cast<Lane*>(owner))
        Complete(*lane, result, pending);
}

// A new connection for each lane: login, the folder's CWD, nothing more;
// it then waits in libcurl's cache for the lane's first file.
void TFtpBatch::Warm(Lane& lane)
{
    Prepare(lane);
    lane.Step = Lane::Phase::Warm;
    AimAtFolder(lane, {});
    curl_easy_setopt(lane.Easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_multi_add_handle(m_connection.m_multi, lane.Easy);
}

// At a clean end every connection says QUIT at once rather than one after
// the other when the multi handle ends; each lane takes one idle connection.
void TFtpBatch::QuitAll()
{
    const size_t count = std::min(m_lanes.size(), size_t(m_alive));
    for (size_t i = 0; i < count; ++i) {
        Lane& lane = *m_lanes[i];
        Prepare(lane);
        lane.Step = Lane::Phase::Quit;
        AimAtFolder(lane, {"QUIT"});
        curl_multi_add_handle(m_connection.m_multi, lane.Easy);
    }
    std::deque<size_t> none;
    const int64_t deadline = NowMs() + QuitWaitMs;
    while (Busy() > 0 && NowMs() < deadline && !m_connection.Aborted()) {
        int running = 0;
        curl_multi_perform(m_connection.m_multi, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_connection.m_multi, &queued))
            if (msg->msg == CURLMSG_DONE)
                Ended(msg->easy_handle, msg->data.result, none);
        if (Busy() > 0)
            curl_multi_poll(m_connection.m_multi, nullptr, 0, MaxWaitMs, nullptr);
    }
}

void TFtpBatch::StartNext(std::deque<size_t>& pending)
{
    while (m_goOn && Busy() < m_limit && !pending.empty()) {
        const size_t index = pending.front();
        pending.pop_front();
        const File& file = (*m_files)[index];
        if (file.Size >= 0 && !m_events->NeedsFetch(index, file.Size)) {
            Result present;
            present.Kind = Outcome::Present;
            present.Size = file.Size;
            Tell(index, present);
            continue;
        }
        auto idle = std::find_if(m_lanes.begin(), m_lanes.end(),
                                 [](const auto& lane) { return lane->Step == Lane::Phase::Idle; });
        Begin(**idle, index, file.Size < 0, file.Size);
    }
}

// Puts the lane's next step for file index on the multi handle: SIZE first
// when the listing gave no size, else RETR. False when the file failed at once.
bool TFtpBatch::Begin(Lane& lane, size_t index, bool askSize, int32_t size)
{
    const File& file = (*m_files)[index];
    CURL* e = lane.Easy;
    Prepare(lane);
    if (file.Folder) {
        BeginListing(lane, index);
        return true;
    }
    lane.Index = index;
    lane.LocalPath = file.LocalPath;
    lane.Size = size;
    const std::string path = m_folder + "/" + file.Name;
    if (askSize) {
        // SIZE in binary type, the path in full: quotes go before any CWD.
        m_sizeAsked[index] = true;
        lane.Step = Lane::Phase::Size;
        AimAtFolder(lane, {"TYPE I", "*SIZE " + path});
    } else {
        // Owner-only, in a folder nobody else can swap, never through a link.
        lane.Fd = PrivateFolders::CreateFile(file.LocalPath);
        if (lane.Fd < 0) {
            Result failed;
            failed.Size = lane.Size;
            failed.Error = "Cannot create file \"" + file.LocalPath + "\". " + std::strerror(errno);
            lane.Step = Lane::Phase::Idle;
            Tell(index, failed);
            return false;
        }
        lane.Step = Lane::Phase::Retr;
        lane.Limit = size < 0 && m_events->Room ? std::max<int64_t>(m_events->Room(), 0) : -1;
        // One CWD per connection to the folder, then RETR by name; libcurl
        // leaves it out while a connection stays in that folder.
        curl_easy_setopt(e, CURLOPT_URL, m_connection.Url(e, path).c_str());
        curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
        curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(e, CURLOPT_QUOTE, nullptr);
        // RETR follows at once: no SIZE of libcurl's own before it.
        curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        m_events->Started(index);
    }
    curl_multi_add_handle(m_connection.m_multi, e);
    return true;
}

// The folder's path ends in "/": libcurl lists it. MLSD takes the path as
// its argument (no CWD); NLST lists the current folder after one CWD, as a
// plain file fails that CWD rather than being listed as itself.
void TFtpBatch::BeginListing(Lane& lane, size_t index)
{
    CURL* e = lane.Easy;
    lane.Index = index;
    lane.Step = Lane::Phase::List;
    lane.Listing = true;
    const std::string path = m_folder + "/" + (*m_files)[index].Name + "/";
    curl_easy_setopt(e, CURLOPT_URL, m_connection.Url(e, path).c_str());
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD,
                     static_cast<long>(m_machineListing ? CURLFTPMETHOD_NOCWD : CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, m_machineListing ? "MLSD" : nullptr);
    curl_easy_setopt(e, CURLOPT_DIRLISTONLY, m_machineListing ? 0L : 1L);
    curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(e, CURLOPT_QUOTE, nullptr);
    m_events->Started(index);
    curl_multi_add_handle(m_connection.m_multi, e);
}

void TFtpBatch::FinishListing(Lane& lane, int curlResult)
{
    Result result;
    result.Bytes = lane.Bytes;
    if (lane.TooLong) {
        result.Error = "Listing too long.";
    } else if (curlResult != CURLE_OK) {
        result.SocketKind = FtpWire::IsSocketFailure(curlResult);
        result.Error = lane.ErrorBuffer[0] ? lane.ErrorBuffer : curl_easy_strerror(CURLcode(curlResult));
        if (lane.ReplyCode >= 400 && !result.SocketKind)
            result.Error = lane.ReplyText;
    } else {
        result.Kind = Outcome::Fetched;
        size_t start = 0;
        while (start < lane.Text.size()) {
            size_t end = lane.Text.find('\n', start);
            if (end == std::string::npos)
                end = lane.Text.size();
            std::string line = lane.Text.substr(start, end - start);
            start = end + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            Listed entry;
            if (m_machineListing)
                entry.Name = TFtpConnection::ParseMachineLine(line, entry.Plain).Name;
            else
                entry.Name = std::move(line);
            if (!entry.Name.empty())
                result.Listing.push_back(std::move(entry));
        }
    }
    lane.Text.clear();
    Report(lane, result);
}

bool TFtpBatch::Listing() const
{
    return std::any_of(m_lanes.begin(), m_lanes.end(), [](const auto& lane) { return lane->Step == Lane::Phase::List; });
}

// A request without a body on the folder's URL, with these commands before
// it; libcurl adds no CWD while the connection stands in the folder.
void TFtpBatch::AimAtFolder(Lane& lane, const std::vector<std::string>& quotes)
{
    for (const std::string& q : quotes) {
        curl_slist* next = curl_slist_append(lane.Quotes, q.c_str());
        if (!next)
            throw std::bad_alloc();
        lane.Quotes = next;
    }
    CURL* e = lane.Easy;
    curl_easy_setopt(e, CURLOPT_URL, m_connection.Url(e, m_folder + "/").c_str());
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(e, CURLOPT_QUOTE, lane.Quotes);
}

void TFtpBatch::Prepare(Lane& lane)
{
    lane.Bytes = 0;
    lane.LoggedIn = false;
    lane.DataPending = false;
    lane.WriteFailed = false;
    lane.TooLong = false;
    lane.NoRoom = false;
    lane.LoginLate = false;
    lane.Limit = -1;
    lane.Listing = false;
    lane.Text.clear();
    lane.Entries = 0;
    lane.ReplyCode = 0;
    lane.ReplyText.clear();
    lane.SizeText.clear();
    lane.ErrorBuffer[0] = 0;
    lane.StartedMs = lane.LastActivityMs = NowMs();
    curl_slist_free_all(lane.Quotes);
    lane.Quotes = nullptr;
    CURL* e = lane.Easy;
    m_connection.ApplyCommonOptions(e);
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 0L);
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(e, CURLOPT_DIRLISTONLY, 0L);
    curl_easy_setopt(e, CURLOPT_PRIVATE, &lane);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, lane.ErrorBuffer);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Lane::HeaderThunk);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &lane);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Lane::WriteThunk);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &lane);
}

// A new connection that the server turned away before its login completed:
// 421 or 530, no reply at all (closed at once), or no login in time. The
// file is not at fault. A failure after that (a data connection refused,
// a TLS failure, a file too long) is the file's own.
bool TFtpBatch::RefusedLogin(const Lane& lane, int curlResult)
{
    if (curlResult == CURLE_OK || lane.LoggedIn || lane.NewConnections() == 0)
        return false;
    return lane.LoginLate || lane.ReplyCode == 0 || lane.ReplyCode == ServiceClosingReply ||
           lane.ReplyCode == NotLoggedInReply;
}

bool TFtpBatch::Refusal(const Lane& lane, int curlResult) const
{
    return RefusedLogin(lane, curlResult) && m_refusals[lane.Index] < MaxRefusals;
}

void TFtpBatch::Complete(Lane& lane, int curlResult, std::deque<size_t>& pending)
{
    if (lane.Step == Lane::Phase::Quit) {
        lane.Step = Lane::Phase::Idle; // its reply, or none: the connection ends either way
        return;
    }
    if (m_connection.Aborted()) {
        Drop(lane);
        return;
    }
    if (curlResult == CURLE_OK && lane.NewConnections() > 0)
        ++m_alive;
    if (curlResult != CURLE_OK)
        ++m_failures;
    if (lane.Step == Lane::Phase::Warm) {
        // A connection the server would not give: one fewer at once.
        if (RefusedLogin(lane, curlResult)) {
            ++m_refused;
            m_limit = std::max(1, m_limit - 1);
        }
        lane.Step = Lane::Phase::Idle;
        return;
    }
    if (Refusal(lane, curlResult)) {
        // The file waits for a connection that works; no more connections
        // than are working now are tried again.
        qCDebug(lcWorkers) << "download: the server refused another connection:" << lane.ErrorBuffer;
        ++m_refusals[lane.Index];
        ++m_refused;
        lane.CloseFile();
        if (lane.Step == Lane::Phase::Retr)
            ::unlink(lane.LocalPath.c_str());
        lane.Step = Lane::Phase::Idle;
        pending.push_front(lane.Index);
        m_limit = std::max(1, Busy());
        return;
    }
    if (lane.Step == Lane::Phase::Retr) {
        FinishRetr(lane, curlResult);
        return;
    }
    if (lane.Step == Lane::Phase::List) {
        FinishListing(lane, curlResult);
        return;
    }
    if (curlResult != CURLE_OK) {
        Result failed;
        failed.SocketKind = FtpWire::IsSocketFailure(curlResult);
        failed.Error = lane.ErrorBuffer[0] ? lane.ErrorBuffer : curl_easy_strerror(CURLcode(curlResult));
        Report(lane, failed);
        return;
    }
    const int32_t size = lane.SizeText.empty() ? -1 : FtpWire::SizeFromReply(lane.SizeText);
    if (!m_events->NeedsFetch(lane.Index, size)) {
        Result present;
        present.Kind = Outcome::Present;
        present.Size = size;
        Report(lane, present);
        return;
    }
    Begin(lane, lane.Index, false, size);
}

void TFtpBatch::FinishRetr(Lane& lane, int curlResult)
{
    Result result;
    result.Written = true;
    result.Size = lane.Size;
    result.Bytes = lane.Bytes;
    const bool closed = ::close(lane.Fd) == 0;
    lane.Fd = -1;
    if (lane.WriteFailed || (curlResult == CURLE_OK && !closed)) {
        result.Error = "Stream write error";
    } else if (lane.TooLong) {
        if (RetryWithServerSize(lane))
            return;
        result.Error = "The server sent more than the file's size.";
    } else if (lane.NoRoom) {
        result.NoRoom = true;
        result.Error = "Not enough free disk space for the file.";
    } else if (curlResult != CURLE_OK) {
        result.SocketKind = FtpWire::IsSocketFailure(curlResult);
        result.Error = lane.ErrorBuffer[0] ? lane.ErrorBuffer : curl_easy_strerror(CURLcode(curlResult));
        if (lane.ReplyCode >= 400 && !result.SocketKind)
            result.Error = lane.ReplyText;
    } else if (lane.Size >= 0 && lane.Bytes != lane.Size) {
        result.Error = "Transfer incomplete: " + std::to_string(lane.Bytes) + " of " + std::to_string(lane.Size) +
                       " bytes received.";
    } else {
        result.Kind = Outcome::Fetched;
    }
    Report(lane, result);
}

// A size from the listing may be a link's own length (a server that shows
// links as plain files) while SIZE and RETR follow the link: the file is
// tried once more at the size SIZE gives.
bool TFtpBatch::RetryWithServerSize(Lane& lane)
{
    if (m_sizeAsked[lane.Index])
        return false;
    ::unlink(lane.LocalPath.c_str());
    return Begin(lane, lane.Index, true, -1);
}

void TFtpBatch::Report(Lane& lane, const Result& result)
{
    lane.Step = Lane::Phase::Idle;
    if (result.Kind == Outcome::Failed)
        qCDebug(lcWorkers) << "download:" << (*m_files)[lane.Index].Name.c_str() << "failed:" << result.Error.c_str();
    Tell(lane.Index, result);
}

void TFtpBatch::Tell(size_t index, const Result& result)
{
    if (!m_events->Finished(index, result))
        m_goOn = false;
}

// A silent transfer fails as a socket error; a new connection that has not
// logged in within the connect time counts as refused.
void TFtpBatch::CheckTimes(std::deque<size_t>& pending)
{
    const int64_t now = NowMs();
    for (auto& slot : m_lanes) {
        Lane& lane = *slot;
        if (lane.Step == Lane::Phase::Idle)
            continue;
        const bool noLogin = !lane.LoggedIn && lane.Bytes == 0 && lane.NewConnections() > 0 &&
                             now - lane.StartedMs >= m_connection.ConnectTimeoutMs;
        const bool stalled = now - lane.LastActivityMs >= m_connection.StallLimitMs;
        // A listing that trickles never stalls; it has a deadline of its own.
        const bool listingTooSlow =
            lane.Step == Lane::Phase::List && now - lane.StartedMs >= m_connection.ListingLimitMs;
        if (!noLogin && !stalled && !listingTooSlow)
            continue;
        curl_multi_remove_handle(m_connection.m_multi, lane.Easy);
        lane.LoginLate = noLogin;
        std::snprintf(lane.ErrorBuffer, sizeof lane.ErrorBuffer, "%s", "Connection timed out");
        Complete(lane, CURLE_OPERATION_TIMEDOUT, pending);
    }
}

int TFtpBatch::WaitMs() const
{
    int64_t limit = MaxWaitMs;
    const int64_t now = NowMs();
    for (const auto& lane : m_lanes) {
        if (lane->Step == Lane::Phase::Idle)
            continue;
        if (lane->DataPending)
            limit = FtpWire::PassiveGapPollMs;
        limit = std::min<int64_t>(limit, m_connection.StallLimitMs - (now - lane->LastActivityMs));
    }
    return static_cast<int>(std::max<int64_t>(limit, 0));
}

// Removing a handle in mid-transfer closes its connection.
void TFtpBatch::Drop(Lane& lane)
{
    curl_multi_remove_handle(m_connection.m_multi, lane.Easy);
    const bool written = lane.Step == Lane::Phase::Retr;
    const bool carriesFile = written || lane.Step == Lane::Phase::Size || lane.Step == Lane::Phase::List;
    lane.CloseFile();
    // Unwinding, with no one left to tell: the cut copy goes all the same.
    if (written && !m_events)
        ::unlink(lane.LocalPath.c_str());
    lane.Step = Lane::Phase::Idle;
    if (!carriesFile)
        return; // a warm-up: its connection was never counted
    ++m_failures;
    if (m_events) {
        Result cut;
        cut.Kind = Outcome::Cut;
        cut.Written = written;
        cut.Size = lane.Size;
        cut.Bytes = lane.Bytes;
        Tell(lane.Index, cut);
        m_goOn = false;
    }
}

void TFtpBatch::DropWarmUps()
{
    for (auto& lane : m_lanes)
        if (lane->Step == Lane::Phase::Warm)
            Drop(*lane);
}

void TFtpBatch::CutAll()
{
    for (auto& lane : m_lanes)
        if (lane->Step != Lane::Phase::Idle)
            Drop(*lane);
}
