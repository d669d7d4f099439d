#pragma once
// Logging categories of the remote cases, for support. Quiet unless turned
// on (caldris --verbose or CALDRIS_DEBUG=1 turn on "caldris.*.debug").
//
// Threads: any; Qt's logging is thread-safe.
#include <QLoggingCategory>
#include <QString>

#include <string>

// "caldris.ftp": every FTP command and reply, passwords masked.
Q_DECLARE_LOGGING_CATEGORY(lcFtp)
// "caldris.workers": the listing and download workers' cases and failures.
Q_DECLARE_LOGGING_CATEGORY(lcWorkers)

namespace RemoteLog {

// Sends libcurl's protocol trace of an easy handle to lcFtp while that
// category is on; does nothing otherwise.
void TraceFtp(void* easy);
// A protocol line as logged: the argument of PASS replaced by "****".
std::string Masked(const std::string& line);
// A text as written to the log: every control character (C0, DEL, C1) as
// "\x1b", so that a server's reply cannot steer the terminal that shows it.
QString Printable(const QString& text);
// One message as the program's log writes it: "category: " + the formatted
// message, made printable.
QByteArray LogLine(QtMsgType type, const QMessageLogContext& context, const QString& text);

} // namespace RemoteLog
