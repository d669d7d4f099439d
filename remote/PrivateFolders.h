#pragma once
// Folders that hold one user's private data (the case cache, the settings,
// the single-instance token): made owner-only, and reached by descriptors
// from "/" down, so that nobody else on the machine can read what goes into
// them or swap a folder between a check and the use of what it holds.
//
// Every folder on the way must be owned by this user or by root and be
// writable by nobody else, unless it is sticky (/tmp): there others can make
// names of their own but cannot move ours. The folders of ours below a base
// must be real folders (never a link) owned by this user; one that others
// can enter is closed to them.
//
// Threads: any; plain file-system calls.
#include <string>

namespace PrivateFolders {

// An open descriptor, closed when it goes.
class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : m_fd(fd) {}
    ~TFd();
    TFd(TFd&& other) noexcept : m_fd(other.Release()) {}
    TFd& operator=(TFd&& other) noexcept;
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release();

private:
    int m_fd = -1;
};

// The user's base folders as the desktop rules name them: the variable when
// it holds an absolute path (a relative one is ignored), else the home
// folder's default. RuntimeBase is empty when the variable is unusable.
std::string CacheBase();   // $XDG_CACHE_HOME, else ~/.cache
std::string ConfigBase();  // $XDG_CONFIG_HOME, else ~/.config
std::string RuntimeBase(); // $XDG_RUNTIME_DIR

// base: a folder of the user's that is not ours to judge (~/.cache); made
// owner-only when missing, and checked with every folder above it.
// below: "/"-separated folders inside base that belong to this program; each
// is made owner-only when missing (make) and must be a real folder of ours.
// The descriptor of the last folder; invalid (errno set) when one fails,
// ENOENT when one is missing and nothing is made.
TFd OpenFolder(const std::string& base, const std::string& below, bool make);
bool Make(const std::string& base, const std::string& below);
// The same checks without making anything; false when a folder is missing.
bool Check(const std::string& base, const std::string& below);

// Creates or empties the file at path for writing: its folder is reached by
// the rules above and must be ours; the file is opened relative to it
// without following a link and must be a plain file of ours. -1 (errno set)
// on failure.
int CreateFile(const std::string& path);
// Opens a file of ours (or root's) that nobody else can write, for reading,
// in folder (a descriptor from OpenFolder) or, without one, at path reached
// by the rules above. Invalid with errno ENOENT when the file is missing.
TFd OpenForReading(const std::string& path);
TFd OpenForReading(const TFd& folder, const std::string& name);

} // namespace PrivateFolders
