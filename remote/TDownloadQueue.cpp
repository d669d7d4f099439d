#include "TDownloadQueue.h"

#include <strings.h>

int TDownloadQueue::IndexOf(const std::string& key) const
{
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (strcasecmp(m_keys[i].c_str(), key.c_str()) == 0)
            return int(i);
    return -1;
}

void TDownloadQueue::AddUnique(const std::string& key)
{
    if (!Contains(key))
        Add(key);
}

void TDownloadQueue::Delete(int index)
{
    if (index >= 0 && index < Count())
        m_keys.erase(m_keys.begin() + index);
}

void TDownloadQueue::Remove(const std::string& key) { Delete(IndexOf(key)); }

void TDownloadQueue::MoveToHead(const std::string& key)
{
    Remove(key);
    m_keys.insert(m_keys.begin(), key);
}
