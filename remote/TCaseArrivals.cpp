#include "TCaseArrivals.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {
constexpr const char* MarkerName = "Incomplete";
}

std::vector<std::string> TCaseArrivals::FilesOnDisk(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        struct stat st {};
        if (name != MarkerName && ::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void TCaseArrivals::Add(const std::string& name)
{
    if (m_known.insert(name).second)
        m_names.push_back(name);
}

void TCaseArrivals::TakeFilesOnDisk()
{
    const std::vector<std::string> names = FilesOnDisk(m_folder);
    std::lock_guard lock(m_mutex);
    for (const std::string& name : names)
        Add(name);
    m_changed.notify_all();
}

void TCaseArrivals::Arrived(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    Add(name);
    m_changed.notify_all();
}

void TCaseArrivals::End(bool complete)
{
    const std::vector<std::string> names = FilesOnDisk(m_folder);
    std::lock_guard lock(m_mutex);
    if (m_ended)
        return;
    for (const std::string& name : names)
        Add(name);
    m_ended = true;
    m_complete = complete;
    m_changed.notify_all();
}

bool TCaseArrivals::Ended() const
{
    std::lock_guard lock(m_mutex);
    return m_ended;
}

TCaseArrivals::Batch TCaseArrivals::Wait(size_t seen, const std::function<bool()>& stop)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_names.size() > seen || m_ended || stop(); });
    Batch batch;
    if (seen < m_names.size())
        batch.Names.assign(m_names.begin() + std::ptrdiff_t(seen), m_names.end());
    batch.Ended = m_ended;
    batch.Complete = m_complete;
    return batch;
}

void TCaseArrivals::Wake()
{
    std::lock_guard lock(m_mutex);
    m_changed.notify_all();
}
