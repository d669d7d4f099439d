#include "TLocalCache.h"

#include "Formatting.h"
#include "PrivateFolders.h"
#include "TCaseList.h"
#include "TCatalogue.h"

#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <vector>

namespace LocalCache {

namespace {

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* d = ::readdir(dir)) {
        const std::string n = d->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(dir);
    return names;
}

const char* const CacheFolderName = "caldris";

std::string CacheHome() { return PrivateFolders::CacheBase(); }

bool IsRealFolder(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Escapes(unsigned char c) { return c == '/' || c == '\\' || c == '%' || c < 0x20 || c == 0x7F; }

void AppendEscape(std::string& out, unsigned char c)
{
    char buf[4];
    std::snprintf(buf, sizeof buf, "%%%02X", c);
    out += buf;
}

} // namespace

bool IsSafeName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (unsigned char c : name)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool IsSafeKey(const std::string& key)
{
    size_t start = 0;
    int parts = 0;
    for (;;) {
        const size_t sep = key.find('\\', start);
        if (!IsSafeName(key.substr(start, sep == std::string::npos ? std::string::npos : sep - start)))
            return false;
        ++parts;
        if (sep == std::string::npos)
            break;
        start = sep + 1;
    }
    return parts == 3;
}

std::string FolderName(const std::string& name)
{
    // Every "%" is escaped too, so that no two names share a folder.
    std::string out;
    for (unsigned char c : name) {
        if (Escapes(c))
            AppendEscape(out, c);
        else
            out += char(c);
    }
    if (out == "." || out == "..")
        return out == "." ? "%2E" : "%2E%2E";
    // A lone "%" is no escape's output: the empty name's own.
    return out.empty() ? "%" : out;
}

std::string CacheRoot(const std::string& userName)
{
    return CacheHome() + "/" + CacheFolderName + "/" + FolderName(userName) + "/";
}

std::string CaseFolder(const std::string& userName, const std::string& key)
{
    std::string path = key;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return CacheRoot(userName) + path + "/";
}

bool MakeFolders(const std::string& path)
{
    const std::string home = CacheHome();
    const std::string ours = home + "/" + CacheFolderName + "/";
    if (path.compare(0, ours.size(), ours) != 0)
        return false;
    return PrivateFolders::Make(home, path.substr(home.size() + 1));
}

bool CheckFolders(const std::string& path)
{
    const std::string home = CacheHome();
    const std::string ours = home + "/" + CacheFolderName + "/";
    if (path.compare(0, ours.size(), ours) != 0)
        return false;
    return PrivateFolders::Check(home, path.substr(home.size() + 1));
}

std::string CatalogueFile(const std::string& userName, const std::string& host, int port)
{
    // USER@HOST:PORT with "@" escaped in the user's name: no two servers or
    // users share a file (the port is always last, the user's "@" first).
    std::string user;
    for (char c : FolderName(userName)) {
        if (c == '@')
            AppendEscape(user, c);
        else
            user += c;
    }
    return CacheHome() + "/" + CacheFolderName + "/catalogue-" + user + "@" + FolderName(host) + ":" +
           std::to_string(port);
}

std::optional<int64_t> FreeSpace(const std::string& userName)
{
    // The nearest folder that exists: the cache is made at the first download.
    std::string path = CacheRoot(userName);
    struct statvfs fs {};
    while (::statvfs(path.c_str(), &fs) != 0) {
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos || path == "/")
            return std::nullopt;
        path.resize(slash + 1);
    }
    return int64_t(fs.f_bavail) * int64_t(fs.f_frsize);
}

std::optional<DiskSpace> SpaceOf(const std::string& path)
{
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0)
        return std::nullopt;
    return DiskSpace{int64_t(fs.f_bavail) * int64_t(fs.f_frsize), int64_t(fs.f_blocks) * int64_t(fs.f_frsize)};
}

int64_t CaseFolderSize(const std::string& folder)
{
    int64_t size = 0;
    for (const std::string& name : Entries(folder)) {
        if (name == "Incomplete")
            return -1;
        struct stat st {};
        if (::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            size += st.st_size;
    }
    return size;
}

void ScanLocalCache(TCaseList& list, const std::string& userName)
{
    const std::string root = CacheRoot(userName);
    if (!PrivateFolders::Check(CacheHome(), root.substr(CacheHome().size() + 1)))
        return;
    for (const std::string& g : Entries(root)) {
        if (!IsSafeName(g) || !IsRealFolder(root + g))
            continue;
        for (const std::string& p : Entries(root + g + "/")) {
            if (!IsSafeName(p) || !IsRealFolder(root + g + "/" + p))
                continue;
            for (const std::string& s : Entries(root + g + "/" + p + "/")) {
                if (!IsSafeName(s) || !IsRealFolder(root + g + "/" + p + "/" + s))
                    continue;
                const int64_t size = CaseFolderSize(root + g + "/" + p + "/" + s + "/");
                if (size == 0)
                    continue;
                CaseRow* row = list.AddCaseRow(g + "\\" + p + "\\" + s, rlLocal);
                if (size == -1) {
                    row->SubItems[riTransfer] = "Incomplete";
                    row->RowLight = rlIncomplete;
                } else {
                    row->SubItems[riSize] = FormatSize(size);
                    row->SubItems[riSizeKey] = SizeSortKey(size);
                    row->SubItems[riTransfer] = "Complete";
                    row->RowLight = rlLocal;
                }
                list.RowChanged(row);
            }
        }
    }
}

} // namespace LocalCache
