#include "TLocalCache.h"

#include "Formatting.h"
#include "TCaseList.h"
#include "TCatalogue.h"

#include <QDir>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
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

std::string Escaped(const std::string& name)
{
    if (IsSafeName(name))
        return name;
    std::string out;
    for (unsigned char c : name) {
        if (c == '/' || c == '\\' || c == '%' || c < 0x20 || c == 0x7F || c == '.') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out.empty() ? "%00" : out;
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

std::string CacheRoot(const std::string& userName)
{
    std::string root = QDir::tempPath().toStdString();
    if (root.empty() || root.back() != '/')
        root += '/';
    return root + "Caldris/" + Escaped(userName) + "/";
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
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        const size_t slash = path.find('/', pos);
        partial = path.substr(0, slash == std::string::npos ? path.size() : slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
        pos = slash + 1;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t CaseFolderSize(const std::string& folder)
{
    int64_t size = 0;
    for (const std::string& name : Entries(folder)) {
        if (name == "Incomplete")
            return -1;
        struct stat st {};
        if (::stat((folder + name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            size += st.st_size;
    }
    return size;
}

void ScanLocalCache(TCaseList& list, const std::string& userName)
{
    const std::string root = CacheRoot(userName);
    for (const std::string& g : Entries(root)) {
        if (!IsSafeName(g))
            continue;
        for (const std::string& p : Entries(root + g + "/")) {
            if (!IsSafeName(p))
                continue;
            for (const std::string& s : Entries(root + g + "/" + p + "/")) {
                if (!IsSafeName(s))
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
