// The FTP log for support: quiet by default; when its category is on, every
// command and reply, with the password masked.
#include "FtpServer.h"
#include "RemoteLog.h"
#include "TFtpConnection.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

QMutex gMutex;
QStringList gLines;

void Capture(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    QMutexLocker lock(&gMutex);
    gLines << QString::fromLatin1(context.category) + ": " + text;
}

QStringList LoginLog(bool on)
{
    QLoggingCategory::setFilterRules(on ? "caldris.*.debug=true" : "");
    FtpServer server;
    server.Start({"--user", "alice:s3cret!pw"});
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
