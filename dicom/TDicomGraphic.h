#pragma once
// One image of a DICOM file as an image-model image: 8-bit grey with a
// 256-entry palette (ifGray256) or 24-bit true colour (ifTrueColor). 16-bit
// samples are mapped linearly from their own range onto palette indices
// (what exports and copies of the image hold); the samples themselves are
// kept too, and drawing and the clipboard show them through the window at
// full depth (TKeptSamples). Other images are windowed through the palette.
//
// Threads: created, given exam presets (ReadExamInfo) and loaded on the case
// loader's thread; after the hand-over only the UI thread calls SetWindow,
// GetWindow, MinValue and MaxValue.
#include "TDibGraphic.h"
#include "EDicomError.h"
#include "Exception.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TDicomStream;
class TKeptSamples;

// The runtime's invalid type cast (a stream that is not a TDicomStream).
CALDRIS_EXCEPTION(EInvalidCast, Exception);
// The runtime's floating-point failures (a rescale slope of 0, a window out of range).
CALDRIS_EXCEPTION(EZeroDivide, Exception);
CALDRIS_EXCEPTION(EInvalidOp, Exception);
// An image whose pixel store would exceed the limit its loader set.
CALDRIS_EXCEPTION(EImageTooLarge, EDicomError);

class TDicomGraphic : public TDibGraphic {
public:
    TDicomGraphic();
    ~TDicomGraphic() override;
    const char* ClassName() const override { return "TDicomGraphic"; }
    std::unique_ptr<TDibGraphic> Create() const override;

    // Writes nothing: DICOM files are only written by copying (SplitImages).
    void SaveToStream(TStream& stream) override;
    void AppendToStream(TStream& stream) override;
    // Images indexed in the stream's ImageList (ScanImages must have run).
    // A stream that is not a TDicomStream raises EInvalidCast.
    int GetImageCount(TStream& stream) override;
    // Image n (from 1, in ImageList order): position 0, then DecodeImage.
    void LoadImage(TStream& stream, int n) override;
    // The inherited NewImage, then the window is reset to 128 / 256 and no
    // samples are kept.
    void NewImage(int width, int height, TImageFormat format, const TLogPalette* palette, uint16_t xDpi,
                  uint16_t yDpi) override;

    // Collects image n's attributes and fills the image from its pixel data.
    void DecodeImage(TDicomStream& stream, int n);
    // Decodes the JPEG data stream at the stream's position into the rows of
    // the image already created (grey or colour, 8 bits per sample).
    void DecodeJpegPixels(TDicomStream& stream);

    // Window in palette units: rewrites the 256-entry grey palette and the
    // colour table only (no pixel copy), and the kept samples' window, so it
    // is cheap enough for every mouse move.
    void SetWindow(int16_t center, int16_t width);

    // A grey 16-bit image with a sample range draws its kept samples.
    void Draw(QPainter& canvas, const QRect& rect) override;
    QImage SaveToClipboardFormat() const override;
    uint64_t HeldBytes() const override;
    bool KeepsSamples() const { return m_kept != nullptr; }
    void GetWindow(int32_t& center, int32_t& width) const;

    // Sample range of a 16-bit image (stored units); 0 for other images.
    // Unsigned samples (Pixel Representation 0) range up to 65535.
    int32_t MinValue() const { return m_minValue; }
    int32_t MaxValue() const { return m_maxValue; }

    // Largest pixel store DecodeImage may create (bytes); a larger image
    // raises EImageTooLarge before any memory is taken.
    void SetStoreLimit(uint64_t bytes) { m_storeLimit = bytes; }

    // Window preset from the exam-information file (stored units; 0 = none).
    int16_t ExamCenter() const { return m_examCenter; }
    int16_t ExamWidth() const { return m_examWidth; }
    void SetExamPreset(int16_t center, int16_t width);

    // A decimal-string value: the text up to the first backslash, blanks
    // trimmed, optional sign, digits with an optional fraction (".5" and "5."
    // too), optional exponent. "40\400" -> 40, "-600" -> -600, "40.5" -> 40.5;
    // any other text (empty, "abc", "1,5", out of range) is no number.
    static std::optional<long double> ParseDecimalString(const std::string& text);

private:
    int32_t m_minValue = 0;
    int32_t m_maxValue = 0;
    int16_t m_windowCenter = 0;
    int16_t m_windowWidth = 0;
    int16_t m_examCenter = 0;
    int16_t m_examWidth = 0;
    uint64_t m_storeLimit = UINT64_MAX;
    std::unique_ptr<TKeptSamples> m_kept;
};
