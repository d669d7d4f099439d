#pragma once
// Inputs as files, for parsers that open a path: a memory-backed file (no
// disk I/O per input) and a private scratch folder per process.
#include <cstddef>
#include <cstdint>
#include <string>

// The input as an anonymous in-memory regular file, reachable by Path()
// while the object lives.
class TFuzzFile {
public:
    TFuzzFile(const uint8_t* data, size_t size);
    ~TFuzzFile();
    TFuzzFile(const TFuzzFile&) = delete;
    TFuzzFile& operator=(const TFuzzFile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};

// An empty folder of this process (made on first use, emptied by each call),
// ending with a separator.
std::string FuzzScratchFolder();
// Writes the bytes to a file, replacing it.
void WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size);
