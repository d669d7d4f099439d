#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Sizes, dates and numbers are checked in the C locale's forms.
    qputenv("LC_ALL", "C");
    // Settings and cases go to scratch folders, never the user's own, and no
    // test reaches the desktop's keyring: a test that wants one starts its own.
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    if (!std::getenv("CALDRIS_TEST_KEYRING"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", home.filePath("no-bus").prepend("unix:path=").toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
