#pragma once
// The program's log for support: quiet by default; "caldris --verbose" or
// CALDRIS_DEBUG=1 turn on the categories caldris.ftp (commands and replies,
// passwords masked), caldris.workers and caldris.loader, written to stderr.
//
// Threads: Enable runs once on the main thread before the application object;
// the categories are used from any thread.
#include <QLoggingCategory>

// "caldris.loader": the case loader's files, skips and failures.
Q_DECLARE_LOGGING_CATEGORY(lcLoader)

namespace SupportLog {

// Removes every "--verbose" from the arguments; true when the log is wanted
// (the option, or CALDRIS_DEBUG set to anything but empty or 0).
bool Wanted(int& argc, char** argv);
// Turns the categories on and sends every message to stderr.
void Enable();

} // namespace SupportLog
