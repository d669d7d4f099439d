#include "SplitImages.h"

#include "Exception.h"
#include "Format.h"
#include "TFileStream.h"
#include "TDicomStream.h"

#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

// Extension with its dot: from the last '.' after the last path separator.
size_t ExtensionStart(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path.size();
    return dot;
}

void CopyRange(TDicomStream& source, TFileStream& target, int64_t from, int64_t count)
{
    if (count <= 0)
        return; // an empty range copies nothing (a count of 0 would mean "everything")
    source.SetPosition(from);
    target.CopyFrom(source, count);
}

} // namespace

std::string NumberedFileName(const std::string& targetFile, int k)
{
    const size_t extStart = ExtensionStart(targetFile);
    return Format("%s-%4.4d%s", targetFile.substr(0, extStart).c_str(), k, targetFile.substr(extStart).c_str());
}

void CopyImageFiles(const std::vector<std::string>& sourceFiles, const std::string& targetFile)
{
    // Files are told apart by device and inode, whatever their names.
    std::set<std::pair<dev_t, ino_t>> sources;
    struct stat st {};
    for (const std::string& source : sourceFiles)
        if (::stat(source.c_str(), &st) == 0)
            sources.insert({st.st_dev, st.st_ino});
    for (size_t i = 0; i < sourceFiles.size(); ++i) {
        const std::string name = NumberedFileName(targetFile, int(i + 1));
        if (::stat(name.c_str(), &st) == 0 && sources.count({st.st_dev, st.st_ino}))
            throw EFCreateError(Format("Cannot create file \"%s\". It is one of the series' own files.", name.c_str()));
    }
    for (size_t i = 0; i < sourceFiles.size(); ++i) {
        TFileStream source(sourceFiles[i], fmOpenRead | fmShareDenyNone);
        TFileStream target(NumberedFileName(targetFile, int(i + 1)), fmCreate);
        const int64_t size = source.Size();
        if (size > 0)
            target.CopyFrom(source, size);
    }
}

void SplitImages(const std::string& sourceFile, const std::string& targetFile)
{
    TDicomStream source(sourceFile, fmOpenRead | fmShareDenyNone);

    constexpr int64_t kHeader = 8;
    const int64_t headerStart = source.SeekDataSetStart();
    int64_t firstItemStart = headerStart;
    int64_t itemStart = -1; // no item header met yet
    int k = 0;
    uint32_t tag, length;
    while (source.ReadElementHeader(tag, length)) {
        if (tag == DicomTag::Item) {
            itemStart = source.Position();
            if (firstItemStart == headerStart)
                firstItemStart = itemStart;
        } else if (tag == DicomTag::ItemDelimitation && itemStart >= 0) {
            // A delimiter before any item header has no image to cut: skipped.
            ++k;
            const int64_t end = source.Position();
            {
                TFileStream target(NumberedFileName(targetFile, k), fmCreate);
                CopyRange(source, target, headerStart, firstItemStart - kHeader - headerStart);
                CopyRange(source, target, itemStart, end - kHeader - itemStart);
            }
            source.SetPosition(end);
        }
        source.SkipValue(length);
    }
}
