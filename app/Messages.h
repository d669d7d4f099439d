#pragma once
// The two window messages between the program's own windows, posted to the
// main window as custom events (no parameters).
#include <QEvent>

constexpr int WM_USER = 0x0400;        // the about box closed
constexpr int ViewCaseMessage = 0x0401; // the download manager opens a case

inline QEvent::Type MessageEventType(int message) { return QEvent::Type(QEvent::User + message); }
// Posts the message to receiver (nothing when it is null).
void PostMessage(QObject* receiver, int message);
