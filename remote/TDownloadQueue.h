#pragma once
// The ordered list of case keys to download; its head is the case in progress
// or the next one. Look-ups ignore letter case. UI thread only.
#include <string>
#include <vector>

class TDownloadQueue {
public:
    int Count() const { return int(m_keys.size()); }
    bool Empty() const { return m_keys.empty(); }
    const std::string& operator[](int i) const { return m_keys[size_t(i)]; }
    int IndexOf(const std::string& key) const;
    bool Contains(const std::string& key) const { return IndexOf(key) >= 0; }
    void Add(const std::string& key) { m_keys.push_back(key); }
    void AddUnique(const std::string& key);
    // Puts key at the head, taking it from where it was.
    void MoveToHead(const std::string& key);
    void Delete(int index);
    void Remove(const std::string& key);
    void Clear() { m_keys.clear(); }

private:
    std::vector<std::string> m_keys;
};
