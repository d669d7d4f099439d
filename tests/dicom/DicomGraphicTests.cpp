#include "DicomLoad.h"
#include "EDicomError.h"
#include "MulDiv.h"
#include "TMemoryStream.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <clocale>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using Tag = uint32_t;
namespace T = DicomTag;

// A grey 16-bit image header with extra elements added by the caller before the pixels.
DicomWriter Gray16Header(int rows, int cols)
{
    DicomWriter w;
    w.U16(T::SamplesPerPixel, 1).U16(T::Rows, uint16_t(rows)).U16(T::Columns, uint16_t(cols)).U16(T::BitsAllocated, 16);
    return w;
}

int Index(const TDicomGraphic& g, int x, int y) { return g.ScanLine(y)[x]; }

int PaletteGrey(const TDicomGraphic& g, int i) { return g.LogPalette()->palPalEntry[i].peRed; }

std::pair<int, int> Window(const TDicomGraphic& g)
{
    int32_t c, w;
    g.GetWindow(c, w);
    return {c, w};
}

bool IsIdentityPalette(const TDicomGraphic& g)
{
    const TLogPalette* p = g.LogPalette();
    if (p->palNumEntries != 256)
        return false;
    for (int i = 0; i < 256; ++i)
        if (p->palPalEntry[i].peRed != i || p->palPalEntry[i].peGreen != i || p->palPalEntry[i].peBlue != i)
            return false;
    return true;
}

} // namespace

// --- 8-bit grey and true colour -------------------------------------------------

TEST(DicomImage8Bit, RowsCopiedWithIdentityPalette)
{
    DicomWriter w;
    w.U16(T::Rows, 2).U16(T::Columns, 3).Pixels8({1, 2, 3, 4, 5, 6});
    auto g = LoadDicom(w);
    ASSERT_EQ(g->ImageFormat(), ifGray256);
    EXPECT_EQ(g->GetWidth(), 3);
    EXPECT_EQ(g->GetHeight(), 2);
    EXPECT_EQ(Index(*g, 0, 0), 1);
    EXPECT_EQ(Index(*g, 2, 0), 3);
    EXPECT_EQ(Index(*g, 0, 1), 4);
    EXPECT_EQ(Index(*g, 2, 1), 6);
    EXPECT_TRUE(IsIdentityPalette(*g));
    EXPECT_EQ(Window(*g), std::make_pair(128, 256));
    EXPECT_EQ(g->MinValue(), 0);
    EXPECT_EQ(g->MaxValue(), 0);
    EXPECT_EQ(g->XDotsPerInch(), 0);
}

TEST(DicomImage8Bit, ShortPixelDataLeavesTheRestAsCreated)
{
    DicomWriter w;
    w.U16(T::Rows, 2).U16(T::Columns, 4).Pixels8({9, 8, 7, 6, 5}); // 5 of 8 bytes
    auto g = LoadDicom(w);
    EXPECT_EQ(Index(*g, 0, 1), 5);
    EXPECT_EQ(Index(*g, 1, 1), 0);
    EXPECT_EQ(Index(*g, 3, 1), 0);
}

TEST(DicomImage8Bit, PixelDataNeverReadPastItsValue)
{
    // The value says 2 bytes; the bytes that follow belong to the next element.
    DicomWriter w;
    w.U16(T::Rows, 1).U16(T::Columns, 4).Pixels8({1, 2}).Text(T::PatientName, "ZZ");
    auto g = LoadDicom(w);
    EXPECT_EQ(Index(*g, 1, 0), 2);
    EXPECT_EQ(Index(*g, 2, 0), 0);
    EXPECT_EQ(Index(*g, 3, 0), 0);
}

