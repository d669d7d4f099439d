#pragma once
// The local case cache: temporary-files folder + "Caldris/" + user + "/" +
// group/patient/study/. Keys keep "\" separators; paths on disk use "/".
// Folders are made readable by the owner only: they hold patient data.
//
// Threads: the scan runs on the UI thread; the download worker creates case
// folders on its own thread (path functions are pure).
#include <cstdint>
#include <string>

class TCaseList;

namespace LocalCache {

// A name a server listed that can safely be one folder or file name here:
// not empty, not "." or "..", no "/" or "\", no control characters.
bool IsSafeName(const std::string& name);
// Every part of group\patient\study is a safe name.
bool IsSafeKey(const std::string& key);

// The user's cache root, ending with "/". A user name that is no safe folder
// name is escaped, so that no user name leads outside the cache.
std::string CacheRoot(const std::string& userName);
// CacheRoot + key with "\" turned into "/" + "/".
std::string CaseFolder(const std::string& userName, const std::string& key);
// Creates every missing folder of path with owner-only access; false on failure.
bool MakeFolders(const std::string& path);

// Sum of the sizes of a folder's plain files; -1 when an entry is named
// "Incomplete"; 0 for a missing or empty folder.
int64_t CaseFolderSize(const std::string& folder);

// Adds or updates a row for every case folder of the user's cache.
void ScanLocalCache(TCaseList& list, const std::string& userName);

} // namespace LocalCache
