#include "DicomLoad.h"
#include "ExamFile.h"
#include "ReadExamInfo.h"

#include <gtest/gtest.h>

#include <QDir>

#include <string>

namespace {

struct Preset {
    int center, width;
    bool operator==(const Preset&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Preset& p) { return os << p.center << "/" << p.width; }

Preset Read(const TestFolder& folder, const std::string& fileName, int n)
{
    TDicomGraphic g;
    g.SetExamPreset(11, 22); // replaced by the call, also by "none"
    ReadExamInfo(g, folder.Folder(), fileName, n);
    return {g.ExamCenter(), g.ExamWidth()};
}

TestFolder WithExamFile(const ExamFile& file, const std::string& name = "Exam Info.dat")
{
    TestFolder folder;
    WriteFile(folder.Path(name), file.Data());
    return folder;
}

} // namespace

TEST(ExamInfoRecords, CounterAfterSeriesAndExactName)
{
    ExamFile f;
    f.Chunk("Prep", "abc").Seri().Imag("A.KF", 100, 0).Imag("A.KF", 300, 100).Imag("A.KF", 1200, 200);
    f.Chunk("Read", std::string(5, 'r'));
    auto folder = WithExamFile(f);
    EXPECT_EQ(Read(folder, "A.KF", 3), (Preset{700, 1000}));
    EXPECT_EQ(Read(folder, "A.KF", 1), (Preset{50, 100}));
    EXPECT_EQ(Read(folder, "a.kf", 3), (Preset{0, 0})); // names are case-sensitive
    EXPECT_EQ(Read(folder, "A.KF", 4), (Preset{0, 0}));
}

TEST(ExamInfoRecords, SeriesResetsTheCounterAndLaterMatchesReplace)
{
    ExamFile f;
    f.Seri().Imag("B", 1000, 0).Seri().Imag("A", 500, 100).Imag("B", 30, 10);
    auto folder = WithExamFile(f);
    // Image 1 of B: the first series' record; in the second series B is record 2.
    EXPECT_EQ(Read(folder, "B", 1), (Preset{500, 1000}));
    EXPECT_EQ(Read(folder, "B", 2), (Preset{20, 20}));
    // Image 1 of A: the second series' first record.
    EXPECT_EQ(Read(folder, "A", 1), (Preset{300, 400}));

    ExamFile other; // a first record of another name: image 1 never matches
    other.Seri().Imag("X", 10, 0).Imag("A", 100, 0);
    EXPECT_EQ(Read(WithExamFile(other), "A", 1), (Preset{0, 0}));

    ExamFile twice;
    twice.Seri().Imag("A", 100, 0).Seri().Imag("A", 400, 200);
    EXPECT_EQ(Read(WithExamFile(twice), "A", 1), (Preset{300, 200}));
}

TEST(ExamInfoRecords, SixteenBitArithmetic)
{
    ExamFile swapped;
    swapped.Seri().Imag("A", 200, 1200);
    EXPECT_EQ(Read(WithExamFile(swapped), "A", 1), (Preset{700, -1000}));
    ExamFile odd;
    odd.Seri().Imag("A", 1201, 200);
    EXPECT_EQ(Read(WithExamFile(odd), "A", 1), (Preset{700, 1001}));
    ExamFile wraps; // 32767 - (-32768) wraps to -1
    wraps.Seri().Imag("A", 32767, -32768);
    EXPECT_EQ(Read(WithExamFile(wraps), "A", 1), (Preset{-32768, -1}));
}

TEST(ExamInfoRecords, RecordsBeforeAnySeriesCountToo)
{
    ExamFile f;
    f.Imag("A", 20, 10);
    EXPECT_EQ(Read(WithExamFile(f), "A", 1), (Preset{15, 10}));
}

TEST(ExamInfoFile, MissingWrongOrUnreadableFilesGiveNoPreset)
{
    TestFolder empty;
    EXPECT_EQ(Read(empty, "A", 1), (Preset{0, 0}));

    ExamFile notExam;
    notExam.Seri().Imag("A", 20, 10);
    std::string data = notExam.Data();
    data[0] = 'X';
    TestFolder wrong;
    WriteFile(wrong.Path("Exam Info"), data);
    EXPECT_EQ(Read(wrong, "A", 1), (Preset{0, 0}));

    TestFolder folderNamed;
    ASSERT_TRUE(QDir(QString::fromStdString(folderNamed.Folder())).mkdir("Exam Info dir"));
    EXPECT_EQ(Read(folderNamed, "A", 1), (Preset{0, 0}));

    TestFolder missingFolder;
    TDicomGraphic g;
    ReadExamInfo(g, missingFolder.Path("nowhere/"), "A", 1);
    EXPECT_EQ(g.ExamWidth(), 0);
}

TEST(ExamInfoFile, NamePrefixMatchIgnoresOtherFiles)
{
    ExamFile f;
    f.Seri().Imag("A", 20, 10);
    TestFolder folder;
    WriteFile(folder.Path("A"), "not this");
    WriteFile(folder.Path("Exam Info 2024.bin"), f.Data());
    EXPECT_EQ(Read(folder, "A", 1), (Preset{15, 10}));
}

TEST(ExamInfoChunks, LongBodiesArePassedOverWhole)
{
    // A 1000-byte "Imag" body: its head is the record, the rest is skipped,
    // and the next chunk is read in step.
    ExamFile f;
    f.Seri().Imag("A", 100, 0, 1000).Imag("A", 400, 200, 400).Chunk("Seri", 5000, std::string(5000, '\x7f'));
    f.Imag("Z", 1, 0);
    auto folder = WithExamFile(f);
    EXPECT_EQ(Read(folder, "A", 1), (Preset{50, 100}));
    EXPECT_EQ(Read(folder, "A", 2), (Preset{300, 200}));
    EXPECT_EQ(Read(folder, "Z", 1), (Preset{0, 1})); // after the long "Seri": counter 1
}

TEST(ExamInfoChunks, CutShortChunksEndTheScan)
{
    ExamFile shortBody; // body cut inside the limits: missing bytes read as 0
    shortBody.Seri().Chunk("Imag", 38, std::string("\x01" "A", 2) + std::string(33, '\0') + "\x64");
    EXPECT_EQ(Read(WithExamFile(shortBody), "A", 1), (Preset{50, 100}));

    ExamFile shortLength; // a length field of two bytes: the scan ends
    shortLength.Seri().Imag("A", 20, 10).Raw(std::string("Imag\x00\x00", 6));
    EXPECT_EQ(Read(WithExamFile(shortLength), "A", 1), (Preset{15, 10}));

    ExamFile huge; // a length far beyond the file
    huge.Seri().Imag("A", 20, 10).Chunk("Imag", 0xFFFFFFFFu, "");
    EXPECT_EQ(Read(WithExamFile(huge), "A", 1), (Preset{15, 10}));
}

TEST(ExamInfoChunks, PresetReachesTheDecodedWindow)
{
    ExamFile f;
    f.Seri().Imag("img.dcm", 1200, 200);
    TestFolder folder = WithExamFile(f);
    DicomWriter w = DicomWriter::Gray16(1, 2, {200, 1200});
    w.Save(folder.Path("img.dcm"));
    TDicomStream stream(folder.Path("img.dcm"));
    stream.ScanImages();
    TDicomGraphic g;
    ReadExamInfo(g, folder.Folder(), "img.dcm", 1);
    g.LoadImage(stream, 1);
    int32_t c, wd;
    g.GetWindow(c, wd);
    EXPECT_EQ(c, 128);
    EXPECT_EQ(wd, 255);
}
