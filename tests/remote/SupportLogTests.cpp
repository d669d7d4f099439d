// The FTP log for support: quiet by default; when its category is on, every
// command and reply, with the password masked.
#include "FtpServer.h"
#include "RemoteLog.h"
#include "TFtpConnection.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

QMutex gMutex;
QStringList gLines;

// As the program's log writes each message.
void Capture(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    QMutexLocker lock(&gMutex);
    gLines << QString::fromLocal8Bit(RemoteLog::LogLine(type, context, text));
}

QStringList LoginLog(bool on, const QStringList& serverArguments = {})
{
    QLoggingCategory::setFilterRules(on ? "caldris.*.debug=true" : "");
    FtpServer server;
    server.Start(QStringList{"--user", "alice:s3cret!pw"} + serverArguments);
    {
        QMutexLocker lock(&gMutex);
        gLines.clear();
    }
    const QtMessageHandler old = qInstallMessageHandler(&Capture);
    TFtpConnection ftp;
    ftp.Settings.Host = "127.0.0.1";
    ftp.Settings.Port = server.Port();
    ftp.Settings.User = "alice";
    ftp.Settings.Password = "s3cret!pw";
    ftp.Connect();
    ftp.Disconnect();
    qInstallMessageHandler(old);
    QLoggingCategory::setFilterRules("");
    QMutexLocker lock(&gMutex);
    return gLines;
}

} // namespace

TEST(SupportLog, FtpCommandsAndRepliesWithThePasswordMasked)
{
    EXPECT_TRUE(LoginLog(false).isEmpty()) << LoginLog(false).join("\n").toStdString();

    const QStringList lines = LoginLog(true);
    const QString all = lines.join("\n");
    EXPECT_TRUE(all.contains("caldris.ftp: > USER alice")) << all.toStdString();
    EXPECT_TRUE(all.contains("caldris.ftp: > PASS ****")) << all.toStdString();
    EXPECT_TRUE(all.contains("caldris.ftp: < 230")) << all.toStdString();
    EXPECT_FALSE(all.contains("s3cret")) << all.toStdString();

    EXPECT_EQ(RemoteLog::Masked("PASS x y"), "PASS ****");
    EXPECT_EQ(RemoteLog::Masked("USER pass"), "USER pass");
}

// A greeting that would retitle and recolour the terminal reaches the log
// with every control character written out.
TEST(SupportLog, ServerTextsAreLoggedWithTheirControlCharactersEscaped)
{
    const QString all = LoginLog(true, {"--banner", "\\x1b]0;owned\\x07\\x1b[31mred\\u009b2J"}).join("\n");
    EXPECT_TRUE(all.contains("< 220 \\x1b]0;owned\\x07\\x1b[31mred\\x9b2J")) << all.toStdString();
    const auto controls = std::count_if(all.begin(), all.end(), [](QChar c) {
        return c != '\n' && (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F));
    });
    EXPECT_EQ(controls, 0) << all.toStdString();
}
