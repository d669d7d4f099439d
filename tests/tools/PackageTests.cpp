// The package check refuses what group or others could write, under a
// builder's umask of 002 too.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Package, TheCheckRefusesWhatGroupOrOthersCouldWrite)
{
    for (const char* mode : {"0755", "0775", "0757"}) {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("stage/DEBIAN"));
        QFile control(dir.filePath("stage/DEBIAN/control"));
        ASSERT_TRUE(control.open(QIODevice::WriteOnly));
        control.write("Package: caldris\nVersion: 0-1\nArchitecture: all\nMaintainer: t <t@example.org>\n"
                      "Description: t\n");
        control.close();
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("sh", {"-c",
                       "umask 002 && mkdir -p \"$1/stage/etc/caldris\" && chmod 0755 \"$1/stage\" \"$1/stage/etc\" && "
                       "chmod \"$2\" \"$1/stage/etc/caldris\" && "
                       "dpkg-deb --root-owner-group -b \"$1/stage\" \"$1/t.deb\" >/dev/null && \"$3\" \"$1/t.deb\"",
                       "sh", dir.path(), mode, CALDRIS_SOURCE_DIR "/packaging/check-package.sh"});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAll());
        const bool writable = QByteArray(mode) != "0755";
        // Its file list is wrong in any case; the folder modes are checked first.
        EXPECT_NE(p.exitCode(), 0) << out.toStdString();
        EXPECT_EQ(out.contains("writable by group or others"), writable) << mode << out.toStdString();
        EXPECT_EQ(out.contains("/etc/caldris\n"), writable) << mode << out.toStdString();
    }
}
