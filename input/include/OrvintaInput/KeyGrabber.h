#pragma once

#include <OrvintaApp/KeyCombo.h>

#include <QString>

#include <cstdint>
#include <functional>

namespace Orvinta {

/// The desktop's system-wide key grabs: one registration per shortcut id,
/// and a press of a registered combination reported with its id.
class KeyGrabber {
public:
    /// The status of a grab whose key the keyboard layout does not have.
    static constexpr int noSuchKey = -1;
    /// The status of every grab where the desktop offers none.
    static constexpr int unavailable = -2;

    virtual ~KeyGrabber() = default;
    /// Empty where grabs can be made, else why not (no X display, ...).
    virtual QString unavailableReason() const = 0;
    /// Registers `combo` under `id`; 0 on success, else the desktop's
    /// status (an X error code such as BadAccess, or one of the above).
    virtual int grab(std::uint32_t id, const KeyCombo &combo) = 0;
    virtual void ungrab(std::uint32_t id) = 0;

    /// Called on the main thread with the id of each registered combination pressed.
    void setPressHandler(std::function<void(std::uint32_t id)> handler) {
        m_pressed = std::move(handler);
    }

protected:
    void reportPress(std::uint32_t id) {
        if (m_pressed)
            m_pressed(id);
    }

private:
    std::function<void(std::uint32_t)> m_pressed;
};

/// What a grab status means to the user.
QString describeGrabStatus(int status);

} // namespace Orvinta
