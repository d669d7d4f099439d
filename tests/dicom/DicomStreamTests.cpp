#include "DicomWriter.h"
#include "EDicomError.h"
#include "Exception.h"
#include "TDicomStream.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <string>

namespace {

struct Files {
    QTemporaryDir dir;
    std::string Save(const DicomWriter& w, const char* name = "f.dcm")
    {
        const std::string path = dir.filePath(name).toStdString();
        w.Save(path);
        return path;
    }
};

std::string NoPixelData(const std::string& path)
{
    try {
        TDicomStream s(path);
    } catch (const EDicomError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(DicomStreamOpen, DataSetStartAndPixelDataPosition)
{
    Files f;
    DicomWriter with;
    with.Text(DicomTag::PatientName, "DOE^J").Pixels8({1, 2, 3, 4});
    TDicomStream a(f.Save(with, "a.dcm"));
    EXPECT_TRUE(a.LittleEndian);
    EXPECT_FALSE(a.HasItems);
    EXPECT_EQ(a.Position(), 132 + 8 + 6 + 8);
    EXPECT_EQ(a.ImageList.Count(), 0);

    DicomWriter without(true, false);
    without.Text(DicomTag::PatientName, "DOE^J").Pixels8({1, 2});
    TDicomStream b(f.Save(without, "b.dcm"));
    EXPECT_EQ(b.Position(), 8 + 6 + 8);
    EXPECT_EQ(b.GetElementString(DicomTag::PatientName, "x"), "DOE^J ");

    // Shorter than 132 bytes: walked from 0 as well.
    DicomWriter tiny(true, false);
    tiny.Pixels8({7});
    TDicomStream c(f.Save(tiny, "c.dcm"));
    EXPECT_EQ(c.Position(), 8);
}

TEST(DicomStreamOpen, FailuresAreClear)
{
    Files f;
    DicomWriter zeros;
    zeros.Header(0x00080020, 0).Header(0x00100010, 0).Header(0x00200013, 0);
    EXPECT_EQ(NoPixelData(f.Save(zeros, "z.dcm")), "EDicomError No pixel data.");

    WriteFile(f.dir.filePath("empty.dcm").toStdString(), "");
    EXPECT_EQ(NoPixelData(f.dir.filePath("empty.dcm").toStdString()), "EDicomError No pixel data.");

    // An explicit-VR file meta group: "UL" and its 16-bit length read as a 32-bit
    // length of 00044C55h, so the walk jumps away and finds nothing.
    DicomWriter explicitVr;
    explicitVr.Raw(std::string("\x02\x00\x00\x00\x55\x4C\x04\x00\x10\x00\x00\x00", 12));
    explicitVr.Pixels8({1, 2});
    EXPECT_EQ(NoPixelData(f.Save(explicitVr, "e.dcm")), "EDicomError No pixel data.");

    EXPECT_THROW(TDicomStream(f.dir.filePath("missing.dcm").toStdString()), EFOpenError);
}

TEST(DicomStreamWalk, BigEndianOddLengthsAndUndefinedLength)
{
    Files f;
    DicomWriter big(false);
    big.Header(0x00080020, 0).Text(0x00081030, "HEAD CT").U16(DicomTag::Rows, 0x0102).Pixels8({9, 9});
    TDicomStream s(f.Save(big, "big.dcm"));
    EXPECT_FALSE(s.LittleEndian);
    EXPECT_EQ(s.GetElementString(0x00081030, "N/A"), "HEAD CT ");
    s.SetPosition(132 + 8 + 8 + 8);
    uint32_t tag;
    ASSERT_TRUE(s.ReadTag(tag));
    EXPECT_EQ(tag, DicomTag::Rows);
    s.SetPosition(s.Position() + 4);
    uint16_t rows;
    ASSERT_TRUE(s.ReadWord(rows));
    EXPECT_EQ(rows, 0x0102);

    // Odd length 11: the next header follows after one pad byte.
    DicomWriter odd;
    odd.Header(0x00081030, 11, std::string("ELEVENBYTES") + '\0').Text(DicomTag::PatientName, "AB").Pixels8({1});
    TDicomStream o(f.Save(odd, "odd.dcm"));
    EXPECT_EQ(o.GetElementString(DicomTag::PatientName, "?"), "AB");
    EXPECT_EQ(o.GetElementString(0x00081030, "?"), "ELEVENBYTES");

    // An undefined length ends every walk.
    DicomWriter undefinedLength;
    undefinedLength.Header(0x00081030, 0xFFFFFFFF).Pixels8({1});
    EXPECT_EQ(NoPixelData(f.Save(undefinedLength, "u.dcm")), "EDicomError No pixel data.");

    // FFFFFFh as the first non-zero length selects big-endian.
    DicomWriter edge;
    edge.Header(0x00080020, 0x00FFFFFF);
    TDicomStream* none = nullptr;
    EXPECT_THROW(none = new TDicomStream(f.Save(edge, "edge.dcm")), EDicomError);
    delete none;
}

TEST(DicomStreamWalk, ShortReadsReportFailure)
{
    Files f;
    DicomWriter w;
    w.Pixels8({1, 2, 3});
    w.Raw("\x01\x02\x03");
    TDicomStream s(f.Save(w, "s.dcm"));
    s.SetPosition(s.Size() - 3);
    uint16_t v;
    EXPECT_TRUE(s.ReadWord(v));
    uint32_t d;
    EXPECT_FALSE(s.ReadDWord(d));
    s.SetPosition(s.Size() - 3);
    uint32_t tag;
    EXPECT_FALSE(s.ReadTag(tag));
}

TEST(DicomStreamLookup, GetElementStringRules)
{
    Files f;
    DicomWriter w;
    w.Text(DicomTag::ManufacturerModelName, "ARS").Header(DicomTag::SeriesDescription, 0);
    w.ItemStart(0).Text(DicomTag::PatientName, "FIRST").Text(DicomTag::EchoTime, "20").Pixels8({1, 2}).ItemEnd();
    w.ItemStart(0).Text(DicomTag::PatientName, "SECOND").Text(DicomTag::RepetitionTime, "500").Pixels8({3, 4}).ItemEnd();
    TDicomStream s(f.Save(w));
    EXPECT_TRUE(s.HasItems);
    EXPECT_EQ(s.GetElementString(DicomTag::ManufacturerModelName, "N/A"), "ARS ");
    EXPECT_EQ(s.GetElementString(DicomTag::SeriesDescription, "N/A"), "");
    EXPECT_EQ(s.GetElementString(DicomTag::PatientName, "N/A"), "FIRST ");
    EXPECT_EQ(s.GetElementString(DicomTag::EchoTime, "N/A"), "20");
    EXPECT_EQ(s.GetElementString(DicomTag::RepetitionTime, "N/A"), "N/A"); // second item only
    EXPECT_EQ(s.GetElementString(DicomTag::StudyDate, "N/A"), "N/A");

    // A value cut short by the end of the file gives what is there.
    DicomWriter cut;
    cut.Pixels8({1, 2}).Header(DicomTag::PatientName, 1000, "ABC");
    TDicomStream c(f.Save(cut, "cut.dcm"));
    EXPECT_EQ(c.GetElementString(DicomTag::PatientName, "x"), "ABC");
}

TEST(DicomStreamLookup, ItemsWithLengthAreSkippedWholeButScannedInto)
{
    Files f;
    // An item header with a non-zero length covering its content.
    DicomWriter inner(true, false);
    inner.Text(DicomTag::PatientName, "INSIDE").Pixels8({5, 6});
    DicomWriter w;
    w.Text(DicomTag::StudyDescription, "TOP");
    w.ItemStart(uint32_t(inner.Data().size())).Raw(inner.Data());
    w.Pixels8({7, 8});
    TDicomStream s(f.Save(w));
    EXPECT_TRUE(s.HasItems);
    const int64_t outerPixels = 132 + 12 + 8 + int64_t(inner.Data().size()) + 8;
    EXPECT_EQ(s.Position(), outerPixels); // the constructor skipped the item whole
    EXPECT_EQ(s.GetElementString(DicomTag::PatientName, "N/A"), "N/A"); // and so does the look-up
    s.ScanImages();
    ASSERT_EQ(s.ImageList.Count(), 1); // both pixel data share the item's key
    EXPECT_EQ(s.ImageList.Key(0), "   1");
    EXPECT_EQ(s.ImageList.Position(0), 132 + 12 + 8);
}

TEST(DicomStreamScan, InstanceNumbersOrderTheImages)
{
    Files f;
    DicomWriter w;
    w.Text(DicomTag::PatientName, "P");
    const int numbers[] = {3, 1, 2};
    std::vector<int64_t> starts;
    for (int n : numbers) {
        w.ItemStart();
        starts.push_back(int64_t(w.Data().size()));
        w.Text(DicomTag::InstanceNumber, std::to_string(n)).Pixels8({uint8_t(n), 0}).ItemEnd();
    }
    TDicomStream s(f.Save(w));
    s.ScanImages();
    ASSERT_EQ(s.ImageList.Count(), 3);
    EXPECT_EQ(s.ImageList.Key(0), "   1");
    EXPECT_EQ(s.ImageList.Key(2), "   3");
    EXPECT_EQ(s.ImageList.Position(0), starts[1]);
    EXPECT_EQ(s.ImageList.Position(1), starts[2]);
    EXPECT_EQ(s.ImageList.Position(2), starts[0]);
}

TEST(DicomStreamScan, MissingDuplicateAndInvalidNumbers)
{
    Files f;
    {
        DicomWriter w;
        std::vector<int64_t> starts;
        for (int i = 0; i < 2; ++i) {
            w.ItemStart();
            starts.push_back(int64_t(w.Data().size()));
            w.Pixels8({1, 2}).ItemEnd();
        }
        TDicomStream s(f.Save(w, "none.dcm"));
        s.ScanImages();
        ASSERT_EQ(s.ImageList.Count(), 2);
        EXPECT_EQ(s.ImageList.Position(0), starts[0]);
        EXPECT_EQ(s.ImageList.Position(1), starts[1]);
    }
    {
        DicomWriter w;
        std::vector<int64_t> starts;
        const std::string values[] = {"7 ", "7 ", "abc ", "-1", std::string(" 12\0zz", 6)};
        for (const std::string& n : values) {
            w.ItemStart();
            starts.push_back(int64_t(w.Data().size()));
            w.Element(DicomTag::InstanceNumber, n);
            w.Pixels8({1, 2}).ItemEnd();
        }
        TDicomStream s(f.Save(w, "dup.dcm"));
        s.ScanImages();
        // 7 (twice: the later wins), abc -> Count+1 = 2, -1 -> 3, " 12" -> 12.
        ASSERT_EQ(s.ImageList.Count(), 4);
        EXPECT_EQ(s.ImageList.Key(0), "   2");
        EXPECT_EQ(s.ImageList.Key(1), "   3");
        EXPECT_EQ(s.ImageList.Key(2), "   7");
        EXPECT_EQ(s.ImageList.Key(3), "  12");
        EXPECT_EQ(s.ImageList.Position(2), starts[1]);
        EXPECT_EQ(s.ImageList.Position(0), starts[2]);
        EXPECT_EQ(s.ImageList.Position(1), starts[3]);
    }
}

TEST(DicomStreamScan, LongAndTruncatedInstanceNumbers)
{
    Files f;
    DicomWriter w;
    w.ItemStart();
    // 300 characters: only the first 255 are looked at, and the walk resumes after the value.
    w.Element(DicomTag::InstanceNumber, std::string(299, ' ') + "5");
    w.Pixels8({1, 2}).ItemEnd();
    w.ItemStart();
    w.Element(DicomTag::InstanceNumber, "00000000000000000000000000000042");
    w.Pixels8({1, 2}).ItemEnd();
    w.ItemStart().Header(DicomTag::InstanceNumber, 5000, "9"); // cut short by the end of the file
    TDicomStream s(f.Save(w));
    s.ScanImages();
    ASSERT_EQ(s.ImageList.Count(), 2);
    EXPECT_EQ(s.ImageList.Key(0), "   1"); // 255 blanks: no number
    EXPECT_EQ(s.ImageList.Key(1), "  42");
}

TEST(DicomStreamMemory, AHeadReadingLoadsTheRestOnlyWhenAWalkNeedsIt)
{
    Files f;
    DicomWriter w;
    w.Text(DicomTag::PatientName, "DOE^J").Element(0x00091000, std::string(40000, 'x'));
    w.Text(DicomTag::StudyDescription, "FAR").Pixels8({1, 2, 3, 4});
    const std::string path = f.Save(w);
    TReadBuffer buffer;
    TDicomStream s(path, buffer, TDicomExtent::Headers);
    EXPECT_EQ(s.Size(), int64_t(w.Data().size()));
    EXPECT_EQ(s.GetElementString(DicomTag::PatientName, ""), "DOE^J ");
    EXPECT_EQ(s.GetElementString(DicomTag::StudyDescription, ""), "FAR ");
    s.ScanImages();
    ASSERT_EQ(s.ImageList.Count(), 1);
    uint8_t pixels[4] = {};
    s.SetPosition(int64_t(w.Data().size()) - 4);
    EXPECT_EQ(s.Read(pixels, 8), 4);
    EXPECT_EQ(pixels[3], 4);

    // The same bytes walked from memory that the caller owns.
    const std::string& bytes = w.Data();
    TDicomStream m(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(m.GetElementString(DicomTag::StudyDescription, ""), "FAR ");
    EXPECT_EQ(m.Write("x", 1), 0);
}

TEST(DicomStreamMemory, OnlyRegularFilesAreRead)
{
    Files f;
    const std::string pipe = f.dir.filePath("p.dcm").toStdString();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_THROW(TDicomStream s(pipe), EFOpenError); // at once: nobody writes to it
    EXPECT_THROW(TDicomStream s(f.dir.path().toStdString()), EFOpenError);
    EXPECT_THROW(TDicomStream s("/dev/zero"), EFOpenError);
}

TEST(DicomStreamScan, AHundredThousandItemsAreIndexedInOneSort)
{
    // Every other item numbered from the top down, the rest unnumbered: an
    // unnumbered item takes Count + 1 at its pixel data, which may meet a
    // number given earlier, and then the later item replaces the entry.
    DicomWriter w;
    constexpr int kItems = 100000;
    std::map<std::string, int64_t> expected;
    for (int i = 0; i < kItems; ++i) {
        const int64_t start = int64_t(w.Data().size()) + 8;
        w.ItemStart();
        int number = int(expected.size()) + 1;
        if (i % 2 == 0) {
            number = kItems - i;
            w.Text(DicomTag::InstanceNumber, std::to_string(number));
        }
        w.Pixels8({uint8_t(i)}).ItemEnd();
        char key[16];
        std::snprintf(key, sizeof key, "%4d", number);
        expected[key] = start;
    }
    const std::string& bytes = w.Data();
    TDicomStream s(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    s.ScanImages();
    ASSERT_EQ(s.ImageList.Count(), int(expected.size()));
    int i = 0;
    for (const auto& [key, start] : expected) {
        ASSERT_EQ(s.ImageList.Key(i), key);
        ASSERT_EQ(s.ImageList.Position(i), start) << key;
        ++i;
    }
    // A second scan adds nothing new and keeps the order.
    s.ScanImages();
    EXPECT_EQ(s.ImageList.Count(), int(expected.size()));
}
