#pragma once

#include <OrvintaApp/KeyTable.h>

#include <QString>

#include <cstdint>
#include <functional>

namespace Orvinta {

/// System-wide changes of the hold key and the other modifier keys, as
/// reference event flags: the hold key is the fn bit, the left and right
/// Shift, Control, Alt and Super keys the shift, control, option and
/// command bits.
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

protected:
    void reportFlags(std::uint64_t flags) {
        if (m_flagsChanged)
            m_flagsChanged(flags);
    }

private:
    std::function<void(std::uint64_t)> m_flagsChanged;
};

/// Whether X knows the keysym name (no display needed).
bool isKnownKeysym(const QString &keysym);

} // namespace Orvinta
