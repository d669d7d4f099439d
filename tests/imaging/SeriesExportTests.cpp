#include "Exception.h"
#include "SeriesExport.h"
#include "TFileStream.h"
#include "TTiffGraphic.h"
#include "TestTiff.h"
#include "TiffTestImages.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <memory>

namespace {

struct SplitCall {
    std::string source, target;
};

class SeriesExportTest : public ::testing::Test {
protected:
    // A series of `count` distinct grey images at 300 dpi, in display order.
    void MakeSeries(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto image = std::make_unique<TDibGraphic>();
            FillPattern(*image, 10 + i, 8, i % 2 ? ifTrueColor : ifGray256, 300, 300, i);
            series.push_back(image.get());
            owned.push_back(std::move(image));
        }
    }
    TSplitDicom Recorder()
    {
        return [this](const std::string& s, const std::string& t) { calls.push_back({s, t}); };
    }
    std::string Path(const char* name) { return dir.filePath(name).toStdString(); }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<TDibGraphic>> owned;
    std::vector<TDibGraphic*> series;
    std::vector<SplitCall> calls;
};

std::string ReadFile(const std::string& path)
{
    TMemoryStream m;
    m.LoadFromFile(path);
    return Bytes(m);
}

} // namespace

TEST(SeriesExportName, OnlyTheThreeLetterExtensionMeansTiff)
{
    EXPECT_TRUE(IsTiffExportName("x.tif"));
    EXPECT_TRUE(IsTiffExportName("/cases/X.TIF"));
    EXPECT_TRUE(IsTiffExportName("a.b.Tif"));
    EXPECT_FALSE(IsTiffExportName("x.tiff"));
    EXPECT_FALSE(IsTiffExportName("x.TIFF"));
    EXPECT_FALSE(IsTiffExportName("x.dcm"));
    EXPECT_FALSE(IsTiffExportName("x"));
    EXPECT_FALSE(IsTiffExportName("/cases/d.tif/x"));
}

TEST_F(SeriesExportTest, TwelveImagesBecomeTwelvePagesInDisplayOrder)
{
    MakeSeries(12);
    const std::string target = Path("x.tif");
    ExportSeries(series, "/cases/a/b/c/SERIES.KF", target, Recorder(), 96);
    EXPECT_TRUE(calls.empty());
    const std::string bytes = ReadFile(target);
    TestTiffReader lib(bytes);
    ASSERT_EQ(lib.DirectoryCount(), 12);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(lib.SetDirectory(i));
        EXPECT_EQ(lib.U32(TIFFTAG_IMAGEWIDTH), uint32_t(10 + i));
        EXPECT_EQ(lib.U16(TIFFTAG_COMPRESSION), 32773);
        EXPECT_EQ(lib.U16(TIFFTAG_RESOLUTIONUNIT), 2);
        EXPECT_EQ(lib.Float(TIFFTAG_XRESOLUTION), 96.0f); // the screen's, not the image's 300
        EXPECT_EQ(lib.Float(TIFFTAG_YRESOLUTION), 96.0f);
        EXPECT_EQ(lib.U16(TIFFTAG_PHOTOMETRIC), i % 2 ? 2 : 1);
        TTiffGraphic page;
        TMemoryStream stream;
        SetBytes(stream, bytes);
        page.LoadImage(stream, i + 1);
        EXPECT_EQ(MaxChannelDifference(page, *series[size_t(i)]), 0);
    }
    // The images themselves keep their own resolution.
    EXPECT_EQ(series[0]->XDotsPerInch(), 300);
}

TEST_F(SeriesExportTest, UpperCaseNameAndOneImage)
{
    MakeSeries(1);
    const std::string target = Path("X.TIF");
    ExportSeries(series, "src.dcm", target, Recorder(), 120);
    EXPECT_TRUE(calls.empty());
    TestTiffReader lib(ReadFile(target));
    EXPECT_EQ(lib.DirectoryCount(), 1);
    EXPECT_EQ(lib.Float(TIFFTAG_XRESOLUTION), 120.0f);
}

TEST_F(SeriesExportTest, AnyOtherNameSplitsTheSourceDicomFile)
{
    MakeSeries(3);
    const std::string target = Path("x.tiff");
    ExportSeries(series, "/cases/a/b/c/SERIES.KF", target, Recorder(), 96);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].source, "/cases/a/b/c/SERIES.KF");
    EXPECT_EQ(calls[0].target, target);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(target))); // no file of that name
}

TEST_F(SeriesExportTest, FailuresPropagateAndEarlierPagesStay)
{
    MakeSeries(2);
    TDibGraphic empty;
    series.push_back(&empty); // cannot be written
    const std::string target = Path("broken.tif");
    EXPECT_THROW(ExportSeries(series, "s", target, Recorder(), 96), EKerbelinError);
    TestTiffReader lib(ReadFile(target));
    EXPECT_EQ(lib.DirectoryCount(), 2);

    const std::string nowhere = Path("missing/folder/x.tif");
    EXPECT_THROW(ExportSeries(series, "s", nowhere, Recorder(), 96), EFCreateError);

    auto failingSplit = [](const std::string&, const std::string&) { throw Exception("EDicomError No pixel data."); };
    try {
        ExportSeries(series, "s", Path("x.dcm"), failingSplit, 96);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "EDicomError No pixel data.");
    }
}

TEST(SeriesExportDpi, ScreenLogicalDpiFollowsThePrimaryScreen)
{
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    const uint16_t dpi = ScreenLogicalDpi();
    EXPECT_EQ(dpi, uint16_t(std::lround(QGuiApplication::primaryScreen()->logicalDotsPerInch())));
    EXPECT_GT(dpi, 0);
}
