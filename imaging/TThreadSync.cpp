#include "TThreadSync.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <chrono>

namespace {
const QEvent::Type kSyncEvent = QEvent::Type(QEvent::User + 77);
}

TThreadSync::TThreadSync() = default;

TThreadSync::~TThreadSync() = default;

void TThreadSync::Synchronize(const std::function<void()>& call)
{
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    auto item = std::make_shared<Call>();
    item->fn = call;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.push_back(item);
    }
    m_cv.notify_all(); // wakes a UI thread that is waiting in WaitFor
    QCoreApplication::postEvent(this, new QEvent(kSyncEvent));
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [&] { return item->done; });
    if (item->error)
        std::rethrow_exception(item->error);
}

void TThreadSync::CheckSynchronize()
{
    for (;;) {
        std::shared_ptr<Call> item;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pending.empty())
                return;
            item = m_pending.front();
            m_pending.pop_front();
        }
        try {
            item->fn();
        } catch (...) {
            item->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            item->done = true;
        }
        m_cv.notify_all();
    }
}

void TThreadSync::WaitFor(QThread* thread)
{
    for (;;) {
        CheckSynchronize();
        if (thread->isFinished())
            break;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(2), [&] { return !m_pending.empty(); });
    }
    thread->wait();
}

bool TThreadSync::event(QEvent* e)
{
    if (e->type() == kSyncEvent) {
        CheckSynchronize();
        return true;
    }
    return QObject::event(e);
}
