#pragma once

#include "X11Connection.h"

#include <OrvintaInput/KeyGrabber.h>

#include <bitset>
#include <map>

namespace Orvinta {

/// The keysym of a reference key code on X (XK_s for 1, XK_space for 49);
/// 0 for a code without one.
unsigned long referenceKeySym(std::uint16_t keyCode);

/// Shortcuts as passive key grabs on the root window, with the CapsLock
/// and NumLock variants, through our own X connection. A shortcut held down
/// acts once: the key's auto-repeat is no new press.
class X11KeyGrabber : public KeyGrabber {
public:
    /// Without a connection every grab is refused as unavailable.
    X11KeyGrabber(std::shared_ptr<X11Connection> connection, QString unavailableReason);
    ~X11KeyGrabber() override;

    QString unavailableReason() const override { return m_unavailable; }
    int grab(std::uint32_t id, const KeyCombo &combo) override;
    void ungrab(std::uint32_t id) override;

private:
    struct Grab {
        unsigned char keycode;
        unsigned int modifiers;
    };
    void handleEvent(XEvent &event);
    unsigned int numLockMask();

    std::shared_ptr<X11Connection> m_connection;
    QString m_unavailable;
    std::map<std::uint32_t, Grab> m_grabs;
    /// The keys down, as their presses and releases reached this client.
    std::bitset<256> m_down;
};

} // namespace Orvinta
