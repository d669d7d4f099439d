#include "TApplication.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

// The toolkit's PDF view leaks its flick-gesture recogniser and its page
// renderer's thread, and its document loader leaks on a file that is no PDF,
// inside the library, whatever their owner does. Matching
// the suppression needs full allocation stacks.
extern "C" const char* __lsan_default_suppressions() { return "leak:QPdfView::QPdfView\nleak:QPdfDocumentPrivate\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("LC_ALL", "C", 1);
    // No test reaches the desktop's keyring or the user's own settings and cases.
    QTemporaryDir home;
    setenv("DBUS_SESSION_BUS_ADDRESS", qPrintable("unix:path=" + home.filePath("no-bus")), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.filePath("config")), 1);
    setenv("XDG_CACHE_HOME", qPrintable(home.filePath("cache")), 1);
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
