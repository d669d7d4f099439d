#include "TKeptSamples.h"

#include "AreaReduction.h"
#include "MulDiv.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxGrey = 255;
// Source pixels drawn beyond the visible part on each side, so that smooth
// scaling has its neighbours at the view's edges.
constexpr int kEdgeMargin = 2;

void MapRow(const uint16_t* in, int count, const uint8_t* lut, uint8_t* out)
{
    for (int x = 0; x < count; ++x)
        out[x] = lut[in[x]];
}

} // namespace

TKeptSamples::TKeptSamples(int width, int height, int32_t range, bool inverted)
    : m_width(width), m_height(height), m_range(range), m_inverted(inverted),
      m_samples(size_t(width) * size_t(height), 0)
{
}

void TKeptSamples::SetWindow(int center, int width)
{
    m_windowed = true;
    m_center = center;
    m_windowWidth = width;
    m_lutValid = false;
    m_reducedShownValid = false;
}

uint8_t TKeptSamples::WindowedGrey(int32_t d) const
{
    // Compared in units of 1 / Range palette steps, so the limits are exact.
    const int64_t lo = int64_t(m_center) - m_windowWidth / 2;
    const int64_t scaled = int64_t(d) * kMaxGrey;
    if (scaled <= lo * m_range)
        return 0;
    if (m_windowWidth <= 0 || scaled >= (lo + m_windowWidth) * m_range)
        return kMaxGrey; // a width of 0 or below is a hard step at lo
    const double v = double(scaled - lo * m_range) * kMaxGrey / (double(m_range) * m_windowWidth);
    return uint8_t(std::clamp(std::lround(v), 0L, long(kMaxGrey)));
}

const std::vector<uint8_t>& TKeptSamples::Lut()
{
    if (m_lutValid)
        return m_lut;
    m_lut.resize(size_t(m_range) + 1);
    for (int32_t d = 0; d <= m_range; ++d) {
        const int v = m_windowed ? WindowedGrey(d) : MulDiv(d, kMaxGrey, m_range);
        m_lut[size_t(d)] = uint8_t(m_inverted ? kMaxGrey - v : v);
    }
    m_lutValid = true;
    return m_lut;
}

QImage TKeptSamples::Shown(const QRect& part)
{
    const QRect r = part & QRect(0, 0, m_width, m_height);
    QImage out(r.size(), QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    const uint8_t* lut = Lut().data();
    for (int y = 0; y < r.height(); ++y)
        MapRow(Row(r.top() + y) + r.left(), r.width(), lut, out.scanLine(y));
    return out;
}

void TKeptSamples::DrawReduced(QPainter& canvas, const QRect& rect)
{
    if (m_reducedSize != rect.size() || m_reduced.empty()) {
        m_reduced = ReduceSamples(m_samples.data(), m_width, m_height, rect.size());
        m_reducedSize = rect.size();
        m_reducedShown = QImage(rect.size(), QImage::Format_Grayscale8);
        m_reducedShownValid = false;
    }
    if (!m_reducedShownValid && !m_reducedShown.isNull() && !m_reduced.empty()) {
        const uint8_t* lut = Lut().data();
        const int w = rect.width();
        for (int y = 0; y < rect.height(); ++y)
            MapRow(m_reduced.data() + size_t(y) * size_t(w), w, lut, m_reducedShown.scanLine(y));
        m_reducedShownValid = true;
    }
    canvas.drawImage(rect.topLeft(), m_reducedShown);
}

QRect TKeptSamples::VisibleSourcePart(const QPainter& canvas, const QRect& rect) const
{
    const QRect whole(0, 0, m_width, m_height);
    const QTransform& t = canvas.worldTransform();
    if (t.type() > QTransform::TxTranslate || !canvas.device())
        return whole;
    QRect visible(QPoint(0, 0), QSize(canvas.device()->width(), canvas.device()->height()));
    visible.translate(-int(t.dx()), -int(t.dy()));
    if (canvas.hasClipping())
        visible &= canvas.clipBoundingRect().toAlignedRect();
    visible &= rect;
    if (visible.isEmpty())
        return QRect();
    // View pixels back to image pixels, rounded outwards.
    const double sx = double(m_width) / rect.width(), sy = double(m_height) / rect.height();
    const int x0 = int(std::floor((visible.left() - rect.left()) * sx)) - kEdgeMargin;
    const int y0 = int(std::floor((visible.top() - rect.top()) * sy)) - kEdgeMargin;
    const int x1 = int(std::ceil((visible.right() + 1 - rect.left()) * sx)) + kEdgeMargin;
    const int y1 = int(std::ceil((visible.bottom() + 1 - rect.top()) * sy)) + kEdgeMargin;
    return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)) & whole;
}

void TKeptSamples::Draw(QPainter& canvas, const QRect& rect)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    if (rect.width() < m_width && rect.height() < m_height) {
        DrawReduced(canvas, rect);
        return;
    }
    const QRect part = VisibleSourcePart(canvas, rect);
    if (part.isEmpty())
        return;
    const QImage shown = Shown(part);
    const double sx = double(rect.width()) / m_width, sy = double(rect.height()) / m_height;
    const QRectF target(rect.left() + part.left() * sx, rect.top() + part.top() * sy, part.width() * sx,
                        part.height() * sy);
    canvas.save();
    const bool unscaled = rect.width() == m_width && rect.height() == m_height;
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, !unscaled);
    canvas.drawImage(target, shown);
    canvas.restore();
}
