#pragma once

// The one place that chooses and builds the back ends of this desktop. The
// two programs' composition roots (shell/app/DesktopShell.cpp for orvinta,
// shell/cli for orvinta-cli) take what they need from here; nothing below
// shell/ constructs a back end.

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/DesktopCapabilities.h>

#include <QString>

#include <chrono>
#include <memory>

namespace Orvinta {

class ClipboardPaster;
class DesktopNotifier;
class RemoteHoldKey;
class SpeechRecognizer;
class TranslationBackend;

namespace DesktopBackends {

/// Everything the application state talks to on this desktop: QSettings,
/// the clipboard, the session file in the XDG data home, PulseAudio and
/// PocketSphinx on one sound-server thread, the tones, the autostart entry.
/// No keyboard services (see addKeyboard) and no save dialog.
AppServices application();

/// What this session offers the keyboard services, as probed at start.
struct KeyboardProbe {
    /// WAYLAND_DISPLAY is set.
    bool waylandSession = false;
    /// An X11 display opened (XWayland included).
    bool x11 = false;
    /// The compositor's virtual keyboard and data control work (wlroots).
    bool virtualKeyboard = false;
    bool dataControl = false;
    /// The xdg-desktop-portal interfaces' versions, 0 where absent; asked
    /// on Wayland sessions only.
    unsigned globalShortcutsPortal = 0;
    unsigned remoteDesktopPortal = 0;
    /// RemoteDesktop's device types (1 keyboard, 2 pointer, 4 touch screen).
    unsigned remoteDesktopDevices = 0;
    unsigned portalRegistry = 0;
    /// Why no portal answered; empty when one did or none was asked.
    QString portalUnavailable;

    /// RemoteDesktop can send keys: a portal that does not say which
    /// devices it has may still have a keyboard.
    bool remoteDesktopKeyboard() const {
        return remoteDesktopPortal > 0 &&
               (remoteDesktopDevices == 0 || (remoteDesktopDevices & 1) != 0);
    }
};

/// Where each keyboard service goes.
struct KeyboardChoice {
    enum class Shortcuts { x11, portal };
    enum class Keystrokes { x11, compositor, portal };
    enum class Clipboard { qt, compositor };
    /// The five shortcuts and the hold key.
    Shortcuts shortcuts = Shortcuts::x11;
    Keystrokes keystrokes = Keystrokes::x11;
    Clipboard clipboard = Clipboard::qt;
    friend bool operator==(const KeyboardChoice &, const KeyboardChoice &) = default;
};

/// The one decision, from what was probed and never from a desktop's name:
/// shortcuts and the hold key through the GlobalShortcuts portal on a
/// Wayland session that has it, else X11 grabs. Paste through the
/// compositor where its virtual keyboard and data control both work
/// (wlroots); else on a Wayland session through the RemoteDesktop portal's
/// keyboard, with the compositor's clipboard where data control works and
/// Qt's (XWayland's, which the compositor bridges) where X11 does; else through
/// X11, or the compositor where there is no X11 display (which then says
/// what it lacks).
KeyboardChoice chooseKeyboard(const KeyboardProbe &probe);

/// What the keyboard services found and the back ends they went through:
/// chooseKeyboard's, except where a portal it named did not open (then
/// X11's). DesktopCapabilities are filled from it (see probe).
struct KeyboardStatus {
    KeyboardProbe probe;
    /// Why the X11 display did not open; empty where it did.
    QString display;
    /// Why the portal chosen did not open; empty where it did or none was.
    QString portal;
    /// Why each chosen back end cannot work; empty where it can.
    QString shortcuts;
    QString holdKey;
    QString paste;
    DesktopCapabilities::KeysBackend keys = DesktopCapabilities::KeysBackend::x11;
    DesktopCapabilities::PasteBackend pasteBackend = DesktopCapabilities::PasteBackend::none;
    DesktopCapabilities::ClipboardBackend clipboard = DesktopCapabilities::ClipboardBackend::none;
    /// The hold key as the desktop's bindings report it (orvinta-cli hold);
    /// the hold-key monitor follows it beside the back end's own key.
    std::shared_ptr<RemoteHoldKey> remoteHoldKey;
};

/// Adds the global shortcuts, paste at the cursor and the hold-key monitor
/// of the display to `services`, whose preferences must be set, as
/// chooseKeyboard says. Without an X11 display or a portal each service logs
/// once that it is unavailable and does nothing else; the hold key then
/// still follows orvinta-cli hold. On a Wayland session the portal is asked
/// first, which waits a few seconds at most (OrvintaInput's probePortals) before any
/// window shows.
KeyboardStatus addKeyboard(AppServices &services);

/// What addKeyboard would choose here, without opening a portal session
/// (so no desktop dialog comes up): for orvinta-cli doctor.
KeyboardStatus keyboardStatus();

/// A Wayland session (XDG_SESSION_TYPE=wayland or WAYLAND_DISPLAY set),
/// whichever Qt platform Orvinta itself runs on.
bool waylandSession();

/// What this desktop offers, probed once: the session, its desktop (for
/// wording), the tray host on the session bus and XEmbed, the speech model,
/// and from `keyboard` the portals and the keyboard back ends; the hold key
/// and the shortcuts from `services` (from its preferences without
/// hotkeys). The sound server is not asked: its lines stay "checking" until
/// the caller sets what its device list learned. Call after the Qt
/// application exists.
DesktopCapabilities probe(const AppServices &services, const KeyboardStatus &keyboard);

/// Paste at the cursor of this desktop, chosen as for addKeyboard. Where it
/// goes through the RemoteDesktop portal, waits up to `permissionWait` for
/// the desktop's answer (the user is asked once per session).
std::shared_ptr<ClipboardPaster>
cursorPaster(std::shared_ptr<PreferencesStore> preferences,
             std::chrono::milliseconds permissionWait = std::chrono::seconds(60));

/// The sound server: PulseAudio, or PipeWire through its PulseAudio service.
std::shared_ptr<AudioCaptureBackend> audioCapture();

/// PocketSphinx with the installed models.
std::shared_ptr<SpeechRecognizer> recognizer();

/// Apertium, one pipeline per language pair.
std::shared_ptr<TranslationBackend> translation();

/// The desktop's notification server on the session bus.
std::shared_ptr<DesktopNotifier> notifier();

/// Whether the speech model of the default recogniser is installed.
bool speechModelInstalled();

} // namespace DesktopBackends
} // namespace Orvinta
