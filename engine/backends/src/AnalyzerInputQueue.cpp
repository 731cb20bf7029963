#include <OrvintaEngineBackends/AnalyzerInputQueue.h>

namespace Orvinta {

AnalyzerInputQueue::AnalyzerInputQueue(std::size_t capacity)
    : m_capacity(capacity) {}

void AnalyzerInputQueue::put(AudioBuffer buffer) {
    {
        std::lock_guard lock(m_mutex);
        if (m_finished)
            return;
        m_buffers.push_back(std::move(buffer));
        while (m_buffers.size() > m_capacity) {
            m_buffers.pop_front();
            ++m_discarded;
        }
    }
    m_changed.notify_one();
}

void AnalyzerInputQueue::finish() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_changed.notify_all();
}

AnalyzerInputQueue::Item AnalyzerInputQueue::take(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, timeout, [this] { return !m_buffers.empty() || m_finished; }))
        return {Status::timedOut, std::nullopt};
    if (m_buffers.empty())
        return {Status::ended, std::nullopt};
    Item item{Status::buffer, std::move(m_buffers.front())};
    m_buffers.pop_front();
    return item;
}

std::size_t AnalyzerInputQueue::size() const {
    std::lock_guard lock(m_mutex);
    return m_buffers.size();
}

bool AnalyzerInputQueue::isFinished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

std::uint64_t AnalyzerInputQueue::discardedCount() const {
    std::lock_guard lock(m_mutex);
    return m_discarded;
}

} // namespace Orvinta
