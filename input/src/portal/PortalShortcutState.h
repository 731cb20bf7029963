#pragma once

#include <QString>

#include <chrono>
#include <map>
#include <optional>

namespace Orvinta {

/// What the GlobalShortcuts portal's Activated and Deactivated signals mean
/// for one session: a press of a shortcut, or the start and end of a hold of
/// the hold key. The frontend sends every session's signals to every client,
/// some desktops repeat Activated while a key stays down, and a Deactivated
/// can be lost; a hold therefore ends after `maximumHold` at the latest.
class PortalShortcutState {
public:
    using Clock = std::chrono::steady_clock;
    enum class Effect { none, press, holdStart, holdEnd };

    PortalShortcutState(QString holdId, std::chrono::milliseconds maximumHold);

    /// The session whose signals count; a new one forgets every key that is down.
    void setSession(const QString &handle);
    const QString &session() const { return m_session; }

    Effect activated(const QString &session, const QString &id, Clock::time_point now);
    Effect deactivated(const QString &session, const QString &id, Clock::time_point now);
    /// holdEnd when a hold has lasted the maximum by `now`.
    Effect expire(Clock::time_point now);
    /// Forgets a hold without an effect (the monitor stopped).
    void forgetHold() { m_holdSince.reset(); }

    bool isHolding() const { return m_holdSince.has_value(); }
    /// When the current hold ends unless the key is released before.
    std::optional<Clock::time_point> holdDeadline() const;

private:
    bool ours(const QString &session) const;

    QString m_holdId;
    std::chrono::milliseconds m_maximumHold;
    QString m_session;
    std::optional<Clock::time_point> m_holdSince;
    /// The shortcuts pressed and not released, with when.
    std::map<QString, Clock::time_point> m_down;
    /// Whether this desktop sends Deactivated at all: only then is a second
    /// Activated without one a repeat rather than a new press.
    bool m_releasesSeen = false;
};

} // namespace Orvinta
