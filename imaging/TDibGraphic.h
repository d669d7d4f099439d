#pragma once
// The one in-memory raster image: a device-independent bitmap of 1, 4, 8 or
// 24 bits per pixel, rows stored bottom-up and padded to 4 bytes, with a
// 256-entry colour table (blue, green, red, 0) and a logical palette.
//
// Threads: an image belongs to one thread at a time. Decoders build images on
// the case loader thread and hand them over; from then on only the UI thread
// draws, assigns or exports them. Frames, ShowFrame and animation are UI-thread
// only (they process pending UI events).
//
// Drawing needs no conversion: a QImage view over the pixel memory is kept and
// only its colour table is replaced when the palette changes, so window and
// level (a palette rewrite) never copy pixels.
#include "TGraphic.h"
#include "TImageFormat.h"
#include "TLogPalette.h"
#include "TRgbToPaletteConverter.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

// The 40-byte bitmap info header fields and the colour table.
struct TBitmapInfoHeader {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

struct TRgbQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

struct TBitmapInfo {
    TBitmapInfoHeader bmiHeader;
    TRgbQuad bmiColors[256];
};

// Pixels per metre for a dpi value and back, nearest integer, halves to even.
int32_t DpiToPelsPerMeter(uint16_t dpi);
int32_t PelsPerMeterToDpi(int32_t pelsPerMeter);

class TDibGraphic : public TGraphic {
public:
    TDibGraphic();
    ~TDibGraphic() override;
    TDibGraphic(const TDibGraphic&) = delete;
    TDibGraphic& operator=(const TDibGraphic&) = delete;

    const char* ClassName() const override { return "TDibGraphic"; }
    // Virtual constructor: a new, empty image of the same class.
    virtual std::unique_ptr<TDibGraphic> Create() const;

    void AssignTo(TGraphic& dest) override;
    void Assign(const TGraphic* source) override;
    // Assign from a toolkit bitmap.
    void Assign(const QImage& bitmap);
    void Draw(QPainter& canvas, const QRect& rect) override;
    bool GetEmpty() const override { return !m_bits; }
    int GetHeight() const override { return m_info.bmiHeader.biHeight; }
    int GetWidth() const override { return m_info.bmiHeader.biWidth; }
    void SetHeight(int value) override;
    void SetWidth(int value) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(const QImage& image) override;
    // The displayed colours as a top-down RGB32 image (null for an empty image).
    QImage SaveToClipboardFormat() const override;

    // Bytes of image memory held (the pixel store and what a subclass keeps
    // beside it), as a case's memory budget counts them.
    virtual uint64_t HeldBytes() const { return uint64_t(m_scanLineSize) * uint64_t(GetHeight()); }

    virtual int GetImageCount(TStream& stream);
    virtual void LoadImage(TStream& stream, int index);
    virtual void AppendToStream(TStream& stream);
    virtual void NewImage(int width, int height, TImageFormat format, const TLogPalette* palette, uint16_t xDpi,
                          uint16_t yDpi);
    void FreeImage();

    uint8_t* Bits() const { return m_bits; }
    // Row counted from the top (0 based); no range check.
    uint8_t* ScanLine(int row) const
    {
        return m_bits + ptrdiff_t(m_info.bmiHeader.biHeight - 1 - row) * m_scanLineSize;
    }
    int ScanLineSize() const { return m_scanLineSize; }
    TImageFormat ImageFormat() const { return m_imageFormat; }
    TLogPalette* LogPalette() { return &m_logPalette; }
    const TLogPalette* LogPalette() const { return &m_logPalette; }
    const TBitmapInfo& BitmapInfo() const { return m_info; }

    uint32_t GetPixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t color);
    int GetPixelIndex(int x, int y) const;
    void SetPixelIndex(int x, int y, int index);

    uint16_t XDotsPerInch() const;
    uint16_t YDotsPerInch() const;
    void SetXDotsPerInch(uint16_t dpi);
    void SetYDotsPerInch(uint16_t dpi);

    // The colour table as drawn; empty for ifTrueColor.
    const QList<QRgb>& PaletteHandle();
    // After pixels were changed in place through Bits or ScanLine once the
    // image may have been drawn: drawing caches are made anew.
    void PixelsChanged();
    // After a rewrite of LogPalette's entries: the colour table follows them.
    // The pixels stay where they are.
    void RebuildPixelStore();
    // Made at the first use on a palette image (8 KiB of cache that most
    // images, never written pixel by pixel, do without); null for true colour.
    TRgbToPaletteConverter* Converter() const;

    // Builds the image from a toolkit bitmap.
    void LoadFromBitmapHandle(const QImage& bitmap);
    // Paints with a QPainter straight into the pixel store (true colour only).
    void PaintOnCanvas(const std::function<void(QPainter&)>& paint);

    int FrameCount() const { return int(m_frames.size()); }
    std::vector<std::unique_ptr<TDibGraphic>>& Frames() { return m_frames; }
    void ShowFrame(int n);
    int CurrentFrame() const { return m_currentFrame; }
    bool Animate() const { return m_animate; }
    void SetAnimate(bool value);

    int ImageIndex = 1;
    bool MultiImage = false;
    int FrameDelay = 200;
    std::function<void(TDibGraphic*)> OnAfterDraw;

protected:
    uint8_t* m_bits = nullptr;
    TBitmapInfo m_info{};
    TLogPalette m_logPalette{};
    int m_scanLineSize = 0;
    TImageFormat m_imageFormat = ifBlackWhite;

private:
    using PixelReader = uint32_t (*)(const uint8_t* row, int x);
    using PixelWriter = void (*)(uint8_t* row, int x, uint32_t value);

    void SyncView();
    void FrameTimerTick();
    void UpdateTimer();

    struct StoreDeleter {
        size_t bytes;
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t, StoreDeleter> m_store;
    PixelReader m_readPixel = nullptr;
    PixelWriter m_writePixel = nullptr;
    mutable std::unique_ptr<TRgbToPaletteConverter> m_converter;
    QImage m_view;             // over m_store, rows in memory order (upside down)
    QList<QRgb> m_colorTable;  // from the colour table
    QImage m_reduced;          // grey pixels reduced to the last smaller drawing size
    uint64_t m_generation = 0; // counts pixel store changes
    uint64_t m_reducedGeneration = ~uint64_t(0);
    std::vector<std::unique_ptr<TDibGraphic>> m_frames;
    std::unique_ptr<QTimer> m_timer;
    bool m_animate = false;
    int m_currentFrame = -1;
};