TEST(DicomImageTrueColor, PlanarPlanesGoToRedGreenBlue)
{
    DicomWriter w;
    w.U16(T::SamplesPerPixel, 3).U16(T::PlanarConfiguration, 1).U16(T::Rows, 2).U16(T::Columns, 2);
    w.Pixels8({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    auto g = LoadDicom(w);
    ASSERT_EQ(g->ImageFormat(), ifTrueColor);
    const uint8_t* top = g->ScanLine(0);
    EXPECT_EQ(top[0], 9);
    EXPECT_EQ(top[1], 5);
    EXPECT_EQ(top[2], 1);
    const uint8_t* bottom = g->ScanLine(1);
    EXPECT_EQ(bottom[3], 12);
    EXPECT_EQ(bottom[4], 8);
    EXPECT_EQ(bottom[5], 4);
    EXPECT_EQ(g->GetPixel(1, 1), 0x04080Cu);
}

TEST(DicomImageTrueColor, InterleavedRowsStoredBlueGreenRed)
{
    DicomWriter w;
    w.U16(T::SamplesPerPixel, 3).U16(T::Rows, 1).U16(T::Columns, 2).Pixels8({10, 20, 30, 40, 50, 60});
    auto g = LoadDicom(w);
    const uint8_t* row = g->ScanLine(0);
    EXPECT_EQ(std::vector<int>(row, row + 6), (std::vector<int>{30, 20, 10, 60, 50, 40}));
    EXPECT_TRUE(g->LogPalette()->palNumEntries == 0);
}

TEST(DicomImageTrueColor, SixteenBitsTimesThreeSamplesIsClampedTo24)
{
    DicomWriter w;
    w.U16(T::SamplesPerPixel, 3).U16(T::BitsAllocated, 16).U16(T::Rows, 1).U16(T::Columns, 2);
    w.Pixels8({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    auto g = LoadDicom(w);
    ASSERT_EQ(g->ImageFormat(), ifTrueColor);
    const uint8_t* row = g->ScanLine(0);
    // Columns x 3 bytes per row, nothing more.
    EXPECT_EQ(std::vector<int>(row, row + 6), (std::vector<int>{3, 2, 1, 6, 5, 4}));
}

TEST(DicomImageTrueColor, ShortPlanarDataStaysInBounds)
{
    DicomWriter w;
    w.U16(T::SamplesPerPixel, 3).U16(T::PlanarConfiguration, 1).U16(T::Rows, 2).U16(T::Columns, 2);
    w.Pixels8({1, 2, 3, 4, 5}); // the red plane and one green byte
    auto g = LoadDicom(w);
    EXPECT_EQ(g->GetPixel(0, 0), 0x010500u);
    EXPECT_EQ(g->GetPixel(1, 1), 0x040000u);
}

TEST(DicomImageTrueColor, SetWindowKeepsPixelsAndStoresTheWindow)
{
    DicomWriter w;
    w.U16(T::SamplesPerPixel, 3).U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({10, 20, 30});
    auto g = LoadDicom(w);
    const uint8_t* bits = g->Bits();
    g->SetWindow(40, 80);
    EXPECT_EQ(Window(*g), std::make_pair(40, 80));
    EXPECT_EQ(g->Bits(), bits);
    EXPECT_EQ(g->GetPixel(0, 0), 0x0A141Eu);
    EXPECT_EQ(g->LogPalette()->palNumEntries, 0);
}

// --- attribute walk and bit count ------------------------------------------------

TEST(DicomImageAttributes, LastOccurrenceWins)
{
    DicomWriter w;
    w.U16(T::Rows, 9).U16(T::Columns, 9).U16(T::Rows, 1).U16(T::Columns, 2).Pixels8({7, 8});
    auto g = LoadDicom(w);
    EXPECT_EQ(g->GetWidth(), 2);
    EXPECT_EQ(g->GetHeight(), 1);
}

TEST(DicomImageAttributes, SixteenBitNumbersReadTwoBytesWhateverTheLength)
{
    // Columns declared with length 4 after the pixel data (where only the image
    // walk reads it): two bytes are taken, 2, not the 32-bit 0x00050002.
    DicomWriter w;
    w.U16(T::Rows, 1).U16(T::Columns, 9).Pixels8({5, 6});
    w.Header(T::Columns, 4, std::string("\x02\x00\x05\x00", 4));
    auto g = LoadDicom(w);
    EXPECT_EQ(g->GetWidth(), 2);
    EXPECT_EQ(Index(*g, 1, 0), 6);
}

TEST(DicomImageAttributes, UnsupportedBitCounts)
{
    DicomWriter twelve;
    twelve.U16(T::Rows, 1).U16(T::Columns, 1).U16(T::BitsAllocated, 12).Pixels8({0, 0});
    EXPECT_EQ(LoadError(twelve), "EDicomError Unsupported bit count: 12");
    DicomWriter one;
    one.U16(T::Rows, 1).U16(T::Columns, 1).U16(T::BitsAllocated, 1).Pixels8({0, 0});
    EXPECT_EQ(LoadError(one), "EDicomError Unsupported bit count: 1");
    DicomWriter twoSamples; // 8 x 2 = 16: the grey 16-bit pipeline
    twoSamples.U16(T::SamplesPerPixel, 2).U16(T::Rows, 1).U16(T::Columns, 2).Pixels16({-5, 5});
    auto g = LoadDicom(twoSamples);
    EXPECT_EQ(g->MinValue(), -5);
    EXPECT_EQ(g->MaxValue(), 5);
    DicomWriter zeroSamples; // 0 samples count as 1
    zeroSamples.U16(T::SamplesPerPixel, 0).U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({42});
    EXPECT_EQ(Index(*LoadDicom(zeroSamples), 0, 0), 42);
}

TEST(DicomImageAttributes, ThirtyTwoBitGreyKeepsTheNewImage)
{
    DicomWriter w;
    w.U16(T::Rows, 1).U16(T::Columns, 2).U16(T::BitsAllocated, 32).Pixels8({1, 2, 3, 4, 5, 6, 7, 8});
    auto g = LoadDicom(w);
    EXPECT_EQ(g->ImageFormat(), ifGray256);
    EXPECT_EQ(Index(*g, 0, 0), 0);
    EXPECT_EQ(Index(*g, 1, 0), 0);
}

TEST(DicomImageAttributes, LongTextValuesArePassedOverWhole)
{
    // A 300-byte Window Center: the first 255 characters are looked at, and
    // the walk resumes after the whole value.
    DicomWriter w = Gray16Header(1, 2);
    w.Text(T::WindowCenter, "500" + std::string(297, ' ')).Text(T::WindowWidth, "1000");
    w.Pixels16({0, 1000});
    auto g = LoadDicom(w);
    EXPECT_EQ(Window(*g), std::make_pair(MulDiv(500, 255, 1000), 255));
}

TEST(DicomImageAttributes, PhotometricComparedUpToTheFirstNul)
{
    DicomWriter w = Gray16Header(1, 2);
    w.Element(T::PhotometricInterpretation, std::string("MONOCHROME1\0\0\0", 14)).Pixels16({0, 100});
    auto g = LoadDicom(w);
    EXPECT_EQ(Index(*g, 0, 0), 255); // inverted
    // Padded to even length with a blank, as every conforming file stores it.
    DicomWriter padded = Gray16Header(1, 2);
    padded.Text(T::PhotometricInterpretation, "MONOCHROME1").Pixels16({0, 100});
    EXPECT_EQ(Index(*LoadDicom(padded), 0, 0), 255);
    DicomWriter blanks = Gray16Header(1, 2);
    blanks.Text(T::PhotometricInterpretation, "MONOCHROME1   ").Pixels16({0, 100});
    EXPECT_EQ(Index(*LoadDicom(blanks), 0, 0), 255);
    DicomWriter leading = Gray16Header(1, 2); // only trailing blanks go
    leading.Text(T::PhotometricInterpretation, " MONOCHROME1").Pixels16({0, 100});
    EXPECT_EQ(Index(*LoadDicom(leading), 0, 0), 0);
}

TEST(DicomImageAttributes, ImageNumberOutOfRangeIsAClearError)
{
    DicomWriter w;
    w.U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({1});
    EXPECT_EQ(LoadError(w, 2), "EDicomError Image 2 does not exist.");
    EXPECT_EQ(LoadError(w, 0), "EDicomError Image 0 does not exist.");
}

TEST(DicomImageAttributes, ImagesOfAMultiImageFile)
{
    // Each image is decoded from its own item's elements only.
    DicomWriter w;
    w.Text(T::PatientName, "P").U16(T::Columns, 7);
    w.ItemStart().Text(T::InstanceNumber, "2").U16(T::Rows, 1).U16(T::Columns, 2).Pixels8({20, 21}).ItemEnd();
    w.ItemStart().Text(T::InstanceNumber, "1").U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({10}).ItemEnd();
    auto first = LoadDicom(w, 1);
    EXPECT_EQ(first->GetWidth(), 1);
    EXPECT_EQ(Index(*first, 0, 0), 10);
    auto second = LoadDicom(w, 2);
    EXPECT_EQ(second->GetWidth(), 2);
    EXPECT_EQ(Index(*second, 1, 0), 21);

    TestFolder folder;
    TDicomStream stream(folder.Save(w));
    stream.ScanImages();
    TDicomGraphic g;
    EXPECT_EQ(g.GetImageCount(stream), 2);
}

// --- 16-bit pipeline -------------------------------------------------------------

TEST(DicomImage16Bit, RangeAndLinearMap)
{
    DicomWriter w = Gray16Header(2, 2);
    w.Pixels16({-100, 900, 400, 0});
    auto g = LoadDicom(w);
    EXPECT_EQ(g->MinValue(), -100);
    EXPECT_EQ(g->MaxValue(), 900);
    EXPECT_EQ(Index(*g, 0, 0), 0);
    EXPECT_EQ(Index(*g, 1, 0), 255);
    EXPECT_EQ(Index(*g, 0, 1), 128); // MulDiv(500, 255, 1000) = 127.5 -> 128
    EXPECT_EQ(Index(*g, 1, 1), 26);  // 25.5 -> 26
    EXPECT_TRUE(IsIdentityPalette(*g)); // no window: none set
    EXPECT_EQ(Window(*g), std::make_pair(128, 256));
}

TEST(DicomImage16Bit, BigEndianSamples)
{
    DicomWriter w(false);
    w.U16(T::Rows, 1).U16(T::Columns, 2).U16(T::BitsAllocated, 16).Pixels16({-300, 700});
    auto g = LoadDicom(w);
    EXPECT_EQ(g->MinValue(), -300);
    EXPECT_EQ(g->MaxValue(), 700);
}

TEST(DicomImage16Bit, AllEqualSamplesAndADicomWindowGiveAWhitePalette)
{
    DicomWriter w = Gray16Header(2, 2);
    w.Text(T::WindowCenter, "50").Text(T::WindowWidth, "100").Pixels16({7, 7, 7, 7});
    auto g = LoadDicom(w);
    EXPECT_EQ(g->MinValue(), 7);
    EXPECT_EQ(g->MaxValue(), 7);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(Index(*g, x, y), 0);
    EXPECT_EQ(Window(*g), std::make_pair(-1, -1));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(PaletteGrey(*g, i), 255) << i;
}

TEST(DicomImage16Bit, SamplesAbove32000KeepMinimum32000)
{
    DicomWriter w = Gray16Header(1, 2);
    w.Pixels16({32100, 32200});
    auto g = LoadDicom(w);
    EXPECT_EQ(g->MinValue(), 32000);
    EXPECT_EQ(g->MaxValue(), 32200);
    EXPECT_EQ(Index(*g, 0, 0), 128); // MulDiv(100, 255, 200) = 127.5 -> 128
    EXPECT_EQ(Index(*g, 1, 0), 255);
}

TEST(DicomImage16Bit, ShortPixelDataMapsOnlyTheSamplesPresent)
{
    DicomWriter w = Gray16Header(2, 3);
    w.Pixels16({100, 200, 300, 400}); // 4 of 6 samples
    auto g = LoadDicom(w);
    EXPECT_EQ(g->MinValue(), 100);
    EXPECT_EQ(g->MaxValue(), 400);
    EXPECT_EQ(Index(*g, 0, 0), 0);
    EXPECT_EQ(Index(*g, 0, 1), 255);
    EXPECT_EQ(Index(*g, 1, 1), 0); // missing: left as created
    EXPECT_EQ(Index(*g, 2, 1), 0);

    DicomWriter none = Gray16Header(1, 2);
    none.Header(T::PixelData, 4); // value cut away by the end of the file
    auto empty = LoadDicom(none);
    EXPECT_EQ(empty->MinValue(), 32000);
    EXPECT_EQ(empty->MaxValue(), -32000);
}

// --- window rules ----------------------------------------------------------------

TEST(DicomImageWindow, DicomWindowMappedToPaletteUnits)
{
    DicomWriter w = Gray16Header(1, 2);
    w.Text(T::WindowCenter, "400").Text(T::WindowWidth, "1000").Pixels16({-100, 900});
    auto g = LoadDicom(w);
    EXPECT_EQ(Window(*g), std::make_pair(128, 255));
    // Lo = 128 - 127 = 1, Hi = 256.
    EXPECT_EQ(PaletteGrey(*g, 0), 0);
    EXPECT_EQ(PaletteGrey(*g, 1), 0);
    EXPECT_EQ(PaletteGrey(*g, 2), 1);
    EXPECT_EQ(PaletteGrey(*g, 255), 254);
}

TEST(DicomImageWindow, NegativeAndDecimalWindowValues)
{
    auto window = [](const std::string& center, const std::string& width, const char* intercept) {
        DicomWriter w = Gray16Header(1, 2);
        w.Text(T::WindowCenter, center).Text(T::WindowWidth, width);
        if (intercept)
            w.Text(T::RescaleIntercept, intercept);
        w.Pixels16({0, 2000});
        return Window(*LoadDicom(w));
    };
    auto palette = [](int c, int w) { return std::make_pair(MulDiv(c, 255, 2000), MulDiv(w, 255, 2000)); };
    // A lung window: C' = -600 + 1024 = 424, not 1624.
    EXPECT_EQ(window("-600", "1500", "-1024"), palette(424, 1500));
    // Fractions are values, not more digits: 40.5 + 1024 = 1064.5 -> 1064 (half to even).
    EXPECT_EQ(window("40.5", "400.5", "-1024"), palette(1064, 400));
    EXPECT_EQ(window("41.5", "401.5", "-1024"), palette(1066, 402));
    EXPECT_EQ(window(" +1.2E3\\900 ", "5.E2\\1", nullptr), palette(1200, 500));
    EXPECT_EQ(window(".5e3", "1e+3", nullptr), palette(500, 1000));
    // A centre of 0 is a window.
    EXPECT_EQ(window("0", "1000", nullptr), palette(0, 1000));
    EXPECT_EQ(window("-0.0", "1000", nullptr), palette(0, 1000));
    // No window: width 0 or below, or a value that is no number.
    const auto none = std::make_pair(128, 256);
    EXPECT_EQ(window("500", "0", nullptr), none);
    EXPECT_EQ(window("500", "-100", nullptr), none);
    EXPECT_EQ(window("500", "1,5", nullptr), none);
    EXPECT_EQ(window("abc", "100", nullptr), none);
    EXPECT_EQ(window("", "100", nullptr), none);
    EXPECT_EQ(window("\\500", "100", nullptr), none);
    EXPECT_EQ(window("500", "1e99999", nullptr), none);
}

TEST(DicomImageWindow, SlopeDividesAndRoundsHalfToEven)
{
    auto window = [](const char* center, const char* width, const char* slope, const char* intercept) {
        DicomWriter w = Gray16Header(1, 2);
        w.Text(T::WindowCenter, center).Text(T::WindowWidth, width);
        if (slope)
            w.Text(T::RescaleSlope, slope);
        if (intercept)
            w.Text(T::RescaleIntercept, intercept);
        w.Pixels16({0, 255}); // Range 255: palette units equal stored units
        return Window(*LoadDicom(w));
    };
    EXPECT_EQ(window("100", "400", "2", nullptr), std::make_pair(50, 200));
    EXPECT_EQ(window("401", "10", "2", nullptr).first, 200); // 200.5 -> 200
    EXPECT_EQ(window("403", "10", "2", nullptr).first, 202); // 201.5 -> 202
    EXPECT_EQ(window("3", "10", nullptr, "0.5").first, 2);   // 2.5 -> 2
    EXPECT_EQ(window("3", "10", nullptr, " -0.5\t").first, 4); // 3.5 -> 4, trimmed
}

TEST(DicomImageWindow, RescaleTextsUseAFullStopWhateverTheLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const bool commaLocale = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8");
    DicomWriter w = Gray16Header(1, 2);
    w.Text(T::WindowCenter, "10").Text(T::WindowWidth, "10").Text(T::RescaleSlope, "0.5").Pixels16({0, 255});
    auto g = LoadDicom(w);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(Window(*g), std::make_pair(20, 20)) << (commaLocale ? "comma locale" : "C locale only");
}

TEST(DicomImageWindow, RescaleThatIsNoNumberFailsClearly)
{
    DicomWriter w = Gray16Header(1, 2);
    w.Text(T::RescaleSlope, "abc").Pixels16({0, 1});
    EXPECT_EQ(LoadError(w), "'abc' is not a valid floating point value");
    DicomWriter comma = Gray16Header(1, 2);
    comma.Text(T::RescaleIntercept, "1,5").Pixels16({0, 1});
    EXPECT_EQ(LoadError(comma), "'1,5' is not a valid floating point value");
    DicomWriter inf = Gray16Header(1, 2);
    inf.Text(T::RescaleIntercept, "inf").Pixels16({0, 1});
    EXPECT_EQ(LoadError(inf), "'inf' is not a valid floating point value");
    DicomWriter empty = Gray16Header(1, 2);
    empty.Text(T::RescaleSlope, "  ").Pixels16({0, 1});
    EXPECT_EQ(LoadError(empty), "'' is not a valid floating point value");
}

TEST(DicomImageWindow, SlopeZeroWithAWindowFailsTheLoad)
{
    DicomWriter w = Gray16Header(1, 2);
    w.Text(T::WindowCenter, "10").Text(T::WindowWidth, "10").Text(T::RescaleSlope, "0").Pixels16({0, 1});
    EXPECT_EQ(LoadError(w), "Floating point division by zero");
    DicomWriter huge = Gray16Header(1, 2); // a centre no 32-bit integer holds
    huge.Text(T::WindowCenter, "10").Text(T::WindowWidth, "10").Text(T::RescaleSlope, "1e-30").Pixels16({0, 1});
    EXPECT_EQ(LoadError(huge), "Invalid floating point operation");
}

TEST(DicomImageWindow, ExamPresetWinsOverTheDicomWindow)
{
    DicomWriter w = Gray16Header(1, 2);
    w.Text(T::WindowCenter, "300").Text(T::WindowWidth, "100").Pixels16({200, 1200});
    auto g = LoadDicom(w, 1, [](TDicomGraphic& image) { image.SetExamPreset(700, 1000); });
    EXPECT_EQ(Window(*g), std::make_pair(128, 255));
    // A preset with a zero part is no preset: the DICOM window applies.
    auto h = LoadDicom(w, 1, [](TDicomGraphic& image) { image.SetExamPreset(700, 0); });
    EXPECT_EQ(Window(*h), std::make_pair(MulDiv(100, 255, 1000), MulDiv(100, 255, 1000)));
}

TEST(DicomImageWindow, MonochromeOneInvertsIndicesAfterTheWindow)
{
    DicomWriter w = Gray16Header(1, 3);
    w.Text(T::PhotometricInterpretation, "MONOCHROME1 ").Text(T::WindowCenter, "500").Text(T::WindowWidth, "200");
    w.Pixels16({0, 1000, 500});
    DicomWriter plain = Gray16Header(1, 3);
    plain.Text(T::WindowCenter, "500").Text(T::WindowWidth, "200").Pixels16({0, 1000, 500});
    DicomWriter exact = Gray16Header(1, 3);
    exact.Element(T::PhotometricInterpretation, std::string("MONOCHROME1\0", 12));
    exact.Text(T::WindowCenter, "500").Text(T::WindowWidth, "200").Pixels16({0, 1000, 500});

    auto normal = LoadDicom(plain);
    auto inverted = LoadDicom(exact);
    EXPECT_EQ(Window(*inverted), Window(*normal));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(PaletteGrey(*inverted, i), PaletteGrey(*normal, i));
    for (int x = 0; x < 3; ++x) {
        const int v = Index(*normal, x, 0);
        EXPECT_EQ(Index(*inverted, x, 0), 255 - v);
        EXPECT_EQ(inverted->GetPixel(x, 0) & 0xFF, uint32_t(PaletteGrey(*normal, 255 - v)));
    }
    // Stored with its pad blank: inverted the same way.
    auto padded = LoadDicom(w);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(Index(*padded, x, 0), Index(*inverted, x, 0));
}

TEST(DicomImageWindow, MonochromeOneOnTrueColourInvertsBytes)
{
    DicomWriter w;
    w.U16(T::SamplesPerPixel, 3).Element(T::PhotometricInterpretation, std::string("MONOCHROME1\0", 12));
    w.U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({10, 20, 30});
    auto g = LoadDicom(w);
    EXPECT_EQ(g->GetPixel(0, 0), 0xF5EBE1u);
}

// --- SetWindow, GetWindow, ParseLeadingDigits --------------------------------------

TEST(DicomImageSetWindow, RewritesOnlyThePalette)
{
    DicomWriter w = Gray16Header(1, 4);
    w.Pixels16({0, 100, 200, 300});
    auto g = LoadDicom(w);
    std::vector<uint8_t> before(g->ScanLine(0), g->ScanLine(0) + 4);
    const uint8_t* bits = g->Bits();
    g->SetWindow(100, 50);
    EXPECT_EQ(g->Bits(), bits);
    EXPECT_EQ(std::vector<uint8_t>(g->ScanLine(0), g->ScanLine(0) + 4), before);
    EXPECT_EQ(Window(*g), std::make_pair(100, 50));
    // Lo = 75, Hi = 125.
    EXPECT_EQ(PaletteGrey(*g, 75), 0);
    EXPECT_EQ(PaletteGrey(*g, 76), MulDiv(1, 255, 50));
    EXPECT_EQ(PaletteGrey(*g, 100), MulDiv(25, 255, 50));
    EXPECT_EQ(PaletteGrey(*g, 124), MulDiv(49, 255, 50));
    EXPECT_EQ(PaletteGrey(*g, 125), 255);
    // The drawn colour table follows the palette.
    EXPECT_EQ(qRed(g->PaletteHandle()[100]), MulDiv(25, 255, 50));
}

TEST(DicomImageSetWindow, WidthZeroOrBelowIsAHardStep)
{
    DicomWriter w = Gray16Header(1, 2);
    w.Pixels16({0, 1});
    auto g = LoadDicom(w);
    g->SetWindow(100, 0);
    EXPECT_EQ(PaletteGrey(*g, 100), 0);
    EXPECT_EQ(PaletteGrey(*g, 101), 255);
    g->SetWindow(100, -10); // Lo = 105, Hi = 95
    EXPECT_EQ(PaletteGrey(*g, 105), 0);
    EXPECT_EQ(PaletteGrey(*g, 106), 255);
    g->SetWindow(128, 256); // the display's reset: Lo 0, Hi 256
    EXPECT_EQ(PaletteGrey(*g, 0), 0);
    EXPECT_EQ(PaletteGrey(*g, 1), 1);
    EXPECT_EQ(PaletteGrey(*g, 128), 128);
    EXPECT_EQ(PaletteGrey(*g, 255), 254); // MulDiv(255, 255, 256)
}

TEST(DicomImageSetWindow, ParseDecimalString)
{
    using V = std::optional<long double>;
    EXPECT_EQ(TDicomGraphic::ParseDecimalString("400"), V(400));
    EXPECT_EQ(TDicomGraphic::ParseDecimalString("40\\400"), V(40));
    EXPECT_EQ(TDicomGraphic::ParseDecimalString("-600"), V(-600));
    EXPECT_EQ(TDicomGraphic::ParseDecimalString("40.5"), V(40.5L));
    EXPECT_EQ(TDicomGraphic::ParseDecimalString(".5"), V(0.5L));
    EXPECT_EQ(TDicomGraphic::ParseDecimalString("5."), V(5));
    EXPECT_EQ(TDicomGraphic::ParseDecimalString(" -2.5e-1 "), V(-0.25L));
    EXPECT_EQ(TDicomGraphic::ParseDecimalString("+7E+1"), V(70));
    for (const char* bad : {"", " ", ".", "-", "+-1", "1 2", "1e", "1e+", "e5", "0x10", "inf", "nan", "1.2.3",
                            "\\12", "12a", "1,5"})
        EXPECT_EQ(TDicomGraphic::ParseDecimalString(bad), std::nullopt) << bad;
    // Beyond extended precision: no number rather than infinity.
    EXPECT_EQ(TDicomGraphic::ParseDecimalString("1e99999"), std::nullopt);
}

// --- image-model operations ------------------------------------------------------

TEST(DicomImageModel, NewImageAndAssignResetTheWindow)
{
    DicomWriter w = Gray16Header(1, 2);
    w.Text(T::WindowCenter, "400").Text(T::WindowWidth, "1000").Pixels16({-100, 900});
    auto g = LoadDicom(w);
    ASSERT_EQ(Window(*g), std::make_pair(128, 255));
    TDicomGraphic copy;
    copy.Assign(g.get());
    EXPECT_EQ(Window(copy), std::make_pair(128, 256));
    EXPECT_EQ(copy.MinValue(), 0);
    EXPECT_EQ(copy.MaxValue(), 0);
    EXPECT_EQ(PaletteGrey(copy, 2), PaletteGrey(*g, 2)); // the palette itself is copied
    EXPECT_EQ(Index(copy, 1, 0), 255);

    g->NewImage(2, 2, ifGray256, nullptr, 0, 0);
    EXPECT_EQ(Window(*g), std::make_pair(128, 256));
    auto made = g->Create();
    EXPECT_STREQ(made->ClassName(), "TDicomGraphic");
}

TEST(DicomImageModel, WritesNothingAndWantsADicomStream)
{
    DicomWriter w;
    w.U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({1});
    auto g = LoadDicom(w);
    TMemoryStream out;
    g->SaveToStream(out);
    EXPECT_EQ(out.Size(), 0);
    g->AppendToStream(out);
    EXPECT_EQ(out.Size(), 0);
    out.WriteBuffer("abc", 3);
    g->AppendToStream(out);
    EXPECT_EQ(out.Size(), 3);
    EXPECT_EQ(out.Position(), 0);

    EXPECT_THROW(g->GetImageCount(out), EInvalidCast);
    EXPECT_THROW(g->LoadImage(out, 1), EInvalidCast);
}

// --- limits and unsigned samples --------------------------------------------------

TEST(DicomImageLimits, StoresBeyondTheCapNeedDataThatFillsThem)
{
    // 32767 x 65535 with little or no data: refused before any store is made.
    DicomWriter grey;
    grey.U16(T::Rows, 32767).U16(T::Columns, 65535).U16(T::BitsAllocated, 8).Pixels8({1, 2});
    EXPECT_EQ(LoadError(grey), "EDicomError Pixel data too short for the image size.");
    DicomWriter colour;
    colour.U16(T::SamplesPerPixel, 3).U16(T::Rows, 20000).U16(T::Columns, 20000).U16(T::BitsAllocated, 8);
    colour.Pixels8({1, 2, 3});
    EXPECT_EQ(LoadError(colour), "EDicomError Pixel data too short for the image size.");
    DicomWriter inverted;
    inverted.U16(T::Rows, 32767).U16(T::Columns, 65535).U16(T::BitsAllocated, 8);
    inverted.Text(T::PhotometricInterpretation, "MONOCHROME1");
    EXPECT_EQ(LoadError(inverted), "EDicomError No pixel data.");
    // Below the cap a short image still gets its whole store.
    DicomWriter small;
    small.U16(T::Rows, 300).U16(T::Columns, 400).U16(T::BitsAllocated, 8).Pixels8({9, 8});
    auto g = LoadDicom(small);
    EXPECT_EQ(g->GetWidth(), 400);
    EXPECT_EQ(Index(*g, 1, 0), 8);
    EXPECT_EQ(Index(*g, 2, 0), 0);
}

TEST(DicomImageLimits, TheStoreLimitIsCheckedBeforeTheStoreIsMade)
{
    DicomWriter w = Gray16Header(64, 64);
    w.Pixels16(std::vector<int16_t>(64 * 64, 5));
    // A grey 16-bit image counts its kept samples (two bytes each) beside the store.
    constexpr uint64_t kHeld = 64 * 64 * 3;
    EXPECT_THROW(LoadDicom(w, 1, [](TDicomGraphic& g) { g.SetStoreLimit(kHeld - 1); }), EImageTooLarge);
    EXPECT_NO_THROW(LoadDicom(w, 1, [](TDicomGraphic& g) { g.SetStoreLimit(kHeld); }));
    DicomWriter ramp = Gray16Header(64, 64);
    std::vector<int16_t> samples(64 * 64);
    samples[1] = 1;
    EXPECT_EQ(LoadDicom(ramp.Pixels16(samples))->HeldBytes(), kHeld);
}

TEST(DicomImage16Bit, PixelRepresentationZeroReadsUnsignedSamples)
{
    DicomWriter w = Gray16Header(1, 3);
    w.U16(T::PixelRepresentation, 0).Pixels16({int16_t(40000), int16_t(1000), int16_t(65535)});
    auto g = LoadDicom(w);
    EXPECT_EQ(g->MinValue(), 1000);
    EXPECT_EQ(g->MaxValue(), 65535);
    EXPECT_EQ(Index(*g, 0, 0), 154); // MulDiv(39000, 255, 64535) = 154.1
    EXPECT_EQ(Index(*g, 1, 0), 0);
    EXPECT_EQ(Index(*g, 2, 0), 255);

    // Big-endian, with a window in unsigned stored units.
    DicomWriter b(false);
    b.U16(T::Rows, 1).U16(T::Columns, 2).U16(T::BitsAllocated, 16).U16(T::PixelRepresentation, 0);
    b.Text(T::WindowCenter, "50500").Text(T::WindowWidth, "1000").Pixels16({int16_t(50000), int16_t(51000)});
    auto big = LoadDicom(b);
    EXPECT_EQ(big->MinValue(), 50000);
    EXPECT_EQ(big->MaxValue(), 51000);
    EXPECT_EQ(Window(*big), std::make_pair(128, 255));

    // Absent or 1: signed as before.
    DicomWriter s = Gray16Header(1, 2);
    s.U16(T::PixelRepresentation, 1).Pixels16({int16_t(40000), 5});
    EXPECT_EQ(LoadDicom(s)->MinValue(), int16_t(40000));
}

// --- Window and level at full depth ------------------------------------------------

namespace {

// The shown grey of sample s of 0..range by the full-depth rule (palette-unit window).
int RuleGrey(double s, int range, int c, int w, bool inverted)
{
    const double t = s * 255.0 / range;
    const int lo = c - w / 2;
    const int v = t <= lo ? 0 : t >= lo + w ? 255 : int(std::lround((t - lo) * 255.0 / w));
    return inverted ? 255 - v : v;
}

QImage Drawn(TDicomGraphic& g, QSize size)
{
    QImage canvas(size, QImage::Format_RGB32);
    QPainter p(&canvas);
    g.Draw(p, QRect(QPoint(0, 0), size));
    return canvas;
}

} // namespace

TEST(DicomImageFullDepth, EveryDisplayRuleOnARealImage)
{
    // A CT row as the demo head CT: stored 0..2070, intercept -1024; a brain window is 80 HU wide.
    constexpr int kRange = 2070;
    std::vector<int16_t> samples(kRange + 1);
    for (int i = 0; i <= kRange; ++i)
        samples[size_t(i)] = int16_t(i);
    const struct {
        bool inverted, brainWindow; // MONOCHROME1; the file's window (centre 40 HU)
        std::optional<std::pair<int, int>> set; // then SetWindow (palette units)
    } cases[] = {{false, false, {}}, {true, false, {}},  {false, true, {}}, {true, true, {}},
                 {false, true, {{200, 37}}}, {true, true, {{128, 256}}}, {false, false, {{100, 0}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.inverted << c.brainWindow << c.set.has_value());
        DicomWriter w = Gray16Header(1, kRange + 1);
        w.Text(T::PhotometricInterpretation, c.inverted ? "MONOCHROME1" : "MONOCHROME2");
        if (c.brainWindow)
            w.Text(T::RescaleIntercept, "-1024").Text(T::WindowCenter, "40").Text(T::WindowWidth, "80");
        auto g = LoadDicom(w.Pixels16(samples));
        if (c.set)
            g->SetWindow(int16_t(c.set->first), int16_t(c.set->second));
        const auto [center, width] = Window(*g);
        const QImage shown = g->SaveToClipboardFormat();
        ASSERT_EQ(shown, Drawn(*g, QSize(kRange + 1, 1)));
        std::set<int> greys;
        for (int s = 0; s <= kRange; ++s) {
            // The stored 8-bit values (what a TIFF export writes) stay the decoder's.
            const int index = c.inverted ? 255 - MulDiv(s, 255, kRange) : MulDiv(s, 255, kRange);
            ASSERT_EQ(Index(*g, s, 0), index) << s;
            const bool windowed = c.brainWindow || c.set; // else the picture is the stored one
            const int want = windowed ? RuleGrey(s, kRange, center, width, c.inverted) : index;
            ASSERT_LE(std::abs(qGray(shown.pixel(s, 0)) - want), windowed ? 1 : 0) << "sample " << s;
            greys.insert(qGray(shown.pixel(s, 0)));
        }
        EXPECT_TRUE(!c.brainWindow || c.set || greys.size() > 70) << "a grey per unit, not 10 bands";
    }
    // Drawn smaller, samples are averaged before the window: 2 x 2 into one pixel.
    DicomWriter w = Gray16Header(2, 2);
    auto g = LoadDicom(w.Pixels16({0, 150, 250, 1000}));
    g->SetWindow(90, 40); // the average, 350, lies inside; windowing first would give 64
    EXPECT_LE(std::abs(qGray(Drawn(*g, QSize(1, 1)).pixel(0, 0)) - RuleGrey(350, 1000, 90, 40, false)), 1);
    g->SetWindow(0, 1); // a new window reaches the kept reduction
    EXPECT_EQ(qGray(Drawn(*g, QSize(1, 1)).pixel(0, 0)), 255);
}
