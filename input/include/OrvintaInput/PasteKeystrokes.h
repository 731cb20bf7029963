#pragma once

#include <QString>
#include <QStringList>

namespace Orvinta {

enum class PasteShortcut { ctrlV, ctrlShiftV };

/// The desktop side of a paste: which window has the keyboard focus, and
/// the synthetic paste keystroke sent to it.
class PasteKeystrokes {
public:
    virtual ~PasteKeystrokes() = default;
    /// Empty where keystrokes can be sent, else why not.
    virtual QString unavailableReason() const = 0;
    /// The WM_CLASS of the focused top-level window (instance name, then
    /// class name); empty when unknown.
    virtual QStringList focusedWindowClass() = 0;
    /// Empty where the keystroke reaches the focused window; else why not,
    /// known before sending (XTest's keystroke and a Wayland app).
    virtual QString focusUnreachable() { return {}; }
    /// Presses and releases the shortcut; false when it could not be sent.
    virtual bool sendPaste(PasteShortcut shortcut) = 0;
    /// Whether a program owns the clipboard, and so should answer for its content.
    virtual bool clipboardHasOwner() = 0;
};

/// The preference that chooses the paste keystroke: "auto" (the default),
/// "ctrl-v" or "ctrl-shift-v".
inline const QString pasteShortcutPreference = QStringLiteral("app.pasteShortcut");

/// The WM_CLASS names (lower case) of the terminal emulators that paste with Ctrl+Shift+V.
const QStringList &terminalWindowClasses();
/// Whether either name of a WM_CLASS is a terminal emulator's.
bool isTerminalWindowClass(const QStringList &wmClass);
/// Ctrl+Shift+V for a terminal under "auto", else what the preference says;
/// an unknown preference counts as "auto".
PasteShortcut choosePasteShortcut(const QString &preference, const QStringList &wmClass);

} // namespace Orvinta
