#include "TDibGraphic.h"

#include "Exception.h"
#include "AreaReduction.h"
#include "Format.h"
#include "PixelMemory.h"
#include "TStream.h"

#include <QCoreApplication>
#include <QPainter>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr long double kInchesPerMetre = 39.370078740157480317L;

uint32_t Read1(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
void Write1(uint8_t* row, int x, uint32_t v)
{
    const uint8_t mask = uint8_t(0x80 >> (x & 7));
    if (int32_t(v) > 0)
        row[x >> 3] |= mask;
    else
        row[x >> 3] &= uint8_t(~mask);
}
uint32_t Read4(const uint8_t* row, int x) { return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4); }
void Write4(uint8_t* row, int x, uint32_t v)
{
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? uint8_t((b & 0xF0) | (v & 0x0F)) : uint8_t((b & 0x0F) | ((v & 0x0F) << 4));
}
uint32_t Read8(const uint8_t* row, int x) { return row[x]; }
void Write8(uint8_t* row, int x, uint32_t v) { row[x] = uint8_t(v); }
uint32_t Read24(const uint8_t* row, int x)
{
    const uint8_t* p = row + 3 * x;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}
void Write24(uint8_t* row, int x, uint32_t v)
{
    uint8_t* p = row + 3 * x;
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}

} // namespace

int32_t DpiToPelsPerMeter(uint16_t dpi)
{
    return int32_t(std::nearbyint(static_cast<long double>(dpi) * kInchesPerMetre));
}

int32_t PelsPerMeterToDpi(int32_t pelsPerMeter)
{
    return int32_t(std::nearbyint(static_cast<long double>(pelsPerMeter) / kInchesPerMetre));
}

void TDibGraphic::StoreDeleter::operator()(uint8_t* p) const { PixelMemory::Release(p, bytes); }

TDibGraphic::TDibGraphic() = default;

TDibGraphic::~TDibGraphic()
{
    if (m_timer)
        m_timer->stop();
    m_timer.reset();
    m_frames.clear();
    FreeImage();
}

std::unique_ptr<TDibGraphic> TDibGraphic::Create() const { return std::make_unique<TDibGraphic>(); }

void TDibGraphic::SetHeight(int) { throw EKerbelinError("Dimensions must be change with the NewImage method"); }
void TDibGraphic::SetWidth(int) { throw EKerbelinError("Dimensions must be change with the NewImage method"); }

void TDibGraphic::PixelsChanged() { ++m_generation; }

void TDibGraphic::FreeImage()
{
    ++m_generation;
    m_reduced = QImage();
    m_view = QImage();
    m_colorTable.clear();
    m_converter.reset();
    m_store.reset();
    m_bits = nullptr;
    m_readPixel = nullptr;
    m_writePixel = nullptr;
    m_scanLineSize = 0;
    m_info = TBitmapInfo{};
}

void TDibGraphic::NewImage(int width, int height, TImageFormat format, const TLogPalette* palette, uint16_t xDpi,
                           uint16_t yDpi)
{
    // The palette may be this image's own LogPalette: take a copy before anything is cleared.
    TLogPalette pal{};
    if (palette)
        pal = *palette;
    FreeImage();
    try {
        m_imageFormat = format;
        const int bitCount = FormatBitCount(format); // raises for a format above 5
        if (format != ifTrueColor && !palette)
            pal = *DefaultPalette(format);
        if (pal.palNumEntries > 256)
            pal.palNumEntries = 256;

        // A size the pixel store cannot hold is the platform's creation failure.
        if (width <= 0 || height <= 0)
            throw EKerbelinError("CreateDibSection failed");
        const int64_t stride = ((int64_t(width) * bitCount + 31) / 32) * 4;
        const int64_t bytes = stride * int64_t(height);
        if (stride > std::numeric_limits<int32_t>::max() || bytes > std::numeric_limits<int32_t>::max())
            throw EKerbelinError("CreateDibSection failed");

        TBitmapInfoHeader& h = m_info.bmiHeader;
        h.biSize = 40;
        h.biWidth = width;
        h.biHeight = height;
        h.biPlanes = 1;
        h.biBitCount = uint16_t(bitCount);
        h.biCompression = 0;
        m_scanLineSize = int(stride);
        h.biSizeImage = uint32_t(bytes);
        h.biClrImportant = 0;
        if (format == ifTrueColor) {
            h.biClrUsed = 0;
        } else {
            h.biClrUsed = pal.palNumEntries;
            for (int i = 0; i < pal.palNumEntries; ++i) {
                const TPaletteEntry& e = pal.palPalEntry[i];
                m_info.bmiColors[i] = TRgbQuad{e.peBlue, e.peGreen, e.peRed, 0};
            }
        }
        SetXDotsPerInch(xDpi);
        SetYDotsPerInch(yDpi);

        uint8_t* mem = PixelMemory::Allocate(size_t(bytes));
        if (!mem)
            throw EKerbelinError("CreateDibSection failed");
        m_store = std::unique_ptr<uint8_t, StoreDeleter>(mem, StoreDeleter{size_t(bytes)});
        m_bits = mem;

        switch (bitCount) {
        case 1: m_readPixel = Read1; m_writePixel = Write1; break;
        case 4: m_readPixel = Read4; m_writePixel = Write4; break;
        case 8: m_readPixel = Read8; m_writePixel = Write8; break;
        default: m_readPixel = Read24; m_writePixel = Write24; break;
        }

        m_logPalette = TLogPalette{};
        if (format != ifTrueColor) {
            m_logPalette = pal;
            m_logPalette.palVersion = 0x300;
        }
        SyncView();
    } catch (...) {
        FreeImage();
        throw;
    }
}

