#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace Orvinta {

/// The five global shortcuts, with their registration ids.
enum class HotkeyAction {
    toggleListening = 1,
    toggleAutoCopy,
    toggleAutoPaste,
    toggleOverlay,
    focusCaptions
};

/// One keyboard shortcut in the reference encoding that the stored JSON and
/// the display strings use: `keyCode` is the reference layout's virtual key
/// code (1 is S, 49 the space bar), `modifiers` the reference event flags.
/// Back ends map both to the desktop's own codes when they register.
struct KeyCombo {
    static constexpr std::uint64_t shift = 0x20000;
    static constexpr std::uint64_t control = 0x40000;
    static constexpr std::uint64_t option = 0x80000;
    static constexpr std::uint64_t command = 0x100000;
    /// The four modifiers a shortcut registers with; other bits are ignored.
    static constexpr std::uint64_t shortcutModifiers = shift | control | option | command;

    std::uint16_t keyCode = 0;
    std::uint64_t modifiers = 0;

    friend bool operator==(const KeyCombo &, const KeyCombo &) = default;

    /// Whether it may be grabbed from every program: it holds Ctrl, Alt or
    /// Super, or its key is one of F13 to F24, which type nothing. Shift alone
    /// would take capital letters, and a bare key its every press.
    bool isGlobalShortcut() const;
    /// As Linux desktops write it: Super, Ctrl, Alt, Shift, then the key: Ctrl+Alt+S.
    QString displayString() const;
    /// The modifier mask of a reference hot-key registration.
    std::uint32_t carbonModifiers() const;
    /// {"keyCode":1,"modifiers":786432}
    QByteArray toJson() const;
    /// Nothing unless `json` is an object with integer members "keyCode"
    /// (0 to 65535) and "modifiers" (not negative).
    static std::optional<KeyCombo> fromJson(const QByteArray &json);
};

/// The shortcut that `action` has until the user changes it (Ctrl+Alt+S, Ctrl+Alt+C, Ctrl+Alt+V,
/// Ctrl+Alt+O, Ctrl+Alt+F).
KeyCombo defaultCombo(HotkeyAction action);
/// Where the shortcut is stored: "app.hotkeyCombo" and so on.
QString comboPreferenceKey(HotkeyAction action);
/// What the settings window calls the shortcut: "Toggle Recording" and so on.
QString actionLabel(HotkeyAction action);

inline constexpr HotkeyAction allHotkeyActions[] = {
    HotkeyAction::toggleListening, HotkeyAction::toggleAutoCopy, HotkeyAction::toggleAutoPaste,
    HotkeyAction::toggleOverlay, HotkeyAction::focusCaptions};

} // namespace Orvinta
