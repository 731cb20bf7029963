#include "PortalShortcutState.h"

namespace Orvinta {

PortalShortcutState::PortalShortcutState(QString holdId, std::chrono::milliseconds maximumHold)
    : m_holdId(std::move(holdId))
    , m_maximumHold(maximumHold) {}

void PortalShortcutState::setSession(const QString &handle) {
    m_session = handle;
    m_holdSince.reset();
    m_down.clear();
}

bool PortalShortcutState::ours(const QString &session) const {
    return !m_session.isEmpty() && session == m_session;
}

std::optional<PortalShortcutState::Clock::time_point> PortalShortcutState::holdDeadline() const {
    if (!m_holdSince)
        return std::nullopt;
    return *m_holdSince + m_maximumHold;
}

PortalShortcutState::Effect
PortalShortcutState::activated(const QString &session, const QString &id, Clock::time_point now) {
    if (!ours(session))
        return Effect::none;
    if (id == m_holdId) {
        if (m_holdSince)
            return Effect::none;
        m_holdSince = now;
        return Effect::holdStart;
    }
    const auto down = m_down.find(id);
    // A key whose release was lost counts as released after the longest hold.
    if (m_releasesSeen && down != m_down.end() && now - down->second < m_maximumHold)
        return Effect::none;
    m_down[id] = now;
    return Effect::press;
}

PortalShortcutState::Effect PortalShortcutState::deactivated(const QString &session,
                                                             const QString &id, Clock::time_point) {
    if (!ours(session))
        return Effect::none;
    m_releasesSeen = true;
    if (id != m_holdId) {
        m_down.erase(id);
        return Effect::none;
    }
    if (!m_holdSince)
        return Effect::none;
    m_holdSince.reset();
    return Effect::holdEnd;
}

PortalShortcutState::Effect PortalShortcutState::expire(Clock::time_point now) {
    const std::optional<Clock::time_point> deadline = holdDeadline();
    if (!deadline || now < *deadline)
        return Effect::none;
    m_holdSince.reset();
    return Effect::holdEnd;
}

} // namespace Orvinta
