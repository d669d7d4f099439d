#include "TDicomGraphic.h"

#include "EDicomError.h"
#include "Format.h"
#include "Jpeg12Decoder.h"
#include "MulDiv.h"
#include "TDicomStream.h"
#include "TJpegReader.h"
#include "TNegativeTransform.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace {

// Working memory of the decodes on one thread, kept between images of the
// usual sizes and given back when an unusually large image is done.
class ScratchBuffer {
public:
    uint8_t* Get(size_t bytes)
    {
        if (m_data.size() < bytes)
            m_data = std::vector<uint8_t>(bytes);
        return m_data.data();
    }
    void Release()
    {
        if (m_data.size() > kKeep)
            m_data = std::vector<uint8_t>();
    }

private:
    static constexpr size_t kKeep = 32u << 20;
    std::vector<uint8_t> m_data;
};

// Gives an unusually large buffer back on every way out of a decode.
struct ScratchRelease {
    ScratchBuffer& buffer;
    ~ScratchRelease() { buffer.Release(); }
};

ScratchBuffer& Scratch(int slot)
{
    thread_local ScratchBuffer buffers[2];
    return buffers[slot];
}

constexpr size_t kMaxText = 255;

enum class TPhotometric { Monochrome1, Monochrome2 };

struct TImageAttributes {
    uint16_t rows = 0;
    uint16_t columns = 0;
    uint16_t bitsAllocated = 8;
    uint16_t samplesPerPixel = 1;
    TPhotometric photometric = TPhotometric::Monochrome2;
    uint16_t planarConfiguration = 0;
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

// Bytes of the pixel data value that the file still holds from the position.
int64_t AvailablePixelBytes(TDicomStream& stream, uint32_t length)
{
    return std::max<int64_t>(0, std::min<int64_t>(length, stream.Size() - stream.Position()));
}

// Reads up to count bytes, never more than remain of the pixel data value.
int64_t ReadPixelBytes(TDicomStream& stream, void* buffer, int64_t count, int64_t& remaining)
{
    const int64_t want = std::min(count, remaining);
    if (want <= 0)
        return 0;
    const int64_t got = std::max<int64_t>(0, stream.Read(buffer, want));
    remaining -= got;
    return got;
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

} // namespace

std::unique_ptr<TDibGraphic> TDicomGraphic::Create() const { return std::make_unique<TDicomGraphic>(); }

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
}

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
    NewImage(a.columns, a.rows, trueColor ? ifTrueColor : ifGray256, trueColor ? nullptr : DefaultPalette(ifGray256),
             0, 0);

    // ImageList entries always lead to pixel data; a value cut away by the
    // item delimiter leaves nothing to decode.
    if (!a.hasPixelData && (trueColor || bitCount != 24))
        RaiseDicomError("No pixel data.");

    const int rows = a.rows, columns = a.columns;
    if (trueColor) {
        stream.SetPosition(a.pixelPosition);
        if (a.compressed) {
            DecodeJpegPixels(stream);
        } else if (a.planarConfiguration != 0) {
            int64_t remaining = AvailablePixelBytes(stream, a.pixelLength);
            std::vector<uint8_t> plane(size_t(columns), 0);
            for (int p = 0; p < 3; ++p) {
                const int byteInPixel = 2 - p; // red, green, blue planes into bytes 2, 1, 0
                for (int y = 0; y < rows; ++y) {
                    const int64_t got = ReadPixelBytes(stream, plane.data(), columns, remaining);
                    uint8_t* row = ScanLine(y);
                    for (int64_t x = 0; x < got; ++x)
                        row[3 * x + byteInPixel] = plane[size_t(x)];
                }
            }
        } else {
            int64_t remaining = AvailablePixelBytes(stream, a.pixelLength);
            for (int y = 0; y < rows; ++y) {
                uint8_t* row = ScanLine(y);
                const int64_t got = ReadPixelBytes(stream, row, int64_t(columns) * 3, remaining);
                SwapRedBlue(row, size_t(got));
            }
        }
    } else if (bitCount == 8) {
        stream.SetPosition(a.pixelPosition);
        if (a.compressed) {
            DecodeJpegPixels(stream);
        } else {
            int64_t remaining = AvailablePixelBytes(stream, a.pixelLength);
            for (int y = 0; y < rows; ++y)
                ReadPixelBytes(stream, ScanLine(y), columns, remaining);
        }
    } else if (bitCount == 16) {
        stream.SetPosition(a.pixelPosition);
        int64_t remaining = AvailablePixelBytes(stream, a.pixelLength);
        // Reused across the decodes of this thread: a fresh buffer per image
        // would cost a page fault per 4 KiB every time.
        ScratchBuffer& sampleScratch = Scratch(0);
        const ScratchRelease releaseSamples{sampleScratch};
        int16_t* samples = nullptr;
        // Samples that exist, validColumns to a row: the first validRows rows,
        // plus a partial row of lastRowColumns (short uncompressed data).
        int validRows = 0, validColumns = columns, lastRowColumns = 0;

        if (a.compressed) {
            ScratchBuffer& input = Scratch(1);
            const ScratchRelease releaseInput{input};
            const int64_t length = remaining;
            uint8_t* data = input.Get(static_cast<size_t>(length));
            std::memset(data, 0, size_t(length)); // as the codec would see a short read
            ReadPixelBytes(stream, data, length, remaining);
            // The samples follow the frame, which may not exceed the header's image.
            TJpeg12Decoder decoder(data, uint32_t(length));
            decoder.ReadHeader(columns, rows);
            validRows = decoder.FrameHeight();
            validColumns = decoder.FrameWidth();
            const size_t frame = size_t(validRows) * size_t(validColumns);
            samples = reinterpret_cast<int16_t*>(sampleScratch.Get(std::max<size_t>(frame, 1) * sizeof(int16_t)));
            decoder.Decode(samples, validRows, validColumns);
            if (a.shift != 0) {
                const unsigned s = a.shift % 32;
                for (size_t i = 0; i < frame; ++i)
                    samples[i] = int16_t(uint16_t(uint32_t(int32_t(samples[i])) >> s));
            }
            if (a.offset != 0) {
                for (size_t i = 0; i < frame; ++i)
                    samples[i] = int16_t(uint16_t(uint16_t(samples[i]) - a.offset));
            }
        } else {
            // Only as many samples as the file holds.
            const size_t count = size_t(rows) * size_t(columns);
            const size_t held = size_t(std::min<int64_t>(int64_t(count), remaining / 2));
            samples = reinterpret_cast<int16_t*>(sampleScratch.Get(std::max<size_t>(held, 1) * sizeof(int16_t)));
            auto* bytes = reinterpret_cast<uint8_t*>(samples);
            const int64_t got = ReadPixelBytes(stream, bytes, int64_t(held) * 2, remaining) / 2;
            if (stream.LittleEndian) {
                for (int64_t i = 0; i < got; ++i)
                    samples[i] = int16_t(uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8));
            } else {
                for (int64_t i = 0; i < got; ++i)
                    samples[i] = int16_t(uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]));
            }
            if (columns > 0) {
                validRows = int(got / columns);
                lastRowColumns = int(got % columns);
            }
        }

        // Range over the samples that exist.
        int32_t lo = 32000, hi = -32000;
        auto rowLength = [&](int y) { return y < validRows ? validColumns : (y == validRows ? lastRowColumns : 0); };
        for (int y = 0; y <= validRows && y < rows; ++y) {
            const int16_t* in = samples + size_t(y) * size_t(validColumns);
            const int len = rowLength(y);
            for (int x = 0; x < len; ++x) {
                if (in[x] < lo)
                    lo = in[x];
                if (in[x] > hi)
                    hi = in[x];
            }
        }
        m_minValue = int16_t(lo);
        m_maxValue = int16_t(hi);
        const int32_t range = hi - lo;

        // Map through a table over [Min, Max]: one MulDiv per distinct value.
        if (range >= 0) {
            std::vector<uint8_t> table(size_t(range) + 1);
            table[0] = 0;
            for (int32_t v = 1; v < range; ++v)
                table[size_t(v)] = uint8_t(MulDiv(v, 255, range));
            if (range > 0)
                table[size_t(range)] = 255;
            for (int y = 0; y <= validRows && y < rows; ++y) {
                const int16_t* in = samples + size_t(y) * size_t(validColumns);
                uint8_t* out = ScanLine(y);
                const int len = rowLength(y);
                for (int x = 0; x < len; ++x)
                    out[x] = table[size_t(in[x] - lo)];
            }
        }
        if (m_examCenter != 0 && m_examWidth != 0) {
            SetWindow(ToInt16(MulDiv(int32_t(m_examCenter) - lo, 255, range)), ToInt16(MulDiv(m_examWidth, 255, range)));
        } else if (a.windowCenter && a.windowWidth && *a.windowWidth > 0) {
            const int32_t c = RescaledRound(*a.windowCenter, a.rescaleIntercept, a.rescaleSlope);
            const int32_t w = RescaledRound(*a.windowWidth, 0, a.rescaleSlope);
            const int32_t centerFromMin = int32_t(uint32_t(c) - uint32_t(lo)); // 32-bit wrap, never UB
            SetWindow(ToInt16(MulDiv(centerFromMin, 255, range)), ToInt16(MulDiv(w, 255, range)));
        }
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
