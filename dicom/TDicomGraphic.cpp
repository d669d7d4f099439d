#include "TDicomGraphic.h"

#include "EDicomError.h"
#include "Format.h"
#include "Jpeg12Decoder.h"
#include "MulDiv.h"
#include "TDicomStream.h"
#include "TJpegReader.h"
#include "TKeptSamples.h"
#include "TNegativeTransform.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kMaxText = 255;
// Largest pixel store made for an image whose uncompressed pixel data cannot
// fill it: far beyond any real image of a case.
constexpr uint64_t kUnfilledStoreCap = uint64_t(1) << 28;

enum class TPhotometric { Monochrome1, Monochrome2 };

struct TImageAttributes {
    uint16_t rows = 0;
    uint16_t columns = 0;
    uint16_t bitsAllocated = 8;
    uint16_t samplesPerPixel = 1;
    TPhotometric photometric = TPhotometric::Monochrome2;
    uint16_t planarConfiguration = 0;
    uint16_t pixelRepresentation = 1; // 0: unsigned samples
    float rescaleIntercept = 0.0f;
    float rescaleSlope = 1.0f;
    std::optional<long double> windowCenter;
    std::optional<long double> windowWidth;
    bool hasPixelData = false;
    int64_t pixelPosition = 0;
    uint32_t pixelLength = 0;
    bool compressed = false;
    uint16_t shift = 0;
    uint16_t offset = 0;
};

// A text value: the value's own bytes up to the first NUL, at most 255
// characters; the position ends after the whole value and its pad byte.
std::string ReadText(TDicomStream& stream, uint32_t length)
{
    const int64_t start = stream.Position();
    char buf[kMaxText];
    const int64_t got = std::max<int64_t>(0, stream.Read(buf, std::min<int64_t>(length, int64_t(kMaxText))));
    const size_t size = size_t(got);
    const size_t end = size_t(std::find(buf, buf + size, '\0') - buf);
    stream.SetPosition(start);
    stream.SkipValue(length);
    return std::string(buf, end);
}

// Decimal number with a full stop whatever the locale, after removing leading
// and trailing blanks and control characters; kept in single precision.
float ParseRescale(const std::string& text)
{
    size_t b = 0, e = text.size();
    while (b < e && uint8_t(text[b]) <= ' ')
        ++b;
    while (e > b && uint8_t(text[e - 1]) <= ' ')
        --e;
    const char* first = text.data() + b;
    const char* last = text.data() + e;
    const char* digits = (first < last && *first == '+') ? first + 1 : first;
    long double value = 0;
    const auto r = std::from_chars(digits, last, value);
    // from_chars would also take "inf" and "nan"; those are no numbers here.
    if (first == last || r.ec != std::errc() || r.ptr != last || !std::isfinite(value) ||
        std::fabs(value) > std::numeric_limits<float>::max())
        throw EConvertError(Format("'%s' is not a valid floating point value", std::string(first, last).c_str()));
    return float(value);
}

// round((value - intercept) / slope) to the nearest integer, halves to even.
int32_t RescaledRound(long double value, long double intercept, long double slope)
{
    if (slope == 0)
        throw EZeroDivide("Floating point division by zero");
    const long double r = std::nearbyint((value - intercept) / slope);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
        throw EInvalidOp("Invalid floating point operation");
    return int32_t(r);
}

