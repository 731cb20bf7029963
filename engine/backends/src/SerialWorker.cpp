#include <OrvintaEngineBackends/SerialWorker.h>

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <iostream>
#include <mutex>

namespace Orvinta {

struct SerialWorker::Queue {
    std::string name;
    JobFailureHandler onJobFailure;
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> jobs;
    bool running = false;
    bool stopping = false;

    bool isIdle() const { return (jobs.empty() || stopping) && !running; }

    void report(const std::string &description) const {
        if (onJobFailure)
            onJobFailure(name, description);
        else
            std::cerr << "orvinta: a job on " << name << " failed: " << description << std::endl;
    }

    void runJob(std::function<void()> &job) const {
        try {
            job();
        } catch (const std::exception &error) {
            report(error.what());
        } catch (...) {
            report("unknown exception");
        }
    }

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
                running = true;
            }
            runJob(job);
            job = nullptr; // its captures go before the next job starts
            {
                const std::lock_guard guard(lock);
                running = false;
            }
            idle.notify_all();
        }
    }
};

SerialWorker::SerialWorker(std::string threadName, JobFailureHandler onJobFailure)
    : m_queue(std::make_shared<Queue>()) {
    threadName.resize(std::min<std::size_t>(threadName.size(), 15)); // the kernel's limit
    m_queue->name = threadName;
    m_queue->onJobFailure = std::move(onJobFailure);
    m_thread = std::thread([queue = m_queue] { queue->run(); });
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
    m_queue->idle.notify_all();
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

bool SerialWorker::waitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock guard(m_queue->lock);
    const auto idle = [this] { return m_queue->isIdle(); };
    if (timeout < std::chrono::milliseconds(0)) {
        m_queue->idle.wait(guard, idle);
        return true;
    }
    return m_queue->idle.wait_for(guard, timeout, idle);
}

} // namespace Orvinta
