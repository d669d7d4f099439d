#pragma once
// The files of one case folder that are complete on disk, as the download
// worker finishes them, for a viewer that shows the case while it arrives.
// A name is added only once its file is closed at its final size, so a
// reader never sees a file still being written. The record ends when the
// worker's run of the case ends (complete, incomplete or stopped); its last
// names are then every regular file left in the folder.
//
// Threads: Arrived is called by the download worker; Start, End and
// FilesOnDisk by the UI thread (where nothing writes the folder meanwhile);
// Wait by the case loader, which a stop wakes through Wake.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class TCaseArrivals {
public:
    TCaseArrivals(std::string key, std::string folder) : m_key(std::move(key)), m_folder(std::move(folder)) {}

    const std::string& Key() const { return m_key; }
    const std::string& Folder() const { return m_folder; }

    // The names of every regular file in folder but the incomplete marker,
    // in name order.
    static std::vector<std::string> FilesOnDisk(const std::string& folder);

    // Takes every file now in the folder as complete (UI thread, while the
    // worker is not on this case).
    void TakeFilesOnDisk();
    // A file of the case is complete (repeats are ignored).
    void Arrived(const std::string& name);
    // The run of the case ended; whatever else the folder holds now is
    // complete too.
    void End(bool complete);

    bool Ended() const;

    struct Batch {
        std::vector<std::string> Names; // arrived since the caller's count
        bool Ended = false;
        bool Complete = false;
    };
    // Blocks until names beyond the first seen have arrived, the record has
    // ended, or stop() holds after a Wake.
    Batch Wait(size_t seen, const std::function<bool()>& stop);
    void Wake();

private:
    void Add(const std::string& name);

    const std::string m_key;
    const std::string m_folder;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_names; // in order of arrival
    std::set<std::string> m_known;
    bool m_ended = false;
    bool m_complete = false;
};
