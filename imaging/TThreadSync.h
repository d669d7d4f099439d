#pragma once
// Runs a worker thread's calls on the UI thread while the worker waits
// ("synchronised calls"), and lets the UI thread wait for a worker's end while
// still serving those calls, so that a worker blocked in a call can finish it
// and end (a plain QThread::wait() would deadlock there).
//
// Threads: construct on the UI thread (the object's thread). Synchronize() is
// called by the worker; WaitFor() by the UI thread. Calls made by the object's
// own thread run directly.
#include <QObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

class TThreadSync : public QObject {
public:
    TThreadSync();
    ~TThreadSync() override;

    // Runs call on the UI thread and returns when it has run; an exception
    // thrown by the call is rethrown here, in the worker.
    void Synchronize(const std::function<void()>& call);
    // Serves pending calls until the thread has finished.
    void WaitFor(QThread* thread);
    // Runs every pending call now (UI thread).
    void CheckSynchronize();

protected:
    bool event(QEvent* e) override;

private:
    struct Call {
        std::function<void()> fn;
        std::exception_ptr error;
        bool done = false;
    };
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::shared_ptr<Call>> m_pending;
};
