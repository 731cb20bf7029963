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

/// Adds the global shortcuts, paste at the cursor and the hold-key monitor
/// of the display to `services`, whose preferences must be set. Without an
/// X11 display each service logs once that it is unavailable and does
/// nothing else. Paste at the cursor is cursorPaster's.
KeyboardStatus addKeyboard(AppServices &services);

/// A Wayland session (XDG_SESSION_TYPE=wayland or WAYLAND_DISPLAY set),
/// whichever Qt platform Orvinta itself runs on.
bool waylandSession();

/// What works on this desktop, one entry per feature: the session, the
/// keyboard services of `keyboard`, the clipboard, the tray, the sound
/// server of `services` (asked once, here) and the speech model. Call after
/// the Qt application exists.
DesktopCapabilities capabilities(const AppServices &services, const KeyboardStatus &keyboard);

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

/// The desktop's notification server on the session bus.
std::shared_ptr<DesktopNotifier> notifier();

/// Whether the speech model of the default recogniser is installed.
bool speechModelInstalled();

} // namespace DesktopBackends
} // namespace Orvinta
