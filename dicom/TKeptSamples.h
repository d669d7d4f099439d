#pragma once
// The samples of a grey 16-bit image, kept after decoding so that window and
// level are applied at full depth instead of to the 256 palette indices
// (which posterize any narrow window). Samples are stored as their distance
// from the image's smallest sample (0..Range).
//
// Window rule, centre C and width W in palette units (0..255 spans the
// sample range): t = d * 255 / Range, lo = C - W div 2; shown grey 0 at or
// below lo, 255 at or above lo + W, linear in between (rounded); inverted
// (255 - v) for images whose grey scale rises towards black. Before any
// window is set the picture is the decoder's linear map of the range.
//
// Threads: filled on the case loader's thread before the hand-over; after it
// only the UI thread calls SetWindow, Draw and Shown.
#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

class QPainter;

class TKeptSamples {
public:
    // range > 0; width and height > 0. Every sample starts at 0.
    TKeptSamples(int width, int height, int32_t range, bool inverted);

    uint16_t* Row(int y) { return m_samples.data() + size_t(y) * size_t(m_width); }
    uint64_t Bytes() const { return uint64_t(m_samples.size()) * sizeof(uint16_t); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    void SetWindow(int center, int width);

    // The shown grey of a part of the image at full size, top-down Grayscale8.
    QImage Shown(const QRect& part);
    // Draws the image stretched into rect: a reduction at full depth when rect
    // is smaller both ways (kept for that size), else the visible part only.
    void Draw(QPainter& canvas, const QRect& rect);

private:
    const std::vector<uint8_t>& Lut();
    uint8_t WindowedGrey(int32_t d) const;
    void DrawReduced(QPainter& canvas, const QRect& rect);
    QRect VisibleSourcePart(const QPainter& canvas, const QRect& rect) const;

    int m_width;
    int m_height;
    int32_t m_range;
    bool m_inverted;
    std::vector<uint16_t> m_samples;

    bool m_windowed = false;
    int m_center = 0;
    int m_windowWidth = 0;
    std::vector<uint8_t> m_lut; // shown grey per sample distance, 0..Range
    bool m_lutValid = false;

    QSize m_reducedSize;
    std::vector<uint16_t> m_reduced; // full-depth reduction to m_reducedSize
    QImage m_reducedShown;           // its shown grey for the current window
    bool m_reducedShownValid = false;
};
