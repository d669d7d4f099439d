// A second demo start while one runs only hands over to the running viewer:
// no second server, the first one's settings file untouched.
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

bool WaitForFile(const QString& path, int ms = 60000)
{
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(path) && t.elapsed() < ms)
        QThread::msleep(50);
    return QFile::exists(path);
}

void Script(const QString& path, const QByteArray& body)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body);
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

TEST(DemoRun, SecondStartOnlyHandsOverToTheRunningViewer)
{
    QTemporaryDir dir;
    // A build tree of the demo's own: the real case generator, a stand-in viewer.
    const QString build = dir.filePath("build");
    ASSERT_TRUE(QDir().mkpath(build + "/tools/demo"));
    ASSERT_TRUE(QFile::link(MAKE_DEMO_CASES, build + "/tools/demo/make_demo_cases"));
    const QString first = dir.filePath("first.sh"), second = dir.filePath("second.sh");
    Script(first, "echo \"$CALDRIS_INI\" > \"$0.started\"\n"
                  "while [ ! -f \"$0.stop\" ]; do sleep 0.05; done\n");
    Script(second, "echo \"$CALDRIS_INI\" > \"$0.started\"\n");

    QProcess running;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CALDRIS_DEMO_PROGRAM", first);
    running.setProcessEnvironment(env);
    running.setProcessChannelMode(QProcess::MergedChannels);
    running.start("bash", {CALDRIS_SOURCE_DIR "/tools/run-demo.sh", build});
    ASSERT_TRUE(WaitForFile(first + ".started")) << running.readAll().toStdString();
    const QString ini = build + "/demo/caldris.ini";
    QFile settings(ini);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray before = settings.readAll();
    settings.close();
    const QDateTime written = QFileInfo(ini).lastModified();
    const QByteArray portLine = [&] {
        QFile f(build + "/demo/server.out");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    QProcess again;
    env.insert("CALDRIS_DEMO_PROGRAM", second);
    again.setProcessEnvironment(env);
    again.setProcessChannelMode(QProcess::MergedChannels);
    again.start("bash", {CALDRIS_SOURCE_DIR "/tools/run-demo.sh", build});
    ASSERT_TRUE(again.waitForFinished(20000));
    const QString out = QString::fromUtf8(again.readAll());
    EXPECT_EQ(again.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("already running")) << out.toStdString();
    ASSERT_TRUE(QFile::exists(second + ".started"));
    QFile handed(second + ".started");
    ASSERT_TRUE(handed.open(QIODevice::ReadOnly));
    EXPECT_EQ(handed.readAll().trimmed(), ini.toUtf8()) << "the viewer finds the running demo's settings";
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), before);
    EXPECT_EQ(QFileInfo(ini).lastModified(), written);
    QFile port(build + "/demo/server.out");
    ASSERT_TRUE(port.open(QIODevice::ReadOnly));
    EXPECT_EQ(port.readAll(), portLine) << "no second server";

    QFile(first + ".stop").open(QIODevice::WriteOnly);
    ASSERT_TRUE(running.waitForFinished(20000));
    EXPECT_EQ(running.exitCode(), 0) << running.readAll().toStdString();
}
