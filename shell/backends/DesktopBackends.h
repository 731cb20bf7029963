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
class SpeechRecognizer;
class TranslationBackend;

namespace DesktopBackends {

/// Everything the application state talks to on this desktop: QSettings,
/// the clipboard, the session file in the XDG data home, PulseAudio and
/// PocketSphinx on one sound-server thread, the tones, the autostart entry.
/// No keyboard services (see addKeyboard) and no save dialog.
AppServices application();

/// Why each keyboard service cannot work on this display; empty where it can.
struct KeyboardStatus {
    /// The X11 display did not open: then every service says this.
    QString display;
    QString shortcuts;
    QString holdKey;
    QString paste;
};

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

/// What the latest addKeyboard or cursorPaster found, for a summary of what
/// this desktop allows; all false before either ran.
KeyboardProbe keyboardProbe();

/// Adds the global shortcuts, paste at the cursor and the hold-key monitor
/// of the display to `services`, whose preferences must be set, as
/// chooseKeyboard says. Without an X11 display or a portal each service logs
/// once that it is unavailable and does nothing else. Says why each service
/// cannot work, for the summary of what works here.
KeyboardStatus addKeyboard(AppServices &services);

/// A Wayland session (XDG_SESSION_TYPE=wayland or WAYLAND_DISPLAY set),
/// whichever Qt platform Orvinta itself runs on.
bool waylandSession();

/// What works on this desktop, one entry per feature: the session, the
/// keyboard services of `keyboard`, the clipboard, the tray, the sound
/// server of `services` (asked once, here) and the speech model. Call after
/// the Qt application exists.
DesktopCapabilities capabilities(const AppServices &services, const KeyboardStatus &keyboard);

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
