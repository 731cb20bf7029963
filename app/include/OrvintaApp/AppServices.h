#pragma once

#include <OrvintaApp/ConfirmedLine.h>

#include <OrvintaEngine/AudioCapture.h>
#include <OrvintaEngine/STTEngine.h>

#include <QCoroTask>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace Orvinta {

class AppState;
class Clipboard;
class PreferencesStore;
class SessionStore;
class SaveDialog;

/// Delays of the application state; tests shorten them.
struct Timings {
    std::chrono::milliseconds errorBanner{8000};
    std::chrono::milliseconds sessionSaveDebounce{500};
    std::chrono::milliseconds recordingClock{1000};
    std::chrono::milliseconds iconFrame{150};
};

/// The start and stop sounds.
class SoundPlayer {
public:
    enum class Sound { start, stop };
    virtual ~SoundPlayer() = default;
    virtual void play(Sound sound) = 0;
};

/// Pastes text at the text cursor of the focused window (filled by the input layer).
class CursorPaster {
public:
    virtual ~CursorPaster() = default;
    virtual void pasteTextAtCursor(const QString &text) = 0;
};

/// The four shortcut actions, installed into the hot-key manager at start-up.
struct HotkeyActions {
    std::function<void()> toggleListening;
    std::function<void()> toggleAutoCopy;
    std::function<void()> toggleAutoPaste;
    std::function<void()> toggleOverlay;
};

/// The global shortcut service (filled by the input layer).
class HotkeyService {
public:
    virtual ~HotkeyService() = default;
    virtual void setActions(HotkeyActions actions) = 0;
    virtual void start() = 0;
};

/// The overlay window as the application state drives it (filled by the UI layer).
class OverlayController {
public:
    virtual ~OverlayController() = default;
    virtual bool hasPanel() const = 0;
    /// Creates the panel when there is none; false when it cannot be created.
    virtual bool ensurePanel() = 0;
    /// Full opacity, in front, without taking the keyboard focus.
    virtual void showPanel() = 0;
    /// Off the screen; the panel and its view stay alive.
    virtual void hidePanel() = 0;
};

/// The settings window (filled by the UI layer).
class SettingsController {
public:
    virtual ~SettingsController() = default;
    virtual void showWindow() = 0;
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
/// real devices and windows and the fakes of tests plug in the same way.
struct AppServices {
    std::shared_ptr<PreferencesStore> preferences;
    std::shared_ptr<Clipboard> clipboard;
    std::shared_ptr<SessionStore> session;
    std::shared_ptr<SaveDialog> saveDialog;
    std::shared_ptr<AudioCaptureBackend> audio;
    std::function<std::unique_ptr<STTEngine>(STTEngineDelegate *delegate)> makeEngine;
    std::shared_ptr<SoundPlayer> sounds;
    std::shared_ptr<LoginItems> loginItems;
    // Seams that the input and window layers fill; empty means "not there yet".
    std::shared_ptr<CursorPaster> paster;
    std::shared_ptr<HotkeyService> hotkeys;
    std::function<void(AppState &)> setUpDictation;
    std::function<std::unique_ptr<OverlayController>(AppState &)> makeOverlayController;
    std::function<std::unique_ptr<SettingsController>(AppState &)> makeSettingsController;
    /// Whether the on-device recogniser is installed at all.
    bool speechAnalyzerAvailable = true;
    Timings timings;

    /// The real services of this desktop: QSettings, the X clipboard, the
    /// session file in the XDG data home, PulseAudio, PocketSphinx.
    static AppServices desktop();
};

} // namespace Orvinta
