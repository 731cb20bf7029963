#pragma once

#include <OrvintaInput/ModifierKeySource.h>

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>

namespace Orvinta {

/// The hold key as the desktop's own key bindings report it, through
/// `orvinta-cli hold press` and `hold release` (sway's bindsym, Hyprland's
/// bindr): the presses and releases of a key Orvinta cannot watch itself.
/// Each carries a stamp of when the binding ran, so that a release whose
/// command overtook its press's still ends the hold. A release may be lost
/// (a binding that fired for the press only, a command that failed): a hold
/// ends by itself after `maxHold`.
class RemoteHoldKey : public std::enable_shared_from_this<RemoteHoldKey> {
public:
    static constexpr std::chrono::seconds defaultMaxHold{60};

    explicit RemoteHoldKey(std::chrono::milliseconds maxHold = defaultMaxHold);
    RemoteHoldKey(const RemoteHoldKey &) = delete;
    RemoteHoldKey &operator=(const RemoteHoldKey &) = delete;

    enum class Answer {
        /// The key went down or up.
        taken,
        /// A second press, a release without a press, or a press older than
        /// the last release: nothing changed.
        ignored,
        /// Nobody watches the hold key (dictation is off).
        notWatched,
    };
    Answer press(std::uint64_t stamp);
    Answer release(std::uint64_t stamp);
    bool isDown() const { return m_down; }

    /// The source a hold-key monitor reads: this key's changes together with
    /// those of `local` (the display's own watcher; may be null or
    /// unavailable, as without an X11 display), which then only says why in
    /// the log. The key must be owned by a shared pointer.
    std::unique_ptr<ModifierKeySource> makeSource(std::unique_ptr<ModifierKeySource> local);

private:
    class Source;
    void setDown(bool down);

    std::chrono::milliseconds m_maxHold;
    Source *m_watcher = nullptr;
    bool m_down = false;
    std::uint64_t m_lastPress = 0;
    std::uint64_t m_lastRelease = 0;
    QTimer m_maxHoldTimer;
};

/// When the calling process started, as a stamp for RemoteHoldKey: two
/// commands a binding ran in turn have them in that order, however the
/// machine schedules them afterwards.
std::uint64_t processStartStamp();

} // namespace Orvinta
