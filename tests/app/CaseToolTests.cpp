#include "CaseFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out, err;
};

ToolRun Tool(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    env.remove("QT_QPA_PLATFORM"); // needs no platform plugin
    p.setProcessEnvironment(env);
    p.start(CALDRIS_CASE_TOOL, args);
    p.waitForFinished(60000);
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

TEST(CaseTool, InfoReportsAMixedCaseFieldByField)
{
    CaseFolder c;
    c.Pdf("report.pdf");
    ImageSpec latin{.value = 9, .instance = "1"};
    latin.patient = "M\xDCLLER^J"; // Latin-1, not UTF-8
    c.Single("one.dcm", latin);
    c.Tiff("scan.TIF", 1);
    const ToolRun r = Tool({"info", Q(c.Path())});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    ASSERT_FALSE(o.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(o["preview_count"].toInt(), 3);
    EXPECT_GE(o["total_ms"].toInt(), o["first_image_ms"].toInt());
    const QJsonArray stacks = o["stacks"].toArray();
    ASSERT_EQ(stacks.size(), 3);
    EXPECT_EQ(stacks[0].toObject()["source"].toString(), Q(c.File("report.pdf")));
    EXPECT_EQ(stacks[0].toObject()["frames"].toArray().size(), 0);
    EXPECT_EQ(stacks[1].toObject()["source"].toString(), Q(c.File("scan.TIF")));
    const QJsonObject tiffFrame = stacks[1].toObject()["frames"].toArray()[0].toObject();
    EXPECT_EQ(tiffFrame["width"].toInt(), 5);
    EXPECT_EQ(tiffFrame["height"].toInt(), 3);
    EXPECT_EQ(tiffFrame["format"].toString(), "ifGray256");
    EXPECT_EQ(tiffFrame["min"].toInt(), 0);
    const QJsonObject dicom = stacks[2].toObject();
    EXPECT_EQ(dicom["source"].toString(), "1.2.3 ^^");
    EXPECT_EQ(dicom["patient"].toString(), QString::fromLatin1("M\xDCLLER^J"));
    EXPECT_EQ(dicom["study"].toString(), "HEAD CT ");
    EXPECT_EQ(dicom["date"].toString(), "Mon May 17, 2004");
    EXPECT_EQ(dicom["referrer"].toString(), "DR^WHO");
    const QJsonObject frame = dicom["frames"].toArray()[0].toObject();
    EXPECT_EQ(frame["format"].toString(), "ifGray256");
    EXPECT_EQ(frame["window_center"].toInt(), 128);
    EXPECT_EQ(frame["window_width"].toInt(), 256);
}

TEST(CaseTool, RenderExportAndErrors)
{
    CaseFolder c;
    c.Multi("multi.dcm", {10, 20, 30});
    QTemporaryDir out;
    const QString png = out.filePath("f.png");
    ToolRun r = Tool({"render", Q(c.Path()), "0", "1", png});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QImage img(png);
    ASSERT_EQ(img.size(), QSize(4, 4));
    EXPECT_EQ(img.pixel(3, 3), qRgb(20, 20, 20));

    r = Tool({"export", Q(c.Path()), "0", out.filePath("series.tif")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo(out.filePath("series.tif")).size() > 0);
    r = Tool({"export", Q(c.Path()), "0", out.filePath("cut.dcm")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(out.filePath("cut-0003.dcm")));

    EXPECT_NE(Tool({"info", Q(c.File("missing"))}).exitCode, 0);
    r = Tool({"render", Q(c.Path()), "1", "0", png});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("series out of range"));
    EXPECT_NE(Tool({"render", Q(c.Path()), "0", "3", png}).exitCode, 0);
    EXPECT_NE(Tool({"export", Q(c.Path()), "0", out.filePath("no/such/dir/x.tif")}).exitCode, 0);
    EXPECT_NE(Tool({"bogus"}).exitCode, 0);
    r = Tool({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("caldris-case info FOLDER"));
}

TEST(CaseTool, ExportCopiesTheFilesOfAGroupedSeriesInDisplayOrder)
{
    CaseFolder c;
    const char* order[] = {"z.dcm", "s-0003.dcm", "a.dcm"}; // instance numbers 1, 2, 10
    for (int i = 0; i < 3; ++i)
        c.Single(order[i], {.value = uint8_t(i), .instance = i < 2 ? std::to_string(i + 1) : "10"});
    const auto bytes = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QTemporaryDir out;
    ASSERT_EQ(Tool({"export", Q(c.Path()), "0", out.filePath("ct.dcm")}).exitCode, 0);
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(bytes(out.filePath(QString("ct-000%1.dcm").arg(k))), bytes(Q(c.File(order[k - 1])))) << k;
    EXPECT_EQ(QDir(out.path()).count(), 2u + 3u);
    // Into the case folder, where a numbered name is a source's own: refused, nothing lost.
    const QByteArray source = bytes(Q(c.File(order[1])));
    const ToolRun onto = Tool({"export", Q(c.Path()), "0", Q(c.File("s.dcm"))});
    EXPECT_TRUE(onto.exitCode != 0 && onto.err.contains("series' own files")) << onto.err.toStdString();
    EXPECT_EQ(bytes(Q(c.File(order[1]))), source);
    EXPECT_FALSE(QFileInfo::exists(Q(c.File("s-0001.dcm"))));
}
