#pragma once

#include <OrvintaApp/KeyCombo.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace Orvinta {

class AudioDeviceList;

/// One feature of Orvinta as this desktop offers it.
struct Capability {
    QString feature;
    bool available = true;
    /// How it works here ("X11 key grabs"); empty where nothing provides it.
    QString backend;
    /// Where unavailable: why, and what the user can do about it.
    QString reason;
    QString fix;
    /// Not known yet: the sound server has not answered.
    bool checking = false;

    /// "works", "checking…", or "unavailable: REASON — FIX".
    QString status() const;
};

/// What the user adds to the desktop's own key settings where keys reach
/// Orvinta only through them (orvinta-cli hold and toggle).
struct SetupLines {
    /// Where the lines go.
    QString instructions;
    QStringList lines;

    bool isEmpty() const { return lines.isEmpty(); }
};

/// What was found on this desktop at start, probed once by the composition
/// root (DesktopBackends::probe, from the keyboard services' own probe of the
/// compositor and the portals): the settings' "What Works Here", the panel's
/// note and orvinta-cli doctor read the same lines from them.
struct DesktopCapabilities {
    enum class Session { x11, wayland };
    /// Which desktop this is, for the wording of a fix only: no back end
    /// is chosen by the desktop's name.
    enum class Desktop { other, gnome, kde, sway, hyprland };
    /// Where the four shortcuts and the hold key come from.
    enum class KeysBackend { x11, globalShortcutsPortal };
    enum class PasteBackend { none, xtest, waylandVirtualKeyboard, remoteDesktopPortal };
    enum class ClipboardBackend { none, x11, dataControl };
    enum class SoundServer { checking, unreachable, answered };

    Session session = Session::x11;
    Desktop desktop = Desktop::other;

    /// Why no X server could be reached (none in a Wayland session without
    /// XWayland); empty where one was. Orvinta's windows run there.
    QString x11Unavailable;
    /// The back end of the shortcuts and the hold key, and why each cannot
    /// work there; empty where it can.
    KeysBackend keys = KeysBackend::x11;
    QString shortcutsUnavailable;
    QString holdKeyUnavailable;
    /// Why the chosen paste back ends cannot paste; empty where they can.
    QString pasteUnavailable;

    /// The compositor's virtual keyboard and data control work (wlroots).
    bool virtualKeyboard = false;
    bool dataControl = false;

    /// The xdg-desktop-portal interfaces' versions, 0 where absent (or not
    /// asked, outside a Wayland session), and whether RemoteDesktop has a
    /// keyboard. Why a portal that was there did not open; empty otherwise.
    unsigned globalShortcutsPortal = 0;
    unsigned remoteDesktopPortal = 0;
    bool remoteDesktopKeyboard = false;
    QString portalUnavailable;
    /// The name the portals know Orvinta by (its .desktop file's).
    QString appId;

    /// A StatusNotifierItem host registered on the session bus (KDE,
    /// swaybar, GNOME's AppIndicator extension), and an XEmbed tray.
    bool statusNotifierHost = false;
    bool xembedTray = false;

    /// The back ends paste at the cursor uses: its keystroke and its clipboard.
    PasteBackend paste = PasteBackend::none;
    ClipboardBackend clipboard = ClipboardBackend::none;

    /// From the application's own device list, once it has asked.
    SoundServer soundServer = SoundServer::checking;
    bool systemAudioOutput = false;
    bool microphone = false;

    bool speechModel = true;

    /// For the set-up lines: the hold key (an X keysym name) and the four shortcuts.
    QString holdKey = QStringLiteral("Control_R");
    std::vector<std::pair<HotkeyAction, KeyCombo>> shortcuts;

    bool isWayland() const { return session == Session::wayland; }
    /// The sound server's lines from what the application's device list
    /// learned; nothing before its first answer.
    void readSoundServer(const AudioDeviceList &devices);
    bool hasX11() const { return x11Unavailable.isEmpty(); }

    /// One entry per feature, in the order orvinta-cli doctor prints them.
    QList<Capability> features() const;
    /// The lines for this desktop where its own key settings must bind keys:
    /// a Wayland session whose shortcuts and hold key do not come from the
    /// GlobalShortcuts portal, or Hyprland's, whose portal shortcuts only
    /// its configuration binds; empty elsewhere.
    SetupLines setupLines() const;
    /// Under the panel's footer: which keyboard features need a step in this
    /// session; empty where all work.
    QString sessionNote() const;
};

/// The key bindings that run orvinta-cli hold and toggle on `desktop`: sway
/// and Hyprland bind the hold key's press and release; GNOME and KDE run
/// commands on press only, so a key toggles dictation there.
SetupLines keyBindingLines(DesktopCapabilities::Desktop desktop, const QString &holdKey,
                           const std::vector<std::pair<HotkeyAction, KeyCombo>> &shortcuts);

/// The word orvinta-cli toggle takes for a shortcut's action ("recording").
QString toggleName(HotkeyAction action);

} // namespace Orvinta
