#pragma once

// The one place that chooses and builds the back ends of this desktop. The
// two programs' composition roots (shell/app/DesktopShell.cpp for orvinta,
// shell/cli for orvinta-cli) take what they need from here; nothing below
// shell/ constructs a back end.

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/DesktopCapabilities.h>

#include <memory>

namespace Orvinta {

class ClipboardPaster;
class RemoteHoldKey;
class SpeechRecognizer;
class TranslationBackend;

namespace DesktopBackends {

/// Everything the application state talks to on this desktop: QSettings,
/// the clipboard, the session file in the XDG data home, PulseAudio and
/// PocketSphinx on one sound-server thread, the tones, the autostart entry.
/// No keyboard services (see addKeyboard) and no save dialog.
AppServices application();

/// What the keyboard services found on this display and the compositor,
/// and which back ends they chose from it.
struct KeyboardStatus {
    /// Why the X11 display did not open; empty where it did.
    QString display;
    /// Why each X11 service cannot work there; empty where it can.
    QString shortcuts;
    QString holdKey;
    QString paste;
    /// The compositor's globals.
    bool waylandConnected = false;
    bool virtualKeyboard = false;
    bool dataControl = false;
    DesktopCapabilities::PasteBackend pasteBackend = DesktopCapabilities::PasteBackend::none;
    DesktopCapabilities::ClipboardBackend clipboard = DesktopCapabilities::ClipboardBackend::none;
    /// The hold key as the desktop's bindings report it (orvinta-cli hold).
    std::shared_ptr<RemoteHoldKey> remoteHoldKey;
};

/// Adds the global shortcuts, paste at the cursor and the hold-key monitor
/// of the display to `services`, whose preferences must be set. Without an
/// X11 display each service logs once that it is unavailable and does
/// nothing else; the hold key then still follows orvinta-cli hold. Paste at
/// the cursor is cursorPaster's.
KeyboardStatus addKeyboard(AppServices &services);

/// A Wayland session (XDG_SESSION_TYPE=wayland or WAYLAND_DISPLAY set),
/// whichever Qt platform Orvinta itself runs on.
bool waylandSession();

/// What this desktop offers, probed once: the session, its desktop (for
/// wording), the tray host on the session bus and XEmbed, the portals, the
/// speech model, and from `keyboard` the keyboard back ends; the hold key and
/// the shortcuts from `services`. The sound server is not asked: its lines
/// stay "checking" until the caller sets what its device list learned.
/// Call after the Qt application exists.
DesktopCapabilities probe(const AppServices &services, const KeyboardStatus &keyboard);

/// Sets the portal interfaces on the session bus and their versions; the
/// portal client's probe, which leaves them absent until it exists.
void probePortals(DesktopCapabilities &capabilities);

/// Paste at the cursor of this desktop: through the Wayland compositor where
/// it offers a virtual keyboard and clipboard access (wlroots), else through
/// X11 (XWayland included).
std::shared_ptr<ClipboardPaster> cursorPaster(std::shared_ptr<PreferencesStore> preferences);

/// The sound server: PulseAudio, or PipeWire through its PulseAudio service.
std::shared_ptr<AudioCaptureBackend> audioCapture();

/// PocketSphinx with the installed models.
std::shared_ptr<SpeechRecognizer> recognizer();

/// Apertium, one pipeline per language pair.
std::shared_ptr<TranslationBackend> translation();

/// Whether the speech model of the default recogniser is installed.
bool speechModelInstalled();

} // namespace DesktopBackends
} // namespace Orvinta
