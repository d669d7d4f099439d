#include "ReadExamInfo.h"

#include "Exception.h"
#include "TDicomGraphic.h"
#include "TFileStream.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <strings.h>
#include <system_error>

namespace {

constexpr size_t kRecordSize = 323;
constexpr size_t kNameLimit = 34;  // upper limit starts here
constexpr size_t kLowerLimit = 36;

// The first directory entry whose name starts with "Exam Info" (any kind of
// entry, in directory order); letter case is not significant, as in the
// Windows folders the cases come from. Empty when there is none.
std::string FindExamInfo(const std::string& caseFolder)
{
    static const char prefix[] = "Exam Info";
    std::error_code ec;
    std::filesystem::directory_iterator it(caseFolder.empty() ? "." : caseFolder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= sizeof prefix - 1 && strncasecmp(name.c_str(), prefix, sizeof prefix - 1) == 0)
            return name;
    }
    return std::string();
}

int16_t BigEndian16(const uint8_t* p) { return int16_t(uint16_t(p[0] << 8 | p[1])); }

void ScanChunks(TFileStream& file, TDicomGraphic& image, const std::string& fileName, int imageNumber)
{
    char magic[4];
    if (file.Read(magic, 4) != 4 || std::memcmp(magic, "EXAM", 4) != 0)
        return;
    int counter = 0;
    uint8_t record[kRecordSize];
    for (;;) {
        char tag[4];
        if (file.Read(tag, 4) != 4)
            return;
        uint8_t len[4];
        if (file.Read(len, 4) != 4)
            return; // a cut-short length field ends the scan
        const uint32_t length = uint32_t(len[0]) << 24 | uint32_t(len[1]) << 16 | uint32_t(len[2]) << 8 | len[3];
        std::memset(record, 0, sizeof record);
        const int64_t bodyStart = file.Position();
        file.Read(record, std::min<int64_t>(length, int64_t(kRecordSize)));
        // The whole body is passed over, however long; only its head is kept.
        file.SetPosition(bodyStart + int64_t(length));

        if (std::memcmp(tag, "Seri", 4) == 0) {
            counter = 0;
        } else if (std::memcmp(tag, "Imag", 4) == 0) {
            ++counter;
            const std::string name(reinterpret_cast<const char*>(record) + 1, record[0]);
            if (name == fileName && counter == imageNumber) {
                const int16_t upper = BigEndian16(record + kNameLimit);
                const int16_t lower = BigEndian16(record + kLowerLimit);
                const int16_t width = int16_t(uint16_t(upper) - uint16_t(lower));
                const int16_t center = int16_t(uint16_t(lower) + uint16_t(width / 2));
                image.SetExamPreset(center, width);
            }
        }
    }
}

} // namespace

void ReadExamInfo(TDicomGraphic& image, const std::string& caseFolder, const std::string& fileName, int imageNumber)
{
    image.SetExamPreset(0, 0);
    const std::string name = FindExamInfo(caseFolder);
    if (name.empty())
        return;
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(caseFolder + name, fmOpenRead | fmShareDenyNone);
    } catch (const Exception&) {
        return; // no preset, no message
    }
    // A folder of that name opens but reads nothing: the magic test fails.
    ScanChunks(*file, image, fileName, imageNumber);
}
