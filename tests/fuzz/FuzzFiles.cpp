#include "FuzzFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

TFuzzFile::TFuzzFile(const uint8_t* data, size_t size)
{
    m_fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (m_fd < 0)
        std::abort(); // the harness itself cannot run: not a finding to keep
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += size_t(n);
    }
    m_path = "/proc/self/fd/" + std::to_string(m_fd);
}

TFuzzFile::~TFuzzFile() { ::close(m_fd); }

std::string FuzzScratchFolder()
{
    namespace fs = std::filesystem;
    static const std::string folder = [] {
        std::string pattern = (fs::temp_directory_path() / "caldris-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        static const std::string made = pattern;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(made, ignored);
        });
        return pattern + "/";
    }();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        fs::remove_all(entry.path(), ec);
    return folder;
}

void WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}
