#pragma once
// Temporary stand-in until the engine's worker lands.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace Orvinta {
class SerialWorker {
public:
    explicit SerialWorker(std::string)
        : m_thread([this](std::stop_token s) { run(s); }) {}
    ~SerialWorker() {
        m_thread.request_stop();
        m_wake.notify_all();
    }
    SerialWorker(const SerialWorker &) = delete;
    SerialWorker &operator=(const SerialWorker &) = delete;
    void post(std::function<void()> job) {
        {
            std::lock_guard g(m_lock);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_all();
    }

private:
    void run(std::stop_token stop) {
        std::unique_lock g(m_lock);
        while (m_wake.wait(g, stop, [this] { return !m_jobs.empty(); })) {
            auto job = std::move(m_jobs.front());
            m_jobs.pop_front();
            g.unlock();
            job();
            g.lock();
        }
    }
    std::mutex m_lock;
    std::condition_variable_any m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::jthread m_thread;
};
} // namespace Orvinta
