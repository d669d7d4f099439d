// Every tool under tools/ answers --help with its usage and writes nothing;
// an unknown option is refused instead of being taken for a folder name.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Tool {
    QString program;
    QStringList leading; // e.g. the script for an interpreter
};

std::vector<Tool> AllTools()
{
    const QString tools = QStringLiteral(CALDRIS_SOURCE_DIR "/tools/");
    std::vector<Tool> all;
    for (const char* binary : {TOOL_BINARIES})
        all.push_back({QString::fromUtf8(binary), {}});
    for (const char* script : {"run-demo.sh", "bench/download-bench.sh", "bench/list-bench.sh", "bench/load-bench.sh",
                               "screenshot/screenshot.sh", "screenshot/flow-shots.sh"})
        all.push_back({"bash", {tools + script}});
    for (const char* script : {"bench/download_bench.py", "bench/list_bench.py", "bench/load_bench.py", "demo/demo_server.py"})
        all.push_back({DEMO_PYTHON, {tools + script}});
    return all;
}

} // namespace

TEST(ToolOptions, EveryToolAnswersHelpAndRefusesStrayOptions)
{
    for (const Tool& tool : AllTools()) {
        const std::string name = (tool.leading.isEmpty() ? tool.program : tool.leading.last()).toStdString();
        QTemporaryDir cwd;
        QProcess p;
        p.setWorkingDirectory(cwd.path());
        p.start(tool.program, tool.leading + QStringList{"--help"});
        ASSERT_TRUE(p.waitForFinished(20000)) << name;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << name;
        EXPECT_EQ(p.exitCode(), 0) << name << p.readAllStandardError().toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().toLower().contains("usage")) << name;
        EXPECT_TRUE(QDir(cwd.path()).isEmpty()) << name << " wrote into its folder";
    }
    for (const char* binary : {TOOL_BINARIES}) {
        QTemporaryDir cwd;
        QProcess p;
        p.setWorkingDirectory(cwd.path());
        p.start(QString::fromUtf8(binary), {"--no-such-option"});
        ASSERT_TRUE(p.waitForFinished(20000)) << binary;
        EXPECT_EQ(p.exitCode(), 2) << binary;
        EXPECT_TRUE(QDir(cwd.path()).isEmpty()) << binary;
    }
}
