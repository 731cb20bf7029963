#include "Fakes.h"

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngineBackends/SerialWorker.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

using namespace OrvintaTest;

namespace {

template <typename T> T awaitValue(QCoro::Task<T> task) {
    std::optional<T> value;
    await([](QCoro::Task<T> inner, std::optional<T> &out) -> QCoro::Task<> {
        out = co_await inner;
    }(std::move(task), value));
    return std::move(*value);
}

TEST(SerialWorker, RunsJobsOneAtATimeInOrderOffTheMainThreadAndHandsBackTheirResults) {
    auto worker = std::make_shared<SerialWorker>("order-test");
    std::vector<int> order; // touched only by the jobs
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    for (int i = 0; i < 50; ++i)
        worker->post([&, i] {
            overlapped = overlapped || running.fetch_add(1) != 0;
            order.push_back(i);
            std::this_thread::yield();
            running.fetch_sub(1);
        });
    std::function<std::thread::id()> where = [] { return std::this_thread::get_id(); };
    EXPECT_NE(awaitValue(runOn(worker, std::move(where))), std::this_thread::get_id());
    EXPECT_FALSE(overlapped);
    EXPECT_TRUE(order.size() == 50 && std::ranges::is_sorted(order)); // each of 0..49 once

    // runOn hands back values and exceptions.
    std::function<std::unique_ptr<int>()> make = [] { return std::make_unique<int>(42); };
    EXPECT_EQ(*awaitValue(runOn(worker, std::move(make))), 42);

    std::function<int()> failing = []() -> int {
        throw EngineError("PulseAudio", 6, "Connection terminated");
    };
    try {
        awaitValue(runOn(worker, std::move(failing)));
        FAIL() << "no exception";
    } catch (const EngineError &error) {
        EXPECT_EQ(error.description(), "Connection terminated");
        EXPECT_EQ(error.code(), 6);
    }
    std::function<void()> throwsOther = [] { throw std::runtime_error("bad"); };
    EXPECT_THROW(await(runOn(worker, std::move(throwsOther))), std::runtime_error);
}

TEST(SerialWorker, AJobThatThrowsIsReportedOrWrittenToStandardErrorAndTheWorkerGoesOn) {
    std::mutex lock;
    std::vector<std::string> reports;
    auto worker = std::make_shared<SerialWorker>(
        "report-test", [&](const std::string &name, const std::string &description) {
            const std::lock_guard guard(lock);
            reports.push_back(name + ": " + description);
        });
    worker->post([] { throw std::runtime_error("disk full"); });
    worker->post([] { throw 42; });
    bool ran = false;
    worker->post([&ran] { ran = true; });
    ASSERT_TRUE(worker->waitUntilIdle(std::chrono::seconds(5)));
    EXPECT_TRUE(ran);
    const std::lock_guard guard(lock);
    EXPECT_EQ(reports, (std::vector<std::string>{"report-test: disk full",
                                                 "report-test: unknown exception"}));

    // Without a handler a failed job goes to standard error.
    testing::internal::CaptureStderr();
    {
        SerialWorker silent("stderr-test");
        silent.post([] { throw std::runtime_error("disk full"); });
        ASSERT_TRUE(silent.waitUntilIdle(std::chrono::seconds(5)));
    }
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("stderr-test"), std::string::npos) << written;
    EXPECT_NE(written.find("disk full"), std::string::npos) << written;
}

TEST(SerialWorker, DestroyedWithQueuedJobsCancelsThemWithoutHanging) {
    auto worker = std::make_shared<SerialWorker>("drop-test");
    Gate busy;
    bool queuedRan = false;
    std::function<void()> queued = [&queuedRan] { queuedRan = true; };
    QCoro::Task<> running = runOn(worker, busy.job());
    QCoro::Task<> waiting = runOn(worker, std::move(queued));
    ASSERT_TRUE(busy.waitUntilEntered());

    std::thread releaser([&busy] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        busy.open();
    });
    worker.reset(); // waits for the running job only
    releaser.join();
    EXPECT_NO_THROW(await(std::move(running)));
    EXPECT_THROW(await(std::move(waiting)), OperationCancelled);
    EXPECT_FALSE(queuedRan);
    EXPECT_THROW(await(runOn(worker, std::function<void()>([] {}))), OperationCancelled);
}

} // namespace
