#include "AreaReduction.h"

#include "TDibGraphic.h"

#include <algorithm>
#include <vector>

QImage ReduceIndices(const TDibGraphic& image, QSize size)
{
    const int w = image.GetWidth(), h = image.GetHeight();
    const int tw = size.width(), th = size.height();
    QImage out(tw, th, QImage::Format_Indexed8);
    if (out.isNull() || tw <= 0 || th <= 0 || tw > w || th > h)
        return QImage();
    // Column spans of the target pixels.
    std::vector<int> x0(size_t(tw) + 1);
    for (int tx = 0; tx <= tw; ++tx)
        x0[size_t(tx)] = int(int64_t(tx) * w / tw);
    std::vector<uint32_t> columns(static_cast<size_t>(w));
    for (int ty = 0; ty < th; ++ty) {
        const int y0 = int(int64_t(ty) * h / th), y1 = int(int64_t(ty + 1) * h / th);
        std::fill(columns.begin(), columns.end(), 0u);
        for (int y = y0; y < y1; ++y) {
            const uint8_t* row = image.ScanLine(y);
            for (int x = 0; x < w; ++x)
                columns[size_t(x)] += row[x];
        }
        uint8_t* target = out.scanLine(ty);
        const uint32_t rows = uint32_t(y1 - y0);
        for (int tx = 0; tx < tw; ++tx) {
            uint32_t sum = 0;
            for (int x = x0[size_t(tx)]; x < x0[size_t(tx) + 1]; ++x)
                sum += columns[size_t(x)];
            const uint32_t count = rows * uint32_t(x0[size_t(tx) + 1] - x0[size_t(tx)]);
            target[tx] = uint8_t((sum + count / 2) / count);
        }
    }
    return out;
}