void TDibGraphic::SyncView()
{
    const int w = GetWidth(), h = GetHeight();
    m_colorTable.clear();
    switch (m_info.bmiHeader.biBitCount) {
    case 1:
        m_view = QImage(m_bits, w, h, m_scanLineSize, QImage::Format_Mono);
        break;
    case 8:
        m_view = QImage(m_bits, w, h, m_scanLineSize, QImage::Format_Indexed8);
        break;
    case 24:
        m_view = QImage(m_bits, w, h, m_scanLineSize, QImage::Format_BGR888);
        return;
    default: // 4 bits have no QImage format; drawing converts them
        m_view = QImage();
        break;
    }
    const int entries = 1 << m_info.bmiHeader.biBitCount;
    m_colorTable.resize(entries, qRgb(0, 0, 0));
    for (uint32_t i = 0; i < m_info.bmiHeader.biClrUsed && i < uint32_t(entries); ++i) {
        const TRgbQuad& q = m_info.bmiColors[i];
        m_colorTable[i] = qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    if (!m_view.isNull())
        m_view.setColorTable(m_colorTable);
}

void TDibGraphic::RebuildPixelStore()
{
    if (!m_bits || m_imageFormat == ifTrueColor)
        return;
    for (int i = 0; i < 256; ++i) {
        const TPaletteEntry& e = m_logPalette.palPalEntry[i];
        m_info.bmiColors[i] = TRgbQuad{e.peBlue, e.peGreen, e.peRed, 0};
    }
    const int entries = int(m_colorTable.size());
    for (int i = 0; i < entries; ++i) {
        const TRgbQuad& q = m_info.bmiColors[i];
        m_colorTable[i] = i < int(m_info.bmiHeader.biClrUsed) ? qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue) : qRgb(0, 0, 0);
    }
    if (!m_view.isNull())
        m_view.setColorTable(m_colorTable);
}

const QList<QRgb>& TDibGraphic::PaletteHandle() { return m_colorTable; }

uint32_t TDibGraphic::GetPixel(int x, int y) const
{
    const uint32_t v = m_readPixel(ScanLine(y), x);
    if (m_imageFormat == ifTrueColor)
        return v;
    const TPaletteEntry& e = m_logPalette.palPalEntry[v & 0xFF];
    return uint32_t(e.peRed) << 16 | uint32_t(e.peGreen) << 8 | e.peBlue;
}

void TDibGraphic::SetPixel(int x, int y, uint32_t color)
{
    if (m_imageFormat == ifTrueColor)
        m_writePixel(ScanLine(y), x, color);
    else
        m_writePixel(ScanLine(y), x, uint32_t(Converter()->NearestIndex(color)));
}

TRgbToPaletteConverter* TDibGraphic::Converter() const
{
    if (!m_converter && m_bits && m_imageFormat != ifTrueColor)
        m_converter = std::make_unique<TRgbToPaletteConverter>(&m_logPalette);
    return m_converter.get();
}

int TDibGraphic::GetPixelIndex(int x, int y) const
{
    if (m_imageFormat == ifTrueColor)
        throw EKerbelinError("The image does not have a palette");
    return int(m_readPixel(ScanLine(y), x) & 0xFF);
}

void TDibGraphic::SetPixelIndex(int x, int y, int index)
{
    if (m_imageFormat == ifTrueColor)
        throw EKerbelinError("The image does not have a palette");
    m_writePixel(ScanLine(y), x, uint32_t(index) & 0xFF);
}

uint16_t TDibGraphic::XDotsPerInch() const { return uint16_t(PelsPerMeterToDpi(m_info.bmiHeader.biXPelsPerMeter)); }
uint16_t TDibGraphic::YDotsPerInch() const { return uint16_t(PelsPerMeterToDpi(m_info.bmiHeader.biYPelsPerMeter)); }
void TDibGraphic::SetXDotsPerInch(uint16_t dpi) { m_info.bmiHeader.biXPelsPerMeter = DpiToPelsPerMeter(dpi); }
void TDibGraphic::SetYDotsPerInch(uint16_t dpi) { m_info.bmiHeader.biYPelsPerMeter = DpiToPelsPerMeter(dpi); }

