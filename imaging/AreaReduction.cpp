#include "AreaReduction.h"

#include "TDibGraphic.h"

#include <algorithm>
#include <type_traits>

namespace {

bool Reducible(int w, int h, QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= w && size.height() <= h;
}

// Box filter from rows of w x h values (rowOf(y) gives row y from the top)
// into target rows (targetRow(ty)); TSum holds a whole box of values.
template <typename TSum, typename TRowOf, typename TTargetRow>
void BoxReduce(int w, int h, QSize size, TRowOf rowOf, TTargetRow targetRow)
{
    const int tw = size.width(), th = size.height();
    // Column spans of the target pixels.
    std::vector<int> x0(size_t(tw) + 1);
    for (int tx = 0; tx <= tw; ++tx)
        x0[size_t(tx)] = int(int64_t(tx) * w / tw);
    std::vector<TSum> columns(static_cast<size_t>(w));
    for (int ty = 0; ty < th; ++ty) {
        const int y0 = int(int64_t(ty) * h / th), y1 = int(int64_t(ty + 1) * h / th);
        std::fill(columns.begin(), columns.end(), TSum(0));
        for (int y = y0; y < y1; ++y) {
            const auto* row = rowOf(y);
            for (int x = 0; x < w; ++x)
                columns[size_t(x)] += row[x];
        }
        auto* target = targetRow(ty);
        const TSum rows = TSum(y1 - y0);
        for (int tx = 0; tx < tw; ++tx) {
            TSum sum = 0;
            for (int x = x0[size_t(tx)]; x < x0[size_t(tx) + 1]; ++x)
                sum += columns[size_t(x)];
            const TSum count = rows * TSum(x0[size_t(tx) + 1] - x0[size_t(tx)]);
            target[tx] = static_cast<std::remove_reference_t<decltype(target[tx])>>((sum + count / 2) / count);
        }
    }
}

} // namespace

QImage ReduceIndices(const TDibGraphic& image, QSize size)
{
    const int w = image.GetWidth(), h = image.GetHeight();
    QImage out(size, QImage::Format_Indexed8);
    if (out.isNull() || !Reducible(w, h, size))
        return QImage();
    BoxReduce<uint32_t>(w, h, size, [&](int y) { return image.ScanLine(y); },
                        [&](int ty) { return out.scanLine(ty); });
    return out;
}

std::vector<uint16_t> ReduceSamples(const uint16_t* samples, int width, int height, QSize size)
{
    if (!Reducible(width, height, size))
        return {};
    std::vector<uint16_t> out(size_t(size.width()) * size_t(size.height()));
    BoxReduce<uint64_t>(width, height, size, [&](int y) { return samples + size_t(y) * size_t(width); },
                        [&](int ty) { return out.data() + size_t(ty) * size_t(size.width()); });
    return out;
}
