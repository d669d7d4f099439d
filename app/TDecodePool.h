#pragma once
// The case loader's decoding workers: one per core, at the loader's low
// priority, each with its own read buffer. Work is taken in the order it was
// queued; the loader waits for each piece in that order, so results are
// handed over in order however the workers finish.
//
// Threads: Submit, Wait, Withdraw and the destructor are called by the
// loader thread only; the work runs on the workers.
#include "TReadBuffer.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TDecodePool {
public:
    // The work must not throw; it reads files into the worker's buffer.
    using TWork = std::function<void(TReadBuffer&)>;
    struct TTicket {
        TWork work;
        bool done = false;
    };

    explicit TDecodePool(int workers);
    // Drops the queued work and waits for the running work.
    ~TDecodePool();
    TDecodePool(const TDecodePool&) = delete;
    TDecodePool& operator=(const TDecodePool&) = delete;

    int Workers() const { return int(m_threads.size()); }
    std::shared_ptr<TTicket> Submit(TWork work);
    // Returns when the ticket's work has run.
    void Wait(const TTicket& ticket);
    // Takes the ticket's work off the queue if it has not started, else
    // waits for it.
    void Withdraw(const std::shared_ptr<TTicket>& ticket);

    // Number of cores to decode on.
    static int DefaultWorkers();

private:
    void WorkerLoop();

    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_finished;
    std::deque<std::shared_ptr<TTicket>> m_queue;
    bool m_closing = false;
    std::vector<std::jthread> m_threads;
};
