#pragma once

#include <QCoroSignal>
#include <QCoroTask>
#include <QObject>

#include <OrvintaEngine/EngineTypes.h>
#include <OrvintaEngine/SerialWorker.h>

#include <exception>
#include <variant>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Orvinta {

/// Runs `work` on the application's main thread after everything already
/// queued there. Dropped when no application object exists.
void postToMainThread(std::function<void()> work);

/// Suspends the calling main-thread task until the events queued before it
/// have been handled.
QCoro::Task<> yieldMainThread();

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

/// Temporary stand-in: runs `work` on `worker`, resumes on the main thread.
template <typename T>
QCoro::Task<T> runOn(std::shared_ptr<SerialWorker> worker, std::function<T()> work) {
    using Outcome = std::variant<std::monostate, std::conditional_t<std::is_void_v<T>, bool, T>,
                                 std::exception_ptr>;
    auto outcome = Completion<Outcome>::create();
    worker->post([work = std::move(work), target = std::weak_ptr(outcome)] {
        Outcome result;
        try {
            if constexpr (std::is_void_v<T>) {
                work();
                result = true;
            } else
                result = work();
        } catch (...) {
            result = std::current_exception();
        }
        Completion<Outcome>::post(target, std::move(result));
    });
    co_await outcome->wait(std::chrono::milliseconds(-1));
    Outcome &result = const_cast<Outcome &>(*outcome->value());
    if (auto *e = std::get_if<std::exception_ptr>(&result))
        std::rethrow_exception(*e);
    if constexpr (!std::is_void_v<T>)
        co_return std::move(std::get<1>(result));
}

} // namespace Orvinta
