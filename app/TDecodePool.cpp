#include "TDecodePool.h"

#include "ThreadPriority.h"

#include <algorithm>

TDecodePool::TDecodePool(int workers)
{
    for (int i = 0; i < std::max(1, workers); ++i)
        m_threads.emplace_back([this] { WorkerLoop(); });
}

TDecodePool::~TDecodePool()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
        m_queue.clear();
    }
    m_queued.notify_all();
    m_threads.clear(); // joins
}

int TDecodePool::DefaultWorkers() { return int(std::max(1u, std::thread::hardware_concurrency())); }

std::shared_ptr<TDecodePool::TTicket> TDecodePool::Submit(TWork work)
{
    auto ticket = std::make_shared<TTicket>();
    ticket->work = std::move(work);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(ticket);
    }
    m_queued.notify_one();
    return ticket;
}

void TDecodePool::Wait(const TTicket& ticket)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_finished.wait(lock, [&] { return ticket.done; });
}

void TDecodePool::Withdraw(const std::shared_ptr<TTicket>& ticket)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto it = std::find(m_queue.begin(), m_queue.end(), ticket);
    if (it != m_queue.end()) {
        m_queue.erase(it);
        return;
    }
    m_finished.wait(lock, [&] { return ticket->done; });
}

void TDecodePool::WorkerLoop()
{
    LowerThreadPriority();
    TReadBuffer buffer;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [&] { return m_closing || !m_queue.empty(); });
        if (m_closing)
            return;
        std::shared_ptr<TTicket> ticket = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        try {
            ticket->work(buffer);
        } catch (...) {
            // The work records its own failures; nothing may leave a worker.
        }
        ticket->work = nullptr; // frees what the work held, off the lock
        buffer.Trim();
        lock.lock();
        ticket->done = true;
        m_finished.notify_all();
    }
}
