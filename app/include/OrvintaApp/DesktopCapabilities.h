#pragma once

#include <OrvintaApp/KeyCombo.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
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
/// root (DesktopBackends::probe): every back end is chosen from these facts,
/// and the settings' "What Works Here" and orvinta-cli doctor read the same
/// lines from them.
struct DesktopCapabilities {
    enum class Session { x11, wayland };
    /// Which desktop this is, for the wording of a fix only: no back end
    /// is chosen by the desktop's name.
    enum class Desktop { other, gnome, kde, sway, hyprland };
    enum class PasteBackend { none, xtest, waylandVirtualKeyboard };
    enum class ClipboardBackend { none, x11, dataControl };
    enum class SoundServer { checking, unreachable, answered };

    Session session = Session::x11;
    Desktop desktop = Desktop::other;

    /// Why no X server could be reached (none in a Wayland session without
    /// XWayland); empty where one was. Orvinta's windows run there.
    QString x11Unavailable;
    /// Why each X11 keyboard back end cannot work; empty where it can.
    QString x11Shortcuts;
    QString x11HoldKey;
    /// Why the chosen paste back ends cannot paste; empty where they can.
    QString pasteUnavailable;

    /// The compositor's globals, through a connection of Orvinta's own.
    bool waylandConnected = false;
    bool virtualKeyboard = false;
    bool dataControl = false;

    /// The portal interfaces on the session bus and their versions; absent
    /// where not there. Set by the portal probe, which the portal client's
    /// back ends are chosen from.
    std::optional<std::uint32_t> globalShortcutsPortal;
    std::optional<std::uint32_t> remoteDesktopPortal;

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
    /// The lines for this desktop where global keys need its own bindings
    /// (a Wayland session); empty elsewhere.
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
