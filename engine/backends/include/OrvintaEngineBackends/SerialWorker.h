#pragma once

#include <chrono>
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
    /// Hears, on the worker's thread, of a job that threw: the worker's name
    /// and what the exception said.
    using JobFailureHandler =
        std::function<void(const std::string &worker, const std::string &description)>;

    /// Without `onJobFailure`, a job that throws is reported on standard error.
    explicit SerialWorker(std::string threadName, JobFailureHandler onJobFailure = {});
    /// Drops the jobs not yet started, waits for the running one and joins.
    ~SerialWorker();

    SerialWorker(const SerialWorker &) = delete;
    SerialWorker &operator=(const SerialWorker &) = delete;

    /// From any thread. A job that throws ends only itself, and is reported.
    void post(std::function<void()> job);
    /// Blocks until no job is queued or running, or `timeout` has passed (a
    /// negative one waits without limit); true when the worker is idle. Not
    /// from one of this worker's own jobs.
    bool waitUntilIdle(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

private:
    struct Queue;
    std::shared_ptr<Queue> m_queue; // shared with the thread
    std::thread m_thread;
};

} // namespace Orvinta
