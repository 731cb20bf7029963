#pragma once

#include <QCoroSignal>
#include <QCoroTask>
#include <QObject>

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

} // namespace Orvinta
