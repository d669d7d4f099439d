#pragma once
// The local case cache: the user's cache folder ($XDG_CACHE_HOME when it is
// absolute, else ~/.cache) + "caldris/" + user + "/" + group/patient/study/. Keys keep "\"
// separators; paths on disk use "/". The folders hold patient data: each
// folder from "caldris" down is owner-only and is checked to be a real folder
// of this user's before it is used (PrivateFolders).
//
// Threads: the scan runs on the UI thread; the download worker creates case
// folders on its own thread (path functions are pure).
#include <cstdint>
#include <optional>
#include <string>

class TCaseList;

namespace LocalCache {

// A name a server listed that can safely be one folder or file name here:
// not empty, not "." or "..", no "/" or "\", no control characters.
bool IsSafeName(const std::string& name);
// Every part of group\patient\study is a safe name.
bool IsSafeKey(const std::string& key);

// A user name as one folder name: "/", "\\", "%" and control characters
// as "%XX", "." and ".." with their dots so escaped, the empty name as "%".
// Two names never share a folder, and none leads outside the cache.
std::string FolderName(const std::string& name);
// The user's cache root, ending with "/".
std::string CacheRoot(const std::string& userName);
// CacheRoot + key with "\" turned into "/" + "/".
std::string CaseFolder(const std::string& userName, const std::string& key);
// Creates every missing folder of path, which lies in the cache, with
// owner-only access and checks each folder of ours; false on failure or for
// a path outside the cache.
bool MakeFolders(const std::string& path);
// Every folder of path from the cache's own folder down is a real folder of
// this user's (nothing is made); false for a path outside the cache.
bool CheckFolders(const std::string& path);
// The file that keeps the user's last catalogue of host:port: in the
// program's cache folder, beside the users' case folders.
std::string CatalogueFile(const std::string& userName, const std::string& host, int port);
// Free bytes of the file system that holds (or will hold) the user's cache.
std::optional<int64_t> FreeSpace(const std::string& userName);
// Free and total bytes of the file system that holds an existing path.
struct DiskSpace {
    int64_t Free = 0;
    int64_t Total = 0;
};
std::optional<DiskSpace> SpaceOf(const std::string& path);

// Sum of the sizes of a folder's plain files; -1 when an entry is named
// "Incomplete"; 0 for a missing or empty folder.
int64_t CaseFolderSize(const std::string& folder);

// Adds or updates a row for every case folder of the user's cache; a cache
// root that fails the folder checks gives no rows.
void ScanLocalCache(TCaseList& list, const std::string& userName);

} // namespace LocalCache
