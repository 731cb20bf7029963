#pragma once

// The one place that chooses and builds the back ends of this desktop. The
// two programs' composition roots (shell/app/DesktopShell.cpp for orvinta,
// shell/cli for orvinta-cli) take what they need from here; nothing below
// shell/ constructs a back end.

#include <OrvintaApp/AppServices.h>

#include <memory>

namespace Orvinta {

class DesktopNotifier;
class SpeechRecognizer;
class TranslationBackend;

namespace DesktopBackends {

/// Everything the application state talks to on this desktop: QSettings,
/// the clipboard, the session file in the XDG data home, PulseAudio and
/// PocketSphinx on one sound-server thread, the tones, the autostart entry.
/// No keyboard services (see addKeyboard) and no save dialog.
AppServices application();

/// Adds the global shortcuts, paste at the cursor and the hold-key monitor
/// of the display to `services`, whose preferences must be set. Without an
/// X11 display each service logs once that it is unavailable and does
/// nothing else.
void addKeyboard(AppServices &services);

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
