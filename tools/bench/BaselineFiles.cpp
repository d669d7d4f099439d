#include "BaselineFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<std::string> FolderFiles(const std::string& folder)
{
    std::vector<std::string> files;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                files.push_back(folder + "/" + e->d_name);
        ::closedir(d);
    }
    return files;
}

std::string ReadWhole(const std::string& path)
{
    std::string data;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return data;
    struct stat st {};
    ::fstat(fd, &st);
    data.resize(size_t(st.st_size));
    const ssize_t n = ::read(fd, data.data(), data.size());
    data.resize(n > 0 ? size_t(n) : 0);
    ::close(fd);
    return data;
}

std::string PixelValue(const std::string& file)
{
    static const char tag[4] = {'\xE0', '\x7F', '\x10', '\x00'};
    for (size_t pos = 132; pos + 8 <= file.size();) {
        uint32_t length;
        std::memcpy(&length, file.data() + pos + 4, 4);
        if (std::memcmp(file.data() + pos, tag, 4) == 0)
            return file.substr(pos + 8, std::min<size_t>(length, file.size() - pos - 8));
        pos += 8 + length + (length & 1);
    }
    return {};
}

double MedianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
