#include "PrivateFolders.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFolders {

namespace {

constexpr mode_t OwnerOnly = 0700;
constexpr mode_t OthersBits = 0077;

bool MakeMissing(const std::string& path)
{
    return !path.empty() && (::mkdir(path.c_str(), OwnerOnly) == 0 || errno == EEXIST);
}

bool MakeBase(const std::string& base)
{
    for (size_t slash = base.find('/', 1); slash != std::string::npos; slash = base.find('/', slash + 1))
        if (!MakeMissing(base.substr(0, slash)))
            return false;
    struct stat st {};
    return (base.empty() || MakeMissing(base)) && ::stat(base.empty() ? "/" : base.c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

// lstat, not stat: a link in our place is refused, never followed.
bool IsOurs(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & OthersBits) == 0 || ::chmod(path.c_str(), OwnerOnly) == 0;
}

bool Walk(const std::string& base, const std::string& below, bool make)
{
    if (make && !MakeBase(base))
        return false;
    std::string path = base;
    size_t pos = 0;
    while (pos < below.size()) {
        size_t slash = below.find('/', pos);
        if (slash == std::string::npos)
            slash = below.size();
        const std::string name = below.substr(pos, slash - pos);
        pos = slash + 1;
        if (name.empty())
            continue;
        if (name == "." || name == "..")
            return false;
        path += '/';
        path += name;
        if (make && ::mkdir(path.c_str(), OwnerOnly) != 0 && errno != EEXIST)
            return false;
        if (!IsOurs(path))
            return false;
    }
    return true;
}

} // namespace

bool Make(const std::string& base, const std::string& below) { return Walk(base, below, true); }

bool Check(const std::string& base, const std::string& below) { return Walk(base, below, false); }

} // namespace PrivateFolders
