#pragma once

#include <OrvintaEngineBackends/AudioFormat.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace Orvinta {

/// The queue between the feed and the analyzer. Putting never blocks: beyond
/// the capacity the oldest waiting buffers are discarded. Once finished, the
/// consumer drains what is left and then sees the end.
class AnalyzerInputQueue {
public:
    static constexpr std::size_t defaultCapacity = 64;

    explicit AnalyzerInputQueue(std::size_t capacity = defaultCapacity);

    /// Producer end. Ignored after `finish`.
    void put(AudioBuffer buffer);
    void finish();

    enum class Status { buffer, timedOut, ended };
    struct Item {
        Status status;
        std::optional<AudioBuffer> buffer;
    };
    /// Consumer end: the oldest waiting buffer, waiting at most `timeout`.
    Item take(std::chrono::milliseconds timeout);

    std::size_t size() const;
    bool isFinished() const;
    std::uint64_t discardedCount() const;

private:
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<AudioBuffer> m_buffers;
    bool m_finished = false;
    std::uint64_t m_discarded = 0;
};

} // namespace Orvinta
