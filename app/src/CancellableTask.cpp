#include <OrvintaApp/CancellableTask.h>

#include <OrvintaApp/AppLog.h>

#include <QCoroSignal>

namespace Orvinta {

QCoro::Task<bool> CancellationToken::sleep(std::chrono::milliseconds duration) const {
    auto state = m_state;
    if (!state->cancelled)
        co_await qCoro(state.get(), &detail::TaskState::cancellationRequested, duration);
    co_return !state->cancelled;
}

std::shared_ptr<CancellableTask> CancellableTask::start(Body body) {
    std::shared_ptr<CancellableTask> task(new CancellableTask);
    [](std::shared_ptr<detail::TaskState> state, Body work) -> QCoro::Task<> {
        try {
            // Named before awaiting: GCC 12 destroys temporaries inside a
            // co_await operand twice.
            const CancellationToken token(state);
            QCoro::Task<> running = work(token);
            co_await running;
        } catch (const std::exception &error) {
            qCWarning(lcTasks, "Background task failed: %s", error.what());
        }
        state->finished = true;
        Q_EMIT state->done();
    }(task->m_state, std::move(body));
    return task;
}

std::shared_ptr<CancellableTask> CancellableTask::after(std::chrono::milliseconds delay,
                                                        QObject *guard,
                                                        std::function<void()> then) {
    return start([delay, alive = QPointer<QObject>(guard),
                  then = std::move(then)](CancellationToken token) -> QCoro::Task<> {
        const bool slept = co_await token.sleep(delay);
        if (slept && alive)
            then();
    });
}

void CancellableTask::cancel() {
    if (m_state->cancelled || m_state->finished)
        return;
    m_state->cancelled = true;
    Q_EMIT m_state->cancellationRequested();
}

QCoro::Task<> CancellableTask::finished() const {
    auto state = m_state;
    if (!state->finished)
        co_await qCoro(state.get(), &detail::TaskState::done);
}

void cancelTask(TaskHandle &slot) {
    if (slot)
        slot->cancel();
    slot.reset();
}

} // namespace Orvinta
