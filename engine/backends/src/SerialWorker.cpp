#include <OrvintaEngine/SerialWorker.h>

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace Orvinta {

struct SerialWorker::Queue {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;

    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock guard(lock);
                wake.wait(guard, [this] { return stopping || !jobs.empty(); });
                if (stopping)
                    return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            try {
                job();
            } catch (...) {
            }
            job = nullptr; // its captures go before the next job starts
        }
    }
};

SerialWorker::SerialWorker(std::string threadName)
    : m_queue(std::make_shared<Queue>())
    , m_thread([queue = m_queue] { queue->run(); }) {
    threadName.resize(std::min<std::size_t>(threadName.size(), 15)); // the kernel's limit
    pthread_setname_np(m_thread.native_handle(), threadName.c_str());
}

SerialWorker::~SerialWorker() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard guard(m_queue->lock);
        m_queue->stopping = true;
        dropped.swap(m_queue->jobs);
    }
    m_queue->wake.notify_all();
    // Destroyed outside the lock: a dropped job's captures may report that it
    // never ran.
    dropped.clear();
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach(); // the last owner let go inside a job; the queue lives on with the thread
    else
        m_thread.join();
}

void SerialWorker::post(std::function<void()> job) {
    {
        std::lock_guard guard(m_queue->lock);
        if (m_queue->stopping)
            return;
        m_queue->jobs.push_back(std::move(job));
    }
    m_queue->wake.notify_one();
}

} // namespace Orvinta
