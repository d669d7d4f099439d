#include "TSavedCatalogue.h"

#include "TLocalCache.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const char* const Signature = "caldris catalogue 1";
constexpr mode_t OthersBits = 0077;

struct FdGuard {
    int fd = -1;
    ~FdGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The lines that say whose catalogue it is; a file of another user or
// server is not shown.
std::string Header(const ConnectionSettings& settings)
{
    return std::string(Signature) + "\n" + settings.User + "\n" + settings.Host + ":" + std::to_string(settings.Port) +
           "\n";
}

std::string Folder(const std::string& file) { return file.substr(0, file.rfind('/') + 1); }

// The whole file when it is a plain file of this user's, closed to others
// and not too large; empty otherwise.
std::optional<std::string> ReadOwnFile(const std::string& path)
{
    FdGuard file{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & OthersBits) != 0 || st.st_size > TSavedCatalogue::MaxFileBytes)
        return std::nullopt;
    std::string text(size_t(st.st_size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(file.fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt; // shorter than it said: changed meanwhile
        got += size_t(n);
    }
    return text;
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

std::optional<TSavedCatalogue> TSavedCatalogue::Load(const ConnectionSettings& settings)
{
    const std::string path = LocalCache::CatalogueFile(settings.User, settings.Host, settings.Port);
    if (!LocalCache::CheckFolders(Folder(path)))
        return std::nullopt;
    const std::optional<std::string> text = ReadOwnFile(path);
    const std::string header = Header(settings);
    if (!text || text->compare(0, header.size(), header) != 0)
        return std::nullopt;
    TSavedCatalogue saved;
    size_t start = header.size();
    size_t end = text->find('\n', start);
    if (end == std::string::npos)
        return std::nullopt;
    const std::string time = text->substr(start, end - start);
    char* last = nullptr;
    saved.Time = std::strtoll(time.c_str(), &last, 10);
    if (time.empty() || *last != '\0' || saved.Time < 0)
        return std::nullopt;
    for (start = end + 1; start < text->size(); start = end + 1) {
        end = text->find('\n', start);
        if (end == std::string::npos)
            return std::nullopt; // cut short
        std::string key = text->substr(start, end - start);
        if (!LocalCache::IsSafeKey(key))
            return std::nullopt;
        saved.Keys.push_back(std::move(key));
    }
    return saved;
}

bool TSavedCatalogue::Save(const ConnectionSettings& settings) const
{
    const std::string path = LocalCache::CatalogueFile(settings.User, settings.Host, settings.Port);
    if (!LocalCache::MakeFolders(Folder(path)))
        return false;
    std::string text = Header(settings) + std::to_string(Time) + "\n";
    for (const std::string& key : Keys)
        if (LocalCache::IsSafeKey(key))
            text += key + "\n";
    std::string temporary = path + ".XXXXXX";
    // mkostemp makes the file owner-only.
    FdGuard file{::mkostemp(temporary.data(), O_CLOEXEC)};
    if (file.fd < 0)
        return false;
    const bool written = WriteAll(file.fd, text) && ::fsync(file.fd) == 0;
    const bool closed = ::close(std::exchange(file.fd, -1)) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
