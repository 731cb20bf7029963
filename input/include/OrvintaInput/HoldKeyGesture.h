#pragma once

#include <chrono>
#include <optional>

namespace Orvinta {

/// How long the hold key must stay down alone, from its press.
struct HoldKeyDelays {
    /// Before recording begins.
    std::chrono::milliseconds threshold{50};
    /// Before the user hears and sees it. A typist's Ctrl+C brings its
    /// second key within about 150-250 ms; recording already runs, so
    /// waiting longer costs no words, only a later start tone.
    std::chrono::milliseconds confirm{300};
};

/// Whether a press of the hold key is a dictation or the key used as a
/// modifier, decided from the key's changes and every other press, each with
/// its time. Free of devices and timers: the owner calls timePassed() at
/// deadline().
///
/// Down alone for the threshold, the hold begins: recording may start, but
/// silently. Down alone for the confirm delay, it starts: the user hears and
/// sees the dictation. Another key, modifier or mouse button before that
/// makes it a key combination (Ctrl+C, Ctrl+click) and cancels it, as does a
/// release; after it, either ends the dictation. Once over, the key must
/// come up before another hold can begin.
class HoldKeyGesture {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    enum class Step {
        none,
        /// Released or combined before the threshold: nothing had begun.
        dropped,
        /// Down alone for the threshold.
        begin,
        /// Down alone for the confirm delay.
        start,
        /// Combined or released after begin, before start.
        cancel,
        /// Released or combined after start.
        end,
    };

    explicit HoldKeyGesture(HoldKeyDelays delays = {})
        : m_delays(delays) {}

    /// After a change of the hold key or the other modifiers.
    Step keysChanged(bool holdKeyDown, bool otherModifierDown, TimePoint now);
    /// A key that is no modifier, or a mouse button, went down.
    Step otherPressed();
    /// At deadline(); at most one step per call.
    Step timePassed(TimePoint now);
    /// Forgets the key, as when watching stops.
    void reset() { m_phase = Phase::up; }

    std::optional<TimePoint> deadline() const;
    bool isWaiting() const { return m_phase == Phase::waiting; }
    bool isHolding() const { return m_phase == Phase::begun || m_phase == Phase::started; }

private:
    enum class Phase {
        up,
        /// Pressed while another modifier was down: waits once that is up.
        blocked,
        waiting,
        begun,
        started,
        /// Dropped, cancelled or ended with the key still down.
        spent,
    };
    /// Moves to `next`: the step that ends the current phase.
    Step leave(Phase next);

    HoldKeyDelays m_delays;
    Phase m_phase = Phase::up;
    TimePoint m_pressed{};
};

} // namespace Orvinta
