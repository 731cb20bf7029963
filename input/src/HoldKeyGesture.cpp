#include <OrvintaInput/HoldKeyGesture.h>

namespace Orvinta {

HoldKeyGesture::Step HoldKeyGesture::keysChanged(bool holdKeyDown, bool otherModifierDown,
                                                 TimePoint now) {
    if (!holdKeyDown)
        return leave(Phase::up);
    if (otherModifierDown)
        return leave(m_phase == Phase::up ? Phase::blocked : Phase::spent);
    if (m_phase == Phase::up || m_phase == Phase::blocked) {
        m_phase = Phase::waiting;
        m_pressed = now;
    }
    return Step::none;
}

HoldKeyGesture::Step HoldKeyGesture::otherPressed() {
    return leave(m_phase == Phase::up ? Phase::up : Phase::spent);
}

HoldKeyGesture::Step HoldKeyGesture::leave(Phase next) {
    const Phase was = m_phase;
    m_phase = next;
    switch (was) {
    case Phase::waiting:
        return Step::dropped;
    case Phase::begun:
        return Step::cancel;
    case Phase::started:
        return Step::end;
    default:
        return Step::none;
    }
}

HoldKeyGesture::Step HoldKeyGesture::timePassed(TimePoint now) {
    const std::optional<TimePoint> due = deadline();
    if (!due || now < *due)
        return Step::none;
    if (m_phase == Phase::waiting) {
        m_phase = Phase::begun;
        return Step::begin;
    }
    m_phase = Phase::started;
    return Step::start;
}

std::optional<HoldKeyGesture::TimePoint> HoldKeyGesture::deadline() const {
    if (m_phase == Phase::waiting)
        return m_pressed + m_delays.threshold;
    if (m_phase == Phase::begun)
        return m_pressed + m_delays.confirm;
    return std::nullopt;
}

} // namespace Orvinta
