#include "PrivateFolders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace PrivateFolders {

namespace {

constexpr mode_t OwnerOnly = 0700;
constexpr mode_t FileOwnerOnly = 0600;
constexpr mode_t OthersBits = 0077;
constexpr mode_t OthersWrite = S_IWGRP | S_IWOTH;
constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// O_NONBLOCK: a FIFO planted under a file's name must not hang the open.
constexpr int ReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr int CreateFlags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

TFd Refused(int error)
{
    errno = error;
    return TFd();
}

// Ours or root's, and nobody else can add, remove or rename its entries.
bool Trusted(const struct stat& st)
{
    return (st.st_uid == ::geteuid() || st.st_uid == 0) && ((st.st_mode & OthersWrite) == 0 || (st.st_mode & S_ISVTX));
}

bool TrustedFd(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && Trusted(st);
}

// The "/"-separated names of path, empty ones left out; false for "." or "..".
bool Names(const std::string& path, std::vector<std::string>* names)
{
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string name = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (name == "." || name == "..")
            return false;
        if (!name.empty())
            names->push_back(name);
    }
    return true;
}

// name inside folder, opened as a folder; made owner-only when missing and make is set.
TFd Step(int folder, const std::string& name, bool make)
{
    int fd = ::openat(folder, name.c_str(), FolderFlags);
    if (fd < 0 && errno == ENOENT && make) {
        if (::mkdirat(folder, name.c_str(), OwnerOnly) != 0 && errno != EEXIST)
            return TFd();
        fd = ::openat(folder, name.c_str(), FolderFlags);
    }
    return TFd(fd);
}

// The longest existing leading part of path with its links resolved (a link
// that leads somewhere untrusted is refused by the walk), then the rest.
std::string Resolved(const std::string& path)
{
    std::string head = path;
    std::string tail;
    for (;;) {
        if (char* real = ::realpath(head.c_str(), nullptr)) {
            std::string out = real;
            std::free(real);
            return out + tail;
        }
        const size_t slash = head.rfind('/');
        if (errno != ENOENT || slash == std::string::npos || head == "/")
            return path;
        tail = head.substr(slash) + tail;
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
}

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

// Every folder of path from "/" down, each trusted.
TFd WalkTrusted(const std::string& path, bool make)
{
    std::vector<std::string> names;
    if (path.empty() || path[0] != '/' || !Names(Resolved(path), &names))
        return Refused(EINVAL);
    TFd fd(::open("/", FolderFlags));
    if (!fd.Valid() || !TrustedFd(fd.Get()))
        return Refused(EACCES);
    for (const std::string& name : names) {
        fd = Step(fd.Get(), name, make);
        if (!fd.Valid())
            return TFd();
        if (!TrustedFd(fd.Get()))
            return Refused(EACCES);
    }
    return fd;
}

// A folder of ours: this user's, closed to everyone else.
bool MadeOurs(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & OthersBits) == 0 || ::fchmod(fd, OwnerOnly) == 0;
}

bool SplitFile(const std::string& path, std::string* folder, std::string* name)
{
    const std::string full = Absolute(path);
    const size_t slash = full.rfind('/');
    if (slash == std::string::npos)
        return false;
    *folder = slash == 0 ? "/" : full.substr(0, slash);
    *name = full.substr(slash + 1);
    return !name->empty() && *name != "." && *name != "..";
}

std::string Trimmed(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_dir && pw->pw_dir[0] == '/' ? pw->pw_dir : "";
}

std::string FromVariable(const char* name, const char* homeDefault)
{
    const char* value = std::getenv(name);
    if (value && value[0] == '/')
        return Trimmed(value);
    if (!homeDefault)
        return std::string();
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : Trimmed(home) + homeDefault;
}

} // namespace

TFd::~TFd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

TFd& TFd::operator=(TFd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.Release();
    }
    return *this;
}

int TFd::Release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

std::string CacheBase() { return FromVariable("XDG_CACHE_HOME", "/.cache"); }

std::string ConfigBase() { return FromVariable("XDG_CONFIG_HOME", "/.config"); }

std::string RuntimeBase() { return FromVariable("XDG_RUNTIME_DIR", nullptr); }

TFd OpenFolder(const std::string& base, const std::string& below, bool make)
{
    std::vector<std::string> names;
    if (!Names(below, &names))
        return Refused(EINVAL);
    TFd fd = WalkTrusted(base, make);
    for (const std::string& name : names) {
        if (!fd.Valid())
            break;
        fd = Step(fd.Get(), name, make);
        if (fd.Valid() && !MadeOurs(fd.Get()))
            return Refused(EACCES);
    }
    return fd;
}

bool Make(const std::string& base, const std::string& below) { return OpenFolder(base, below, true).Valid(); }

bool Check(const std::string& base, const std::string& below) { return OpenFolder(base, below, false).Valid(); }

int CreateFile(const std::string& path)
{
    std::string folderPath, name;
    if (!SplitFile(path, &folderPath, &name)) {
        errno = EINVAL;
        return -1;
    }
    const TFd folder = WalkTrusted(folderPath, false);
    if (!folder.Valid())
        return -1;
    TFd file(::openat(folder.Get(), name.c_str(), CreateFlags, FileOwnerOnly));
    struct stat st {};
    if (!file.Valid() || ::fstat(file.Get(), &st) != 0)
        return -1;
    // A second link to the file would let its other name's owner read it.
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
        errno = EACCES;
        return -1;
    }
    if (::ftruncate(file.Get(), 0) != 0 || ::fchmod(file.Get(), FileOwnerOnly) != 0 ||
        ::fcntl(file.Get(), F_SETFL, 0) != 0)
        return -1;
    return file.Release();
}

TFd OpenForReading(const std::string& path)
{
    std::string folderPath, name;
    if (!SplitFile(path, &folderPath, &name))
        return Refused(EINVAL);
    const TFd folder = WalkTrusted(folderPath, false);
    return folder.Valid() ? OpenForReading(folder, name) : TFd();
}

TFd OpenForReading(const TFd& folder, const std::string& name)
{
    TFd file(::openat(folder.Get(), name.c_str(), ReadFlags));
    struct stat st {};
    if (!file.Valid() || ::fstat(file.Get(), &st) != 0)
        return TFd();
    if (!S_ISREG(st.st_mode) || !Trusted(st))
        return Refused(EACCES);
    return file;
}

} // namespace PrivateFolders
