#pragma once
// The application object: reports an exception that escapes an event
// handler in a message box (abort-kind exceptions silently), and the window
// stays usable.
//
// Threads: UI thread only.
#include <QApplication>

#include <functional>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an escaped exception's message; replaceable (tests).
    static std::function<void(const QString& message)> ShowException;
    // Reports the exception in flight (call from a catch block).
    static void HandleException();
};
