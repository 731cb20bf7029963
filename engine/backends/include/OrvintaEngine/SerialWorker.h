#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace Orvinta {

/// One thread that runs posted jobs one at a time, in the order posted. The
/// engine does all its blocking back-end work here, so that the main thread
/// never waits on the sound server or the recogniser's assets.
class SerialWorker {
public:
    explicit SerialWorker(std::string threadName);
    /// Drops the jobs not yet started, waits for the running one and joins.
    ~SerialWorker();

    SerialWorker(const SerialWorker &) = delete;
    SerialWorker &operator=(const SerialWorker &) = delete;

    /// From any thread. A job that throws ends only itself.
    void post(std::function<void()> job);

private:
    struct Queue;
    std::shared_ptr<Queue> m_queue; // shared with the thread
    std::thread m_thread;
};

} // namespace Orvinta
