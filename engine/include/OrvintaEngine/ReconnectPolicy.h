#pragma once

#include <chrono>
#include <optional>

namespace Orvinta {

/// When a run's capture is started again after it ended on its own. After
/// the sound server went away: soon at first, then less often, and not at
/// all once `limit` has passed since the loss. After a stream failed with
/// the server still there (its device went): once, and not again for
/// `streamRetryGap`, so that a device that keeps failing does not spin.
/// Times come from the caller, so any clock will do.
class ReconnectPolicy {
public:
    using Clock = std::chrono::steady_clock;
    struct Settings;

    explicit ReconnectPolicy(const Settings &settings);

    /// The server went away at `now`: a new series of attempts begins.
    void serverLost(Clock::time_point now);
    /// After an attempt that failed at `now`: the wait before the next one;
    /// nothing once the limit has passed.
    std::optional<std::chrono::milliseconds> nextDelay(Clock::time_point now);
    /// Whether a stream that failed at `now` is started again.
    bool restartsStream(Clock::time_point now);

private:
    std::chrono::milliseconds m_firstDelay;
    std::chrono::milliseconds m_longestDelay;
    std::chrono::milliseconds m_limit;
    std::chrono::milliseconds m_streamRetryGap;
    Clock::time_point m_deadline;
    std::chrono::milliseconds m_delay{0};
    std::optional<Clock::time_point> m_streamRestart;
};

struct ReconnectPolicy::Settings {
    std::chrono::milliseconds firstDelay{100};
    std::chrono::milliseconds longestDelay{500};
    std::chrono::milliseconds limit{30000};
    std::chrono::milliseconds streamRetryGap{5000};
};

} // namespace Orvinta
