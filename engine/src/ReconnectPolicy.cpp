#include <OrvintaEngine/ReconnectPolicy.h>

#include <algorithm>

namespace Orvinta {

ReconnectPolicy::ReconnectPolicy(const Settings &settings)
    : m_firstDelay(settings.firstDelay)
    , m_longestDelay(settings.longestDelay)
    , m_limit(settings.limit)
    , m_streamRetryGap(settings.streamRetryGap) {}

void ReconnectPolicy::serverLost(Clock::time_point now) {
    m_deadline = now + m_limit;
    m_delay = m_firstDelay;
}

std::optional<std::chrono::milliseconds> ReconnectPolicy::nextDelay(Clock::time_point now) {
    if (now >= m_deadline)
        return std::nullopt;
    // The last attempt falls on the limit itself.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_deadline - now);
    const std::chrono::milliseconds delay = std::min(m_delay, left);
    m_delay = std::min(m_delay * 2, m_longestDelay);
    return delay;
}

bool ReconnectPolicy::restartsStream(Clock::time_point now) {
    if (m_streamRestart && now - *m_streamRestart < m_streamRetryGap)
        return false;
    m_streamRestart = now;
    return true;
}

} // namespace Orvinta
