#pragma once

#include <OrvintaEngineBackends/EngineTypes.h>
#include <OrvintaEngineBackends/SerialWorker.h>

#include <QCoroSignal>
#include <QCoroTask>
#include <QLoggingCategory>
#include <QObject>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

namespace Orvinta {

/// Runs `work` on the application's main thread after everything already
/// queued there. Dropped when no application object exists.
void postToMainThread(std::function<void()> work);

/// Suspends the calling main-thread task until the events queued before it
/// have been handled.
QCoro::Task<> yieldMainThread();

/// A worker for one resource that needs serial access, whose failed jobs are
/// logged as warnings under `category`.
std::shared_ptr<SerialWorker> makeSerialWorker(std::string threadName,
                                               const QLoggingCategory &(*category)());

class CompletionSignal : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void completed();
};

/// A value produced once on any thread and awaited on the main thread.
template <typename T> class Completion : public std::enable_shared_from_this<Completion<T>> {
public:
    static std::shared_ptr<Completion> create() {
        return std::shared_ptr<Completion>(new Completion);
    }

    /// From any thread; the value lands on the main thread.
    static void post(const std::weak_ptr<Completion> &target, T value) {
        postToMainThread([target, value = std::move(value)]() mutable {
            if (auto self = target.lock())
                self->complete(std::move(value));
        });
    }

    /// Main thread only; the first value wins.
    void complete(T value) {
        if (m_value)
            return;
        m_value = std::move(value);
        Q_EMIT m_signal->completed();
    }

    bool isCompleted() const { return m_value.has_value(); }
    const std::optional<T> &value() const { return m_value; }

    /// True once completed; false when `timeout` passed first. A negative
    /// timeout waits without limit.
    QCoro::Task<bool> wait(std::chrono::milliseconds timeout) {
        auto keepAlive = this->shared_from_this();
        if (!m_value)
            co_await qCoro(m_signal.get(), &CompletionSignal::completed, timeout);
        co_return m_value.has_value();
    }

private:
    Completion() = default;

    std::unique_ptr<CompletionSignal> m_signal = std::make_unique<CompletionSignal>();
    std::optional<T> m_value;
};

namespace detail {

/// What one job produced: its value or its exception.
template <typename T> struct JobOutcome {
    std::optional<T> value;
    std::exception_ptr error;
    T take() {
        if (error)
            std::rethrow_exception(error);
        return std::move(*value);
    }
};

template <> struct JobOutcome<void> {
    std::exception_ptr error;
    void take() {
        if (error)
            std::rethrow_exception(error);
    }
};

/// One job on its way through a worker. Destroyed without having run (the
/// worker went away first), it reports OperationCancelled.
template <typename T> class WorkerJob {
public:
    using Outcome = std::shared_ptr<JobOutcome<T>>;

    WorkerJob(std::function<T()> work, std::weak_ptr<Completion<Outcome>> target)
        : m_work(std::move(work))
        , m_target(std::move(target)) {}

    ~WorkerJob() {
        if (m_work) {
            auto outcome = std::make_shared<JobOutcome<T>>();
            outcome->error = std::make_exception_ptr(OperationCancelled());
            Completion<Outcome>::post(m_target, std::move(outcome));
        }
    }

    WorkerJob(const WorkerJob &) = delete;
    WorkerJob &operator=(const WorkerJob &) = delete;

    void run() {
        auto outcome = std::make_shared<JobOutcome<T>>();
        try {
            if constexpr (std::is_void_v<T>)
                m_work();
            else
                outcome->value.emplace(m_work());
        } catch (...) {
            outcome->error = std::current_exception();
        }
        m_work = nullptr;
        Completion<Outcome>::post(m_target, std::move(outcome));
    }

private:
    std::function<T()> m_work;
    std::weak_ptr<Completion<Outcome>> m_target;
};

} // namespace detail

/// Runs `work` on `worker` and resumes the awaiting main-thread coroutine with its result;
/// an exception thrown by `work` is rethrown in the awaiting coroutine. If the worker is
/// destroyed before the job ran, throws OperationCancelled.
template <typename T>
QCoro::Task<T> runOn(std::shared_ptr<SerialWorker> worker, std::function<T()> work) {
    using Outcome = typename detail::WorkerJob<T>::Outcome;
    if (!worker)
        throw OperationCancelled();
    auto done = Completion<Outcome>::create();
    auto job = std::make_shared<detail::WorkerJob<T>>(std::move(work), done);
    worker->post([job] { job->run(); });
    job.reset();
    worker.reset(); // the wait must not keep the worker alive
    QCoro::Task<bool> waiting = done->wait(std::chrono::milliseconds(-1));
    co_await waiting;
    if constexpr (std::is_void_v<T>)
        (*done->value())->take();
    else
        co_return (*done->value())->take();
}

} // namespace Orvinta
