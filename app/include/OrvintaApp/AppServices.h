#pragma once

#include <OrvintaApp/KeyCombo.h>

#include <OrvintaEngine/STTEngine.h>
#include <OrvintaEngineBackends/AudioCapture.h>

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Orvinta {

class Clipboard;
class DictationController;
class PreferencesStore;
class SaveDialog;
class SerialWorker;
class SessionStore;

/// Delays of the application state; tests shorten them.
struct Timings {
    std::chrono::milliseconds errorBanner{8000};
    std::chrono::milliseconds sessionSaveDebounce{500};
    std::chrono::milliseconds recordingClock{1000};
    std::chrono::milliseconds iconFrame{150};
    /// From the end of a dictation back to idle.
    std::chrono::milliseconds dictationIdle{500};
    /// Longest wait of a microphone line for the computer's line it may echo.
    std::chrono::milliseconds echoHold{2000};
};

/// The start and stop sounds.
class SoundPlayer {
public:
    enum class Sound { start, stop };
    virtual ~SoundPlayer() = default;
    virtual void play(Sound sound) = 0;
};

/// How a paste at the cursor went.
struct PasteResult {
    /// Empty once the paste keystroke went out; else why not.
    QString failure;
    /// Not pasted, but the text waits on the clipboard for the user's own Ctrl+V.
    bool onClipboard = false;

    bool pasted() const { return failure.isEmpty(); }
};

/// Pastes text at the text cursor of the focused window: the text goes on
/// the clipboard, the paste keystroke to the window, and unless auto-copy is
/// on the clipboard's earlier content comes back shortly after.
class CursorPaster {
public:
    virtual ~CursorPaster() = default;
    /// False where the desktop offers no way to paste (no display, no XTest).
    virtual bool isAvailable() const = 0;
    /// Where no keystroke can be sent but the clipboard can be set, the text
    /// stays there (onClipboard); other failures leave the clipboard as it was.
    virtual PasteResult pasteTextAtCursor(const QString &text) = 0;
};

/// What each shortcut does, installed at start-up.
struct HotkeyActions {
    std::function<void()> toggleListening;
    std::function<void()> toggleAutoCopy;
    std::function<void()> toggleAutoPaste;
    std::function<void()> toggleOverlay;
    std::function<void()> focusCaptions;

    /// The one `action` runs.
    const std::function<void()> &forAction(HotkeyAction action) const;
};

/// The global shortcut service. Combinations are the user's, kept by the
/// service in the preferences; changing one re-registers all five.
class HotkeyService {
public:
    /// Called on the main thread for each shortcut that could not be
    /// registered (another program holds it, or no display).
    using FailureHandler = std::function<void(HotkeyAction action, const QString &reason)>;

    virtual ~HotkeyService() = default;
    /// Read when a press is handled, so actions set after start() are the ones that run.
    virtual void setActions(HotkeyActions actions) = 0;
    virtual void setFailureHandler(FailureHandler handler) = 0;
    /// Registers the five shortcuts; a second call does nothing.
    virtual void start() = 0;
    virtual KeyCombo combo(HotkeyAction action) const = 0;
    /// Whether the shortcut is registered with the desktop now.
    virtual bool isRegistered(HotkeyAction action) const = 0;
    /// Why the last registration of the shortcut was refused; empty when it was not.
    virtual QString failureReason(HotkeyAction action) const = 0;
    /// Assigns, stores and registers everything again; a combination that
    /// is no global shortcut (KeyCombo::isGlobalShortcut) is refused.
    virtual void setCombo(HotkeyAction action, const KeyCombo &combo) = 0;
    /// While suspended no shortcut is registered, so that a recorder
    /// receives any combination; resuming registers them again.
    virtual void setSuspended(bool suspended) = 0;
};

/// The login-item switch.
class LoginItems {
public:
    virtual ~LoginItems() = default;
    virtual bool isEnabled() const = 0;
    /// Returns an error description, or an empty string on success.
    virtual QString setEnabled(bool enabled) = 0;
};

/// Everything the application state talks to outside itself, so that the
/// real devices and the fakes of tests plug in the same way. Empty members
/// are simply not there (a command-line run has no paster or shortcuts).
struct AppServices {
    std::shared_ptr<PreferencesStore> preferences;
    std::shared_ptr<Clipboard> clipboard;
    std::shared_ptr<SessionStore> session;
    std::shared_ptr<SaveDialog> saveDialog;
    std::shared_ptr<AudioCaptureBackend> audio;
    /// The one thread that talks to the sound server and loads models.
    std::shared_ptr<SerialWorker> soundServer;
    std::function<std::unique_ptr<STTEngine>(STTEngineDelegate *delegate)> makeEngine;
    std::shared_ptr<SoundPlayer> sounds;
    std::shared_ptr<LoginItems> loginItems;
    std::shared_ptr<CursorPaster> paster;
    std::shared_ptr<HotkeyService> hotkeys;
    /// Creates the hold-key monitor, connects it to the controller's hold
    /// slots and its dictationMonitorRequested(bool).
    std::function<void(DictationController &)> setUpDictation;
    /// Whether the on-device recogniser is installed at all.
    bool speechAnalyzerAvailable = true;
    Timings timings;
};

} // namespace Orvinta