void TDibGraphic::Draw(QPainter& canvas, const QRect& rect)
{
    if (m_bits) {
        QImage source = m_view;
        if (source.isNull()) { // 4 bits per pixel: widen to 8 for drawing
            source = QImage(GetWidth(), GetHeight(), QImage::Format_Indexed8);
            source.setColorTable(m_colorTable);
            for (int r = 0; r < GetHeight(); ++r) {
                const uint8_t* in = m_bits + ptrdiff_t(r) * m_scanLineSize;
                uint8_t* out = source.scanLine(r);
                for (int x = 0; x < GetWidth(); ++x)
                    out[x] = uint8_t(Read4(in, x));
            }
        }
        const bool unscaled = rect.width() == GetWidth() && rect.height() == GetHeight();
        // A grey image shown smaller than it is: its reduction is kept, and
        // only the colour table follows the window.
        if (m_imageFormat == ifGray256 && rect.width() < GetWidth() && rect.height() < GetHeight() &&
            rect.width() > 0 && rect.height() > 0) {
            if (m_reduced.size() != rect.size() || m_reducedGeneration != m_generation) {
                m_reduced = ReduceIndices(*this, rect.size());
                m_reducedGeneration = m_generation;
            }
            if (!m_reduced.isNull()) {
                m_reduced.setColorTable(m_colorTable);
                canvas.drawImage(rect.topLeft(), m_reduced);
                if (OnAfterDraw)
                    OnAfterDraw(this);
                return;
            }
        }
        canvas.save();
        canvas.setRenderHint(QPainter::SmoothPixmapTransform, !unscaled);
        // Rows are stored bottom-up: draw the memory-order view mirrored.
        canvas.translate(rect.left(), rect.top() + rect.height());
        canvas.scale(1, -1);
        canvas.drawImage(QRect(0, 0, rect.width(), rect.height()), source);
        canvas.restore();
    }
    if (OnAfterDraw)
        OnAfterDraw(this);
}

QImage TDibGraphic::SaveToClipboardFormat() const
{
    if (!m_bits)
        return QImage();
    const int w = GetWidth(), h = GetHeight();
    QImage out(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = 0xFF000000u | GetPixel(x, y);
    }
    out.setDotsPerMeterX(m_info.bmiHeader.biXPelsPerMeter);
    out.setDotsPerMeterY(m_info.bmiHeader.biYPelsPerMeter);
    return out;
}

void TDibGraphic::LoadFromClipboardFormat(const QImage& image)
{
    if (image.isNull())
        throw EInvalidGraphic("Unknown clipboard format, 2");
    LoadFromBitmapHandle(image);
}

void TDibGraphic::LoadFromBitmapHandle(const QImage& bitmap)
{
    if (bitmap.isNull())
        throw EInvalidGraphic("Invalid bitmap");
    QImage src;
    TImageFormat format;
    TLogPalette pal{};
    const TLogPalette* palette = nullptr;
    if (bitmap.format() == QImage::Format_Mono || bitmap.format() == QImage::Format_MonoLSB) {
        src = bitmap.convertToFormat(QImage::Format_Mono);
        format = ifBlackWhite;
    } else if (bitmap.format() == QImage::Format_Indexed8) {
        src = bitmap;
        format = ifColor256;
    } else {
        src = bitmap.convertToFormat(QImage::Format_BGR888);
        format = ifTrueColor;
    }
    if (format != ifTrueColor) {
        const QList<QRgb> table = src.colorTable();
        if (!table.isEmpty() && table.size() <= 256) {
            pal.palVersion = 0x300;
            pal.palNumEntries = uint16_t(table.size());
            for (int i = 0; i < table.size(); ++i)
                pal.palPalEntry[i] = TPaletteEntry{uint8_t(qRed(table[i])), uint8_t(qGreen(table[i])),
                                                   uint8_t(qBlue(table[i])), 0};
            palette = &pal;
        }
    }
    auto dpi = [](int ppm) -> uint16_t {
        if (ppm <= 0)
            return 0;
        const int32_t d = PelsPerMeterToDpi(ppm);
        return (d > 65535 || d < 0) ? 0 : uint16_t(d);
    };
    NewImage(src.width(), src.height(), format, palette, dpi(src.dotsPerMeterX()), dpi(src.dotsPerMeterY()));
    const int bytes = std::min<int>(m_scanLineSize, int(src.bytesPerLine()));
    for (int y = 0; y < GetHeight(); ++y)
        std::memcpy(ScanLine(y), src.constScanLine(y), size_t(bytes));
}

