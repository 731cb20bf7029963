#pragma once

#include <QKeyCombination>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace Orvinta {

/// One key a shortcut can use, in each encoding Orvinta meets it in. The
/// back ends and the settings read these rows only, so they agree on every key.
struct KeyRow {
    /// The reference key code that the stored JSON keeps (1 is S, 49 the space bar).
    std::uint16_t keyCode;
    /// The X keysym name of the key ("s", "space"); the X back end grabs it.
    const char *keysym;
    /// What Qt reports for the key on X, with the keypad flag on keypad keys;
    /// Key_unknown where Qt cannot tell the key from another one.
    QKeyCombination qtKey;
    /// What Qt reports for the same key otherwise: its shifted symbol on the
    /// US layout ('!' on the 1 key), or a keypad key's other meaning (Home on
    /// keypad 7); Key_unknown for none.
    QKeyCombination otherQtKey;
    /// What the settings show; null for "Key" and the code.
    const char *name;
};

/// Every key, one row each.
std::span<const KeyRow> keyTable();
/// The row of a reference key code; null for a code without one.
const KeyRow *keyRowForCode(std::uint16_t keyCode);

/// The reference key code of a key press Qt reports; of the modifiers only
/// the keypad flag counts. Nothing for modifier keys and keys without a row.
std::optional<std::uint16_t> referenceKeyCode(int qtKey, Qt::KeyboardModifiers modifiers = {});
/// The name of a reference key code ("S", "Space", "F5", "Left"), or "Key" and
/// the number for a code without one.
QString keyName(std::uint16_t keyCode);

/// A key that can be held to dictate: it types nothing while down, and the
/// hold-key monitor sees it as the X keyboard's own symbol for a key (level
/// one of the first group), as it does for every modifier and lock key.
struct HoldKey {
    /// The X keysym (what Qt reports as a key press's native virtual key).
    std::uint32_t keysym;
    /// Its X keysym name, which the preference stores.
    const char *keysymName;
    /// What the user reads.
    const char *displayName;
};

/// The keys the settings offer as the hold key.
std::span<const HoldKey> holdKeys();
/// The hold key of an X keysym; null for a key that is not one.
const HoldKey *holdKeyForKeysym(std::uint32_t keysym);
/// What the user sees for a hold key: "Right Ctrl" for Control_R; another
/// keysym name as it is.
QString holdKeyDisplayName(const QString &keysymName);

/// The preference that names the hold key (an X keysym name).
inline const QString holdKeyPreference = QStringLiteral("app.dictationHoldKey");
/// The hold key unless the user chose another.
inline const QString defaultHoldKey = QStringLiteral("Control_R");

} // namespace Orvinta
