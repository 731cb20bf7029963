#pragma once

#include "X11Connection.h"

#include <OrvintaInput/ModifierKeySource.h>

#include <array>
#include <bitset>

namespace Orvinta {

/// The hold key, the modifier keys and presses of all other keys and mouse
/// buttons from XInput2 raw events of all devices: they reach the root
/// window whichever window has the focus or a grab, Orvinta's own included,
/// and take nothing from it.
class X11ModifierKeySource : public ModifierKeySource {
public:
    X11ModifierKeySource(std::shared_ptr<X11Connection> connection, QString unavailableReason);
    ~X11ModifierKeySource() override;

    QString unavailableReason() const override { return m_unavailable; }
    bool start(const QString &holdKey, QString *error) override;
    void stop() override;

private:
    void handleEvent(XEvent &event);
    std::uint64_t currentFlags() const;
    void selectRawEvents(bool on);

    std::shared_ptr<X11Connection> m_connection;
    QString m_unavailable;
    int m_xiOpcode = -1;
    bool m_running = false;
    /// The flag bit of each keycode (0 for keys that are no modifier).
    std::array<std::uint64_t, 256> m_flagOf{};
    /// Every key that is down, so that key repeats are told from presses.
    std::bitset<256> m_down;
    std::uint64_t m_lastFlags = 0;
};

} // namespace Orvinta
