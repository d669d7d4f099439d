// The demo case generator's tree, loaded by the case tool as the viewer
// loads it: every case with its series, frames and windows.
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

QString g_tree; // the generated tree, made once for all tests here

class DemoCases : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        QProcess p;
        p.start(MAKE_DEMO_CASES, {s_dir->path()});
        ASSERT_TRUE(p.waitForFinished(120000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        g_tree = s_dir->path() + "/referring/";
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    // The case tool's account of one study folder of the tree.
    static QJsonObject Info(const QString& study)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C");
        p.setProcessEnvironment(env);
        p.start(CALDRIS_CASE_TOOL, {"info", g_tree + study + "/"});
        p.waitForFinished(120000);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }
    static std::vector<int> FrameCounts(const QJsonObject& info)
    {
        std::vector<int> counts;
        for (const QJsonValue& s : info["stacks"].toArray())
            counts.push_back(int(s.toObject()["frames"].toArray().size()));
        return counts;
    }
    static QJsonObject Stack(const QJsonObject& info, int i) { return info["stacks"].toArray()[i].toObject(); }
    static QJsonObject Frame(const QJsonObject& info, int stack, int frame)
    {
        return Stack(info, stack)["frames"].toArray()[frame].toObject();
    }

    static std::unique_ptr<QTemporaryDir> s_dir;
};

std::unique_ptr<QTemporaryDir> DemoCases::s_dir;

// Stored units to the palette's 0..255 scale of a frame's own sample range.
int Palette(int stored, const QJsonObject& frame)
{
    const int range = frame["max"].toInt() - frame["min"].toInt();
    return int(std::lround(double(stored) * 255.0 / range));
}

bool EveryFrameIs(const QJsonObject& stack, int width, int height, const char* format)
{
    for (const QJsonValue& f : stack["frames"].toArray()) {
        const QJsonObject o = f.toObject();
        if (o["width"].toInt() != width || o["height"].toInt() != height || o["format"].toString() != format)
            return false;
    }
    return true;
}

} // namespace

