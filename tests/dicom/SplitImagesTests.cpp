#include "DicomLoad.h"
#include "EDicomError.h"
#include "SplitImages.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <string>

namespace {

namespace T = DicomTag;

bool Exists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

// Shared part and three images, each item of length 0.
DicomWriter ThreeImages(bool preamble)
{
    DicomWriter w(true, preamble);
    w.Text(T::PatientName, "DOE^J").U16(T::Rows, 1).U16(T::Columns, 2);
    for (int i = 1; i <= 3; ++i)
        w.ItemStart().Text(T::InstanceNumber, std::to_string(i)).Pixels8({uint8_t(i), uint8_t(10 * i)}).ItemEnd();
    return w;
}

std::string Shared()
{
    DicomWriter w(true, false);
    w.Text(T::PatientName, "DOE^J").U16(T::Rows, 1).U16(T::Columns, 2);
    return w.Data();
}

std::string ImageElements(int i)
{
    DicomWriter w(true, false);
    w.Text(T::InstanceNumber, std::to_string(i)).Pixels8({uint8_t(i), uint8_t(10 * i)});
    return w.Data();
}

} // namespace

TEST(SplitImagesOutput, OneByteExactFilePerItem)
{
    for (bool preamble : {true, false}) {
        TestFolder folder;
        const std::string source = folder.Save(ThreeImages(preamble), "series.kf");
        SplitImages(source, folder.Path("head.DCM"));
        EXPECT_FALSE(Exists(folder.Path("head.DCM")));
        for (int k = 1; k <= 3; ++k) {
            const std::string name = folder.Path("head-000" + std::to_string(k) + ".DCM");
            ASSERT_TRUE(Exists(name)) << name;
            EXPECT_EQ(ReadFile(name), Shared() + ImageElements(k)) << k << (preamble ? " with DICM" : "");
            // Each output is a single-image file that the stream reads from offset 0.
            TDicomStream stream(name);
            stream.ScanImages();
            TDicomGraphic g;
            g.LoadImage(stream, 1);
            EXPECT_EQ(g.ScanLine(0)[1], 10 * k);
        }
        EXPECT_FALSE(Exists(folder.Path("head-0004.DCM")));
    }
}

TEST(SplitImagesOutput, EmptySharedPartWhenTheFirstItemComesFirst)
{
    DicomWriter w(true, false);
    w.ItemStart().U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({5, 0}).ItemEnd();
    w.ItemStart().U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({6, 0}).ItemEnd();
    TestFolder folder;
    SplitImages(folder.Save(w), folder.Path("x.dcm"));
    DicomWriter expected(true, false);
    expected.U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({6, 0});
    EXPECT_EQ(ReadFile(folder.Path("x-0002.dcm")), expected.Data());
}

TEST(SplitImagesOutput, NamesWithoutExtensionAndOverwrite)
{
    TestFolder folder;
    const std::string source = folder.Save(ThreeImages(true), "s.kf");
    WriteFile(folder.Path("head-0002"), std::string(5000, 'x'));
    SplitImages(source, folder.Path("head"));
    EXPECT_EQ(ReadFile(folder.Path("head-0001")), Shared() + ImageElements(1));
    EXPECT_EQ(ReadFile(folder.Path("head-0002")), Shared() + ImageElements(2)); // replaced whole
    SplitImages(source, folder.Path("head"));
    EXPECT_EQ(ReadFile(folder.Path("head-0003")), Shared() + ImageElements(3));

    // A dot in a folder name is no extension.
    ASSERT_TRUE(QDir(QString::fromStdString(folder.Folder())).mkdir("out.d"));
    SplitImages(source, folder.Path("out.d/img"));
    EXPECT_TRUE(Exists(folder.Path("out.d/img-0001")));
}

TEST(SplitImagesOutput, DelimiterBeforeAnyItemIsSkipped)
{
    DicomWriter w;
    w.Text(T::PatientName, "P ").ItemEnd().U16(T::Rows, 1);
    w.ItemStart().Pixels8({1, 2}).ItemEnd();
    TestFolder folder;
    SplitImages(folder.Save(w), folder.Path("t.dcm"));
    DicomWriter expected(true, false);
    expected.Text(T::PatientName, "P ").ItemEnd().U16(T::Rows, 1).Pixels8({1, 2});
    EXPECT_EQ(ReadFile(folder.Path("t-0001.dcm")), expected.Data());
    EXPECT_FALSE(Exists(folder.Path("t-0002.dcm")));
}

TEST(SplitImagesOutput, NoDelimiterWritesNothing)
{
    DicomWriter w;
    w.U16(T::Rows, 1).U16(T::Columns, 1).Pixels8({1, 0});
    TestFolder folder;
    SplitImages(folder.Save(w, "single.dcm"), folder.Path("t.dcm"));
    EXPECT_EQ(QDir(QString::fromStdString(folder.Folder())).entryList(QDir::Files).size(), 1);
}

TEST(SplitImagesFailures, ExceptionsOfTheStreamPropagate)
{
    TestFolder folder;
    DicomWriter none;
    none.Text(T::PatientName, "X ");
    try {
        SplitImages(folder.Save(none), folder.Path("t.dcm"));
        FAIL() << "no error";
    } catch (const EDicomError& e) {
        EXPECT_STREQ(e.what(), "EDicomError No pixel data.");
    }
    EXPECT_FALSE(Exists(folder.Path("t-0001.dcm")));
    EXPECT_THROW(SplitImages(folder.Path("missing.kf"), folder.Path("t.dcm")), EFOpenError);
    const std::string source = folder.Save(ThreeImages(true), "s.kf");
    EXPECT_THROW(SplitImages(source, folder.Path("no/such/folder/t.dcm")), EFCreateError);
}
