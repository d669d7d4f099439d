#include "SplitImages.h"

#include "Format.h"
#include "TDicomStream.h"

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

void SplitImages(const std::string& sourceFile, const std::string& targetFile)
{
    TDicomStream source(sourceFile, fmOpenRead | fmShareDenyNone);
    const size_t extStart = ExtensionStart(targetFile);
    const std::string head = targetFile.substr(0, extStart);
    const std::string extension = targetFile.substr(extStart);

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
                TFileStream target(Format("%s-%4.4d%s", head.c_str(), k, extension.c_str()), fmCreate);
                CopyRange(source, target, headerStart, firstItemStart - kHeader - headerStart);
                CopyRange(source, target, itemStart, end - kHeader - itemStart);
            }
            source.SetPosition(end);
        }
        source.SkipValue(length);
    }
}