void TDibGraphic::PaintOnCanvas(const std::function<void(QPainter&)>& paint)
{
    if (!m_bits || m_imageFormat != ifTrueColor)
        throw EKerbelinError("The image does not have a canvas");
    QImage target(m_bits, GetWidth(), GetHeight(), m_scanLineSize, QImage::Format_BGR888);
    QPainter p(&target);
    p.translate(0, GetHeight());
    p.scale(1, -1);
    paint(p);
}

void TDibGraphic::Assign(const QImage& bitmap) { LoadFromBitmapHandle(bitmap); }

void TDibGraphic::Assign(const TGraphic* source)
{
    if (source == this)
        return;
    const auto* dib = dynamic_cast<const TDibGraphic*>(source);
    if (!source || dib) {
        FreeImage();
        if (dib && dib->GetWidth() > 0 && dib->GetHeight() > 0) {
            NewImage(dib->GetWidth(), dib->GetHeight(), dib->m_imageFormat, &dib->m_logPalette, dib->XDotsPerInch(),
                     dib->YDotsPerInch());
            SetXDotsPerInch(dib->XDotsPerInch());
            SetYDotsPerInch(dib->YDotsPerInch());
            FrameDelay = dib->FrameDelay;
            const int64_t bytes = std::min<int64_t>(int64_t(GetHeight()) * m_scanLineSize,
                                                    int64_t(dib->GetHeight()) * dib->m_scanLineSize);
            std::memcpy(m_bits, dib->m_bits, size_t(bytes));
        }
        return;
    }
    // Any other drawable: rendered onto a black true-colour image.
    const int w = source->GetWidth(), h = source->GetHeight();
    NewImage(w, h, ifTrueColor, nullptr, 0, 0);
    std::memset(m_bits, 0, size_t(int64_t(h) * m_scanLineSize));
    PaintOnCanvas([&](QPainter& p) { const_cast<TGraphic*>(source)->Draw(p, QRect(0, 0, w, h)); });
}

void TDibGraphic::AssignTo(TGraphic& dest)
{
    if (auto* dib = dynamic_cast<TDibGraphic*>(&dest)) {
        dib->Assign(this);
        return;
    }
    throw EKerbelinError(Format("Cannot assign a %s to a %s", "TDibGraphic", dest.ClassName()));
}

void TDibGraphic::SaveToStream(TStream&) {}

int TDibGraphic::GetImageCount(TStream&) { return 1; }

void TDibGraphic::LoadImage(TStream&, int) {}

void TDibGraphic::AppendToStream(TStream&)
{
    throw EKerbelinError(Format("The %s format does not support multiple images", ClassName()));
}

void TDibGraphic::LoadFromStream(TStream& stream)
{
    const bool wasAnimating = m_animate;
    SetAnimate(false);
    try {
        int count = 1;
        int64_t start = 0;
        if (MultiImage) {
            start = stream.Position();
            count = GetImageCount(stream);
            if (count == 1)
                MultiImage = false;
        }
        if (MultiImage) {
            for (int i = 1; i <= count; ++i) {
                std::unique_ptr<TDibGraphic> frame = Create();
                stream.SetPosition(start);
                frame->LoadImage(stream, i);
                m_frames.push_back(std::move(frame));
            }
            ShowFrame(1);
        } else {
            LoadImage(stream, ImageIndex);
        }
    } catch (...) {
        SetAnimate(wasAnimating);
        throw;
    }
    SetAnimate(wasAnimating);
}

void TDibGraphic::ShowFrame(int n)
{
    if (n == m_currentFrame)
        return;
    if (n < 1 || n > FrameCount())
        throw EKerbelinError(Format("Frame %d does not exist", n));
    Assign(m_frames[size_t(n - 1)].get());
    Changed();
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents();
    m_currentFrame = n;
}

void TDibGraphic::FrameTimerTick()
{
    if (m_frames.empty())
        return;
    m_timer->stop();
    try {
        ShowFrame(m_currentFrame == FrameCount() ? 1 : m_currentFrame + 1);
    } catch (...) {
        m_timer->setInterval(FrameDelay);
        m_timer->start();
        throw;
    }
    m_timer->setInterval(FrameDelay);
    m_timer->start();
}

void TDibGraphic::SetAnimate(bool value)
{
    m_animate = value;
    UpdateTimer();
}

void TDibGraphic::UpdateTimer()
{
    const bool run = m_animate && FrameCount() > 0;
    if (run && !m_timer) {
        m_timer = std::make_unique<QTimer>();
        QObject::connect(m_timer.get(), &QTimer::timeout, [this] { FrameTimerTick(); });
    }
    if (!m_timer)
        return;
    if (run && !m_timer->isActive()) {
        m_timer->setInterval(FrameDelay);
        m_timer->start();
    } else if (!run) {
        m_timer->stop();
    }
}