TEST_F(DemoCases, TreeHasThreeGroupsThreePatientsAndFiveDatedStudies)
{
    QStringList studies;
    for (const QString& g : QDir(g_tree).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& p : QDir(g_tree + g).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& s : QDir(g_tree + g + "/" + p).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                studies << g + "/" + p + "/" + s;
    EXPECT_EQ(studies, QStringList({
                           "cardiology/Brennan^Thomas!P20871/Cardiac Cine!2026.10.21",
                           "neurology/Ambrose^Helen!P10234/Brain MR!2026.11.05",
                           "neurology/Ambrose^Helen!P10234/Head CT!2026.11.02",
                           "neurology/Dunmore^Arthur!P10777/Follow-up CT!2026.12.01",
                           "orthopaedics/Castillo^Maria!P30455/Knee MR!2026.09.14",
                       }));
}

TEST_F(DemoCases, HeadCtIsAReportAndTwoStacksSplitByRepetitionTime)
{
    const QJsonObject info = Info("neurology/Ambrose^Helen!P10234/Head CT!2026.11.02");
    EXPECT_EQ(FrameCounts(info), std::vector<int>({0, 16, 16}));
    EXPECT_EQ(info["preview_count"].toInt(), 3);
    EXPECT_TRUE(Stack(info, 0)["source"].toString().endsWith("/Report.pdf"));
    EXPECT_EQ(Stack(info, 1)["source"].toString(), "1.2.826.0.1.3680043.9.7.1.1 ^500 ^");
    EXPECT_EQ(Stack(info, 2)["source"].toString(), "1.2.826.0.1.3680043.9.7.1.1 ^1000^");
    EXPECT_EQ(Stack(info, 1)["patient"].toString(), "AMBROSE^HELEN ");
    EXPECT_EQ(Stack(info, 1)["date"].toString(), "Mon Nov 2, 2026");
    for (int s = 1; s <= 2; ++s) {
        EXPECT_TRUE(EveryFrameIs(Stack(info, s), 256, 256, "ifGray256"));
        // Brain window 40/80 HU through the intercept of -1024: stored 1064/80.
        const QJsonObject f = Frame(info, s, 0);
        EXPECT_LT(f["min"].toInt(), 100);   // air
        EXPECT_GT(f["max"].toInt(), 1800);  // skull
        EXPECT_EQ(f["window_center"].toInt(), Palette(1064 - f["min"].toInt(), f));
        EXPECT_EQ(f["window_width"].toInt(), Palette(80, f));
    }
}

TEST_F(DemoCases, BrainMrTakesItsWindowFromTheExamInformationFile)
{
    const QJsonObject info = Info("neurology/Ambrose^Helen!P10234/Brain MR!2026.11.05");
    EXPECT_EQ(FrameCounts(info), std::vector<int>({20}));
    EXPECT_TRUE(Stack(info, 0)["source"].toString().endsWith("/MR000001"));
    EXPECT_TRUE(EveryFrameIs(Stack(info, 0), 256, 256, "ifGray256"));
    // Limits 1000 and 200 give centre 600 and width 800, not the header's 400/1200.
    for (const QJsonValue& v : Stack(info, 0)["frames"].toArray()) {
        const QJsonObject f = v.toObject();
        EXPECT_EQ(f["window_center"].toInt(), Palette(600 - f["min"].toInt(), f));
        EXPECT_EQ(f["window_width"].toInt(), Palette(800, f));
        EXPECT_NE(f["window_center"].toInt(), Palette(400 - f["min"].toInt(), f));
        EXPECT_NE(f["window_width"].toInt(), Palette(1200, f));
    }
}

TEST_F(DemoCases, FollowUpCtIsTwoStacksOfEight)
{
    const QJsonObject info = Info("neurology/Dunmore^Arthur!P10777/Follow-up CT!2026.12.01");
    EXPECT_EQ(FrameCounts(info), std::vector<int>({8, 8}));
    EXPECT_EQ(Stack(info, 0)["patient"].toString(), "DUNMORE^ARTHUR");
}

TEST_F(DemoCases, CardiacCaseIsACineFileThenColourJpegImages)
{
    const QJsonObject info = Info("cardiology/Brennan^Thomas!P20871/Cardiac Cine!2026.10.21");
    EXPECT_EQ(FrameCounts(info), std::vector<int>({24, 4}));
    EXPECT_TRUE(Stack(info, 0)["source"].toString().endsWith("/CINE0001.KF"));
    EXPECT_TRUE(EveryFrameIs(Stack(info, 0), 192, 192, "ifGray256"));
    EXPECT_TRUE(EveryFrameIs(Stack(info, 1), 320, 240, "ifTrueColor"));
    EXPECT_EQ(Stack(info, 1)["date"].toString(), "Wed Oct 21, 2026");
}

TEST_F(DemoCases, KneeCaseIsAReportKeyImagesAndLosslessJpegSlices)
{
    const QJsonObject info = Info("orthopaedics/Castillo^Maria!P30455/Knee MR!2026.09.14");
    EXPECT_EQ(FrameCounts(info), std::vector<int>({0, 2, 12}));
    EXPECT_TRUE(Stack(info, 1)["source"].toString().endsWith("/KEYIMAGES.TIF"));
    EXPECT_EQ(Frame(info, 1, 0)["format"].toString(), "ifGray256");
    EXPECT_EQ(Frame(info, 1, 1)["format"].toString(), "ifTrueColor");
    EXPECT_TRUE(EveryFrameIs(Stack(info, 2), 256, 256, "ifGray256"));
    const QJsonObject f = Frame(info, 2, 6);
    EXPECT_GT(f["max"].toInt(), 3000); // 12-bit samples came through the lossless decoder
    EXPECT_LE(f["max"].toInt(), 4095);
    EXPECT_EQ(f["window_center"].toInt(), Palette(1600 - f["min"].toInt(), f));
}

TEST_F(DemoCases, ReportsAreOnePagePdfsThatOpen)
{
    for (const char* study : {"neurology/Ambrose^Helen!P10234/Head CT!2026.11.02",
                              "orthopaedics/Castillo^Maria!P30455/Knee MR!2026.09.14"}) {
        QPdfDocument pdf;
        ASSERT_EQ(pdf.load(g_tree + study + "/Report.pdf"), QPdfDocument::Error::None) << study;
        EXPECT_EQ(pdf.pageCount(), 1);
        EXPECT_TRUE(pdf.getAllText(0).text().startsWith("Report")) << pdf.getAllText(0).text().toStdString();
    }
}
