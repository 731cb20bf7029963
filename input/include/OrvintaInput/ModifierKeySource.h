#pragma once

#include <OrvintaApp/KeyTable.h>

#include <QString>

#include <cstdint>
#include <functional>

namespace Orvinta {

/// System-wide changes of the hold key and the other modifier keys, as
/// reference event flags: the hold key is the fn bit, the left and right
/// Shift, Control, Alt and Super keys the shift, control, option and
/// command bits. Presses of every other key and of mouse buttons are
/// reported too: they make the hold key part of a combination.
class ModifierKeySource {
public:
    static constexpr std::uint64_t holdKeyFlag = 0x800000;
    static constexpr std::uint64_t otherModifierFlags = 0x1E0000;

    virtual ~ModifierKeySource() = default;
    /// Empty where key changes can be watched, else why not.
    virtual QString unavailableReason() const = 0;
    /// Starts watching with `holdKey` (an X keysym name) as the hold key;
    /// false with the reason in `error` when it cannot.
    virtual bool start(const QString &holdKey, QString *error) = 0;
    virtual void stop() = 0;

    /// Called on the main thread with the flags after each change.
    void setFlagsHandler(std::function<void(std::uint64_t flags)> handler) {
        m_flagsChanged = std::move(handler);
    }
    /// Called on the main thread when a key that is no modifier, or a mouse
    /// button, goes down (not for key repeats).
    void setOtherPressHandler(std::function<void()> handler) {
        m_otherPressed = std::move(handler);
    }

protected:
    void reportFlags(std::uint64_t flags) {
        if (m_flagsChanged)
            m_flagsChanged(flags);
    }
    void reportOtherPress() {
        if (m_otherPressed)
            m_otherPressed();
    }

private:
    std::function<void(std::uint64_t)> m_flagsChanged;
    std::function<void()> m_otherPressed;
};

/// Whether X knows the keysym name (no display needed).
bool isKnownKeysym(const QString &keysym);

} // namespace Orvinta