int16_t ToInt16(int32_t v)
{
    return int16_t(std::clamp<int32_t>(v, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

// The bytes of the pixel data value that the file holds, in the stream's memory.
struct TPixelBytes {
    const uint8_t* data = nullptr;
    int64_t size = 0;
};

// 16-bit samples in memory, mapped row by row from the image's top-left.
struct TSampleRun {
    const uint8_t* bytes = nullptr;
    size_t count = 0;  // samples
    size_t width = 0;  // samples per row
    bool little = true;
    bool isUnsigned = false;
};

TPixelBytes PixelBytes(TDicomStream& stream, const TImageAttributes& a)
{
    TPixelBytes p;
    p.size = a.hasPixelData ? int64_t(a.pixelLength) : 0;
    p.data = stream.Bytes(a.pixelPosition, p.size);
    return p;
}

void CollectAttributes(TDicomStream& stream, TImageAttributes& a)
{
    uint32_t tag, length;
    while (stream.ReadElementHeader(tag, length)) {
        if (tag == DicomTag::ItemDelimitation)
            break;
        uint16_t word;
        switch (tag) {
        case DicomTag::Rows:
            if (stream.ReadWord(word))
                a.rows = word;
            continue; // a 16-bit number: the walk goes on right after it
        case DicomTag::Columns:
            if (stream.ReadWord(word))
                a.columns = word;
            continue;
        case DicomTag::BitsAllocated:
            if (stream.ReadWord(word))
                a.bitsAllocated = word;
            continue;
        case DicomTag::SamplesPerPixel:
            if (stream.ReadWord(word))
                a.samplesPerPixel = word;
            continue;
        case DicomTag::PlanarConfiguration:
            if (stream.ReadWord(word))
                a.planarConfiguration = word;
            continue;
        case DicomTag::PixelRepresentation:
            if (stream.ReadWord(word))
                a.pixelRepresentation = word;
            continue;
        case DicomTag::PrivateCompressedShift1:
        case DicomTag::PrivateCompressedShift10:
            a.compressed = true;
            if (stream.ReadWord(word))
                a.shift = word;
            continue;
        case DicomTag::PrivateSampleOffset:
            if (stream.ReadWord(word))
                a.offset = word;
            continue;
        case DicomTag::PhotometricInterpretation: {
            // Conforming files pad the 11 letters of MONOCHROME1 with a blank.
            std::string text = ReadText(stream, length);
            text.erase(text.find_last_not_of(' ') + 1);
            if (text == "MONOCHROME1")
                a.photometric = TPhotometric::Monochrome1;
            else if (text == "MONOCHROME2")
                a.photometric = TPhotometric::Monochrome2;
            continue;
        }
        case DicomTag::RescaleIntercept:
            a.rescaleIntercept = ParseRescale(ReadText(stream, length));
            continue;
        case DicomTag::RescaleSlope:
            a.rescaleSlope = ParseRescale(ReadText(stream, length));
            continue;
        case DicomTag::WindowCenter:
            a.windowCenter = TDicomGraphic::ParseDecimalString(ReadText(stream, length));
            continue;
        case DicomTag::WindowWidth:
            a.windowWidth = TDicomGraphic::ParseDecimalString(ReadText(stream, length));
            continue;
        case DicomTag::PixelData:
            a.hasPixelData = true;
            a.pixelPosition = stream.Position();
            a.pixelLength = length;
            break;
        default:
            break;
        }
        stream.SkipValue(length);
    }
}

// A 16-bit sample as a number: stored byte order, signed or not.
template <bool kLittle, bool kUnsigned>
inline int32_t Sample(const uint8_t* p, size_t i)
{
    uint16_t raw;
    std::memcpy(&raw, p + 2 * i, 2);
    if constexpr ((std::endian::native == std::endian::little) != kLittle)
        raw = uint16_t(raw >> 8 | raw << 8);
    if constexpr (kUnsigned)
        return int32_t(raw);
    else
        return int32_t(int16_t(raw));
}

// Minimum and maximum of count samples, as two independent tests per sample
// starting from lo and hi. Unsigned samples are compared biased into the
// signed range, so both kinds run on 16-bit lanes.
template <bool kLittle, bool kUnsigned>
void RangeOf(const uint8_t* p, size_t count, int32_t& lo, int32_t& hi)
{
    constexpr uint16_t kBias = kUnsigned ? 0x8000 : 0;
    int16_t mn = int16_t(uint16_t(lo) ^ kBias);
    int16_t mx = int16_t(uint16_t(hi) ^ kBias);
    for (size_t i = 0; i < count; ++i) {
        const int16_t v = int16_t(uint16_t(Sample<kLittle, true>(p, i)) ^ kBias);
        mn = v < mn ? v : mn;
        mx = v > mx ? v : mx;
    }
    lo = kUnsigned ? int32_t(uint16_t(mn) ^ kBias) : mn;
    hi = kUnsigned ? int32_t(uint16_t(mx) ^ kBias) : mx;
}

// Palette indices through the table and, when kept is given, the samples'
// distances from the smallest one.
template <bool kLittle, bool kUnsigned>
void MapRow(const uint8_t* in, size_t len, int32_t lo, const uint8_t* table, uint8_t* out, uint16_t* kept)
{
    if (!kept) {
        for (size_t x = 0; x < len; ++x)
            out[x] = table[Sample<kLittle, kUnsigned>(in, x) - lo];
        return;
    }
    for (size_t x = 0; x < len; ++x) {
        const int32_t d = Sample<kLittle, kUnsigned>(in, x) - lo;
        out[x] = table[d];
        kept[x] = uint16_t(d);
    }
}

void SampleRange(const TSampleRun& run, int32_t& lo, int32_t& hi)
{
    if (run.little && !run.isUnsigned)
        RangeOf<true, false>(run.bytes, run.count, lo, hi);
    else if (run.little)
        RangeOf<true, true>(run.bytes, run.count, lo, hi);
    else if (!run.isUnsigned)
        RangeOf<false, false>(run.bytes, run.count, lo, hi);
    else
        RangeOf<false, true>(run.bytes, run.count, lo, hi);
}

std::unique_ptr<int16_t[]> DecodeCompressed16(const TPixelBytes& in, const TImageAttributes& a, TSampleRun& run)
{
    // The samples follow the frame, which may not exceed the header's image.
    TJpeg12Decoder decoder(in.data, uint32_t(in.size));
    decoder.ReadHeader(a.columns, a.rows);
    const size_t rows = size_t(std::max(decoder.FrameHeight(), 0));
    const size_t columns = size_t(std::max(decoder.FrameWidth(), 0));
    const size_t count = rows * columns;
    // Not zero-filled: the decoder writes every row of its frame.
    std::unique_ptr<int16_t[]> samples(new int16_t[std::max<size_t>(count, 1)]);
    decoder.Decode(samples.get(), int(rows), int(columns));
    int16_t* s = samples.get();
    if (a.shift != 0) {
        const unsigned bits = a.shift % 32;
        for (size_t i = 0; i < count; ++i)
            s[i] = int16_t(uint16_t(uint32_t(int32_t(s[i])) >> bits));
    }
    if (a.offset != 0) {
        for (size_t i = 0; i < count; ++i)
            s[i] = int16_t(uint16_t(uint16_t(s[i]) - a.offset));
    }
    run.bytes = reinterpret_cast<const uint8_t*>(s);
    run.count = count;
    run.width = columns;
    run.little = std::endian::native == std::endian::little;
    run.isUnsigned = false; // decoded samples are signed whatever the file says
    return samples;
}

} // namespace

std::unique_ptr<TDibGraphic> TDicomGraphic::Create() const { return std::make_unique<TDicomGraphic>(); }

TDicomGraphic::TDicomGraphic() = default;
TDicomGraphic::~TDicomGraphic() = default;

void TDicomGraphic::SaveToStream(TStream&) {}

void TDicomGraphic::AppendToStream(TStream& stream)
{
    if (stream.Size() > 0)
        stream.SetPosition(0);
}

int TDicomGraphic::GetImageCount(TStream& stream)
{
    auto* dicom = dynamic_cast<TDicomStream*>(&stream);
    if (!dicom)
        throw EInvalidCast("Invalid class typecast");
    return dicom->ImageList.Count();
}

void TDicomGraphic::LoadImage(TStream& stream, int n)
{
    auto* dicom = dynamic_cast<TDicomStream*>(&stream);
    if (!dicom)
        throw EInvalidCast("Invalid class typecast");
    dicom->SetPosition(0);
    DecodeImage(*dicom, n);
}

void TDicomGraphic::NewImage(int width, int height, TImageFormat format, const TLogPalette* palette, uint16_t xDpi,
                             uint16_t yDpi)
{
    m_kept.reset();
    TDibGraphic::NewImage(width, height, format, palette, xDpi, yDpi);
    m_windowCenter = 128;
    m_windowWidth = 256;
}

void TDicomGraphic::SetExamPreset(int16_t center, int16_t width)
{
    m_examCenter = center;
    m_examWidth = width;
}

std::optional<long double> TDicomGraphic::ParseDecimalString(const std::string& text)
{
    const std::string_view all(text);
    std::string_view v = all.substr(0, all.find('\\'));
    while (!v.empty() && uint8_t(v.front()) <= ' ')
        v.remove_prefix(1);
    while (!v.empty() && uint8_t(v.back()) <= ' ')
        v.remove_suffix(1);
    // The grammar is checked here, since the conversion below would also
    // take "inf", "nan" and hexadecimal forms.
    size_t i = 0;
    auto digits = [&] {
        const size_t from = i;
        while (i < v.size() && v[i] >= '0' && v[i] <= '9')
            ++i;
        return i - from;
    };
    const bool plus = i < v.size() && v[i] == '+';
    if (i < v.size() && (v[i] == '+' || v[i] == '-'))
        ++i;
    size_t mantissa = digits();
    if (i < v.size() && v[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return std::nullopt;
    if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
        ++i;
        if (i < v.size() && (v[i] == '+' || v[i] == '-'))
            ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    if (i != v.size())
        return std::nullopt;
    const char* first = v.data() + (plus ? 1 : 0);
    long double value = 0;
    const auto r = std::from_chars(first, v.data() + v.size(), value);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

void TDicomGraphic::GetWindow(int32_t& center, int32_t& width) const
{
    center = m_windowCenter;
    width = m_windowWidth;
}

void TDicomGraphic::SetWindow(int16_t center, int16_t width)
{
    m_windowCenter = center;
    m_windowWidth = width;
    const int32_t lo = int32_t(center) - int32_t(width) / 2;
    const int32_t hi = lo + width;
    TLogPalette* pal = LogPalette();
    const int entries = std::min<int>(pal->palNumEntries, 256);
    for (int i = 0; i < entries; ++i) {
        uint8_t v;
        if (i <= lo)
            v = 0;
        else if (i >= hi)
            v = 255;
        else
            v = uint8_t(MulDiv(i - lo, 255, m_windowWidth));
        pal->palPalEntry[i].peRed = v;
        pal->palPalEntry[i].peGreen = v;
        pal->palPalEntry[i].peBlue = v;
    }
    RebuildPixelStore();
    if (m_kept)
        m_kept->SetWindow(center, width);
}

void TDicomGraphic::Draw(QPainter& canvas, const QRect& rect)
{
    if (!m_kept) {
        TDibGraphic::Draw(canvas, rect);
        return;
    }
    m_kept->Draw(canvas, rect);
    if (OnAfterDraw)
        OnAfterDraw(this);
}

QImage TDicomGraphic::SaveToClipboardFormat() const
{
    if (!m_kept)
        return TDibGraphic::SaveToClipboardFormat();
    QImage out = m_kept->Shown(QRect(0, 0, GetWidth(), GetHeight())).convertToFormat(QImage::Format_RGB32);
    out.setDotsPerMeterX(m_info.bmiHeader.biXPelsPerMeter);
    out.setDotsPerMeterY(m_info.bmiHeader.biYPelsPerMeter);
    return out;
}

uint64_t TDicomGraphic::HeldBytes() const { return TDibGraphic::HeldBytes() + (m_kept ? m_kept->Bytes() : 0); }

namespace {

void CreateStore(TDicomGraphic& image, TDicomStream& stream, const TImageAttributes& a, bool trueColor, uint32_t bitCount,
                 uint64_t storeLimit)
{
    const uint64_t stride = (uint64_t(a.columns) * (trueColor ? 24 : 8) + 31) / 32 * 4;
    const uint64_t store = stride * a.rows;
    // A grey 16-bit image keeps its samples beside the store.
    const uint64_t kept = !trueColor && bitCount == 16 ? uint64_t(a.columns) * a.rows * sizeof(uint16_t) : 0;
    if (store + kept > storeLimit)
        throw EImageTooLarge("EImageTooLarge Not enough memory for the image.");
    // Uncompressed data must be able to fill a store beyond the cap; a JPEG
    // frame is checked against the image by its codec instead.
    const uint64_t needed = uint64_t(a.columns) * a.rows * (trueColor ? 3 : bitCount / 8);
    const bool filled = a.compressed || (a.hasPixelData && uint64_t(PixelBytes(stream, a).size) >= needed);
    if (store > kUnfilledStoreCap && !filled)
        RaiseDicomError("Pixel data too short for the image size.");
    image.NewImage(a.columns, a.rows, trueColor ? ifTrueColor : ifGray256, trueColor ? nullptr : DefaultPalette(ifGray256),
             0, 0);
}

void DecodeColour(TDicomGraphic& image, TDicomStream& stream, const TImageAttributes& a)
{
    stream.SetPosition(a.pixelPosition);
    if (a.compressed) {
        image.DecodeJpegPixels(stream);
        return;
    }
    const TPixelBytes in = PixelBytes(stream, a);
    const size_t rows = a.rows, columns = a.columns;
    if (a.planarConfiguration != 0) {
        // Red, green and blue planes into bytes 2, 1 and 0 of each pixel.
        const size_t plane = rows * columns;
        for (size_t p = 0; p < 3; ++p) {
            const size_t byteInPixel = 2 - p;
            for (size_t y = 0; y < rows; ++y) {
                const int64_t from = int64_t(p * plane + y * columns);
                const size_t got = size_t(std::clamp<int64_t>(in.size - from, 0, int64_t(columns)));
                const uint8_t* src = in.data + from;
                uint8_t* row = image.ScanLine(int(y));
                for (size_t x = 0; x < got; ++x)
                    row[3 * x + byteInPixel] = src[x];
            }
        }
        return;
    }
    const size_t rowBytes = columns * 3;
    for (size_t y = 0; y < rows; ++y) {
        const int64_t from = int64_t(y * rowBytes);
        const size_t got = size_t(std::clamp<int64_t>(in.size - from, 0, int64_t(rowBytes))) / 3 * 3;
        const uint8_t* src = in.data + from;
        uint8_t* row = image.ScanLine(int(y));
        for (size_t x = 0; x < got; x += 3) {
            row[x] = src[x + 2];
            row[x + 1] = src[x + 1];
            row[x + 2] = src[x];
        }
        // A last partial pixel: its bytes as they are.
        const size_t rest = size_t(std::clamp<int64_t>(in.size - from, 0, int64_t(rowBytes))) - got;
        if (rest > 0)
            std::memcpy(row + got, src + got, rest);
    }
}

void DecodeGray8(TDicomGraphic& image, TDicomStream& stream, const TImageAttributes& a)
{
    stream.SetPosition(a.pixelPosition);
    if (a.compressed) {
        image.DecodeJpegPixels(stream);
        return;
    }
    const TPixelBytes in = PixelBytes(stream, a);
    const size_t columns = a.columns;
    for (size_t y = 0; y < a.rows; ++y) {
        const int64_t from = int64_t(y * columns);
        const size_t got = size_t(std::clamp<int64_t>(in.size - from, 0, int64_t(columns)));
        if (got > 0)
            std::memcpy(image.ScanLine(int(y)), in.data + from, got);
    }
}

void MapSamples(TDicomGraphic& image, const TSampleRun& run, int32_t lo, int32_t range, TKeptSamples* kept)
{
    // One MulDiv per value present, then one look-up per sample.
    std::vector<uint8_t> table(size_t(range) + 1);
    table[0] = 0;
    for (int32_t v = 1; v < range; ++v)
        table[size_t(v)] = uint8_t(MulDiv(v, 255, range));
    if (range > 0)
        table[size_t(range)] = 255;
    const size_t width = run.width;
    for (size_t y = 0; width > 0 && y * width < run.count && y < size_t(image.GetHeight()); ++y) {
        const size_t len = std::min(width, run.count - y * width);
        const uint8_t* in = run.bytes + 2 * y * width;
        uint8_t* out = image.ScanLine(int(y));
        uint16_t* keptRow = kept ? kept->Row(int(y)) : nullptr;
        if (run.little && !run.isUnsigned)
            MapRow<true, false>(in, len, lo, table.data(), out, keptRow);
        else if (run.little)
            MapRow<true, true>(in, len, lo, table.data(), out, keptRow);
        else if (!run.isUnsigned)
            MapRow<false, false>(in, len, lo, table.data(), out, keptRow);
        else
            MapRow<false, true>(in, len, lo, table.data(), out, keptRow);
    }
}

void ApplyWindow(TDicomGraphic& image, const TImageAttributes& a, int32_t lo, int32_t range)
{
    if (image.ExamCenter() != 0 && image.ExamWidth() != 0) {
        image.SetWindow(ToInt16(MulDiv(int32_t(image.ExamCenter()) - lo, 255, range)), ToInt16(MulDiv(image.ExamWidth(), 255, range)));
    } else if (a.windowCenter && a.windowWidth && *a.windowWidth > 0) {
        const int32_t c = RescaledRound(*a.windowCenter, a.rescaleIntercept, a.rescaleSlope);
        const int32_t w = RescaledRound(*a.windowWidth, 0, a.rescaleSlope);
        const int32_t centerFromMin = int32_t(uint32_t(c) - uint32_t(lo)); // 32-bit wrap, never UB
        image.SetWindow(ToInt16(MulDiv(centerFromMin, 255, range)), ToInt16(MulDiv(w, 255, range)));
    }
}

// Maps the samples onto palette indices; returns them kept for drawing at
// full depth when they span a range (a window needs one).
std::unique_ptr<TKeptSamples> DecodeGray16(TDicomGraphic& image, TDicomStream& stream, const TImageAttributes& a,
                                           int32_t& lo, int32_t& hi)
{
    // The samples as one contiguous run mapped row by row from the top-left:
    // the file's own bytes when uncompressed, the decoded grid otherwise.
    TSampleRun run;
    std::unique_ptr<int16_t[]> decoded;
    const TPixelBytes in = PixelBytes(stream, a);
    if (a.compressed) {
        decoded = DecodeCompressed16(in, a, run);
    } else {
        run.bytes = in.data;
        run.count = std::min(size_t(a.rows) * a.columns, size_t(in.size / 2));
        run.width = a.columns;
        run.little = stream.LittleEndian;
        run.isUnsigned = a.pixelRepresentation == 0;
    }

    lo = run.isUnsigned ? 65535 : 32000;
    hi = run.isUnsigned ? 0 : -32000;
    SampleRange(run, lo, hi);
    const int32_t range = hi - lo;
    std::unique_ptr<TKeptSamples> kept;
    if (range > 0 && image.GetWidth() > 0 && image.GetHeight() > 0)
        kept = std::make_unique<TKeptSamples>(image.GetWidth(), image.GetHeight(), range,
                                              a.photometric == TPhotometric::Monochrome1);
    if (range >= 0)
        MapSamples(image, run, lo, range, kept.get());
    return kept;
}

} // namespace

void TDicomGraphic::DecodeImage(TDicomStream& stream, int n)
{
    if (n < 1 || n > stream.ImageList.Count())
        RaiseDicomError(Format("Image %d does not exist.", n));
    stream.SetPosition(stream.ImageList.Position(n - 1));

    TImageAttributes a;
    CollectAttributes(stream, a);

    if (a.samplesPerPixel == 0)
        a.samplesPerPixel = 1;
    uint32_t bitCount = uint32_t(a.bitsAllocated) * a.samplesPerPixel;
    if (bitCount > 24)
        bitCount = 24;
    if (bitCount != 8 && bitCount != 16 && bitCount != 24)
        RaiseDicomError(Format("Unsupported bit count: %u", bitCount));

    m_minValue = 0;
    m_maxValue = 0;
    const bool trueColor = a.samplesPerPixel == 3;
    // ImageList entries always lead to pixel data; a value cut away by the
    // item delimiter leaves nothing to decode.
    if (!a.hasPixelData && (trueColor || bitCount != 24))
        RaiseDicomError("No pixel data.");
    CreateStore(*this, stream, a, trueColor, bitCount, m_storeLimit);

    if (trueColor) {
        DecodeColour(*this, stream, a);
    } else if (bitCount == 8) {
        DecodeGray8(*this, stream, a);
    } else if (bitCount == 16) {
        int32_t lo = 0, hi = 0;
        std::unique_ptr<TKeptSamples> kept = DecodeGray16(*this, stream, a, lo, hi);
        m_minValue = lo;
        m_maxValue = hi;
        m_kept = std::move(kept);
        ApplyWindow(*this, a, lo, hi - lo);
    }
    // bitCount 24 with other than three samples: the new image stays as created.

    if (a.photometric == TPhotometric::Monochrome1) {
        TNegativeTransform negative;
        negative.Apply(*this);
    }
}

void TDicomGraphic::DecodeJpegPixels(TDicomStream& stream)
{
    TJpegReader reader(stream);
    reader.LimitFrame(GetWidth(), GetHeight());
    reader.ReadHeader(true); // colour rows arrive in the image model's order
    reader.StartDecompress();
    const int components = reader.OutputComponents();
    if (components != 1 && components != 3)
        throw EDicomError(Format("Invalid number of samples, %d", components));

    const int width = reader.OutputWidth();
    const int height = reader.OutputHeight();
    const size_t decodedBytes = size_t(width) * size_t(components);
    const size_t rowCapacity = size_t(GetWidth()) * (ImageFormat() == ifTrueColor ? 3 : 1);
    // Rows that do not fit the image go through a scratch row and are cut.
    std::vector<uint8_t> scratch;
    if (decodedBytes > rowCapacity || height > GetHeight())
        scratch.resize(decodedBytes);
    for (int y = 0; y < height; ++y) {
        const bool direct = y < GetHeight() && decodedBytes <= rowCapacity;
        uint8_t* row = direct ? ScanLine(y) : scratch.data();
        reader.ReadScanline(row);
        if (!direct && y < GetHeight())
            std::memcpy(ScanLine(y), scratch.data(), std::min(decodedBytes, rowCapacity));
    }
    reader.FinishDecompress();
}
