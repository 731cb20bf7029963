#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

namespace Orvinta {

namespace detail {
class TaskState : public QObject {
    Q_OBJECT
public:
    bool cancelled = false;
    bool finished = false;
Q_SIGNALS:
    void cancellationRequested();
    void done();
};
} // namespace detail

/// What a running task checks after each wait.
class CancellationToken {
public:
    explicit CancellationToken(std::shared_ptr<detail::TaskState> state)
        : m_state(std::move(state)) {}

    bool isCancelled() const { return m_state->cancelled; }
    /// Sleeps on the main thread; false when the task was cancelled before or
    /// during the sleep (a cancelled sleep ends at once).
    QCoro::Task<bool> sleep(std::chrono::milliseconds duration) const;

private:
    std::shared_ptr<detail::TaskState> m_state;
};

/// A cancellable asynchronous job on the main thread. Starting it runs the
/// body at once up to its first wait; cancelling only raises the flag (and
/// ends a pending sleep), so the body stops at its next check.
class CancellableTask {
public:
    using Body = std::function<QCoro::Task<>(CancellationToken)>;

    static std::shared_ptr<CancellableTask> start(Body body);
    /// Runs `then` after `delay` unless cancelled first or `guard` is gone by then.
    static std::shared_ptr<CancellableTask> after(std::chrono::milliseconds delay, QObject *guard,
                                                  std::function<void()> then);

    void cancel();
    bool isCancelled() const { return m_state->cancelled; }
    bool isFinished() const { return m_state->finished; }
    /// Completes when the body has returned.
    QCoro::Task<> finished() const;

private:
    CancellableTask() = default;
    std::shared_ptr<detail::TaskState> m_state = std::make_shared<detail::TaskState>();
};

using TaskHandle = std::shared_ptr<CancellableTask>;

/// Cancels the task in `slot`, if any, and empties the slot.
void cancelTask(TaskHandle &slot);

} // namespace Orvinta
