#include "DesktopBackends.h"

#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaApp/SessionStore.h>
#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngine/SpeechLog.h>
#include <OrvintaEngineBackends/PocketSphinxRecognizer.h>
#include <OrvintaEngineBackends/PulseAudioCapture.h>
#include <OrvintaInput/ClipboardPaster.h>
#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>
#include <OrvintaInput/InputLog.h>
#include <OrvintaInput/WaylandKeyboard.h>
#include <OrvintaInput/X11Keyboard.h>
#include <OrvintaPlatform/LaunchAtLogin.h>
#include <OrvintaPlatform/SystemClipboard.h>
#include <OrvintaPlatform/ToneSoundPlayer.h>
#include <OrvintaTranslationBackends/ApertiumTranslator.h>

#include <filesystem>

namespace Orvinta::DesktopBackends {

AppServices application() {
    AppServices services;
    services.preferences = std::make_shared<PreferencesStore>();
    services.clipboard = std::make_shared<SystemClipboard>();
    services.session = std::make_shared<SessionStore>();
    std::shared_ptr<AudioCaptureBackend> audio = audioCapture();
    services.audio = audio;
    auto soundServer = makeSerialWorker("orvinta-sound", lcSpeech);
    services.soundServer = soundServer;
    services.makeEngine = [audio, recognizer = recognizer(),
                           soundServer](STTEngineDelegate *delegate) -> std::unique_ptr<STTEngine> {
        return std::make_unique<OnDeviceSpeechEngine>(delegate, recognizer, audio, soundServer);
    };
    services.sounds = std::make_shared<ToneSoundPlayer>();
    services.loginItems = std::make_shared<XdgAutostart>();
    return services;
}

namespace {

/// Where paste at the cursor and the clipboard go, from what was probed: the
/// compositor where it offers both the virtual keyboard and data control;
/// else X11 (XWayland included) where a display opened; else the compositor
/// the session names, which keeps the text on the clipboard where it can and
/// says what it lacks.
bool pasteThroughWayland(const WaylandKeyboard &wayland, const X11Keyboard &x11) {
    if (wayland.unavailableReason.isEmpty())
        return true;
    return !x11.unavailableReason.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

std::shared_ptr<ClipboardPaster> makePaster(X11Keyboard &x11,
                                            std::shared_ptr<PreferencesStore> preferences) {
    WaylandKeyboard wayland = openWaylandKeyboard();
    if (!pasteThroughWayland(wayland, x11))
        return std::make_shared<ClipboardPaster>(std::move(x11.keystrokes), std::move(preferences));
    qCInfo(lcPaste, "Paste at the cursor through the Wayland compositor");
    return std::make_shared<ClipboardPaster>(std::move(wayland.keystrokes),
                                             std::move(wayland.clipboard), std::move(preferences));
}

} // namespace

std::shared_ptr<ClipboardPaster> cursorPaster(std::shared_ptr<PreferencesStore> preferences) {
    X11Keyboard keyboard = openX11Keyboard();
    return makePaster(keyboard, std::move(preferences));
}

void addKeyboard(AppServices &services) {
    X11Keyboard keyboard = openX11Keyboard();
    if (!keyboard.unavailableReason.isEmpty())
        qCWarning(lcHotkey,
                  "Keyboard services unavailable: %s (shortcuts, the hold key and "
                  "paste at the cursor work for X11 applications only)",
                  qUtf8Printable(keyboard.unavailableReason));
    services.hotkeys =
        std::make_shared<HotkeyManager>(services.preferences, std::move(keyboard.grabber));
    services.paster = makePaster(keyboard, services.preferences);
    services.setUpDictation = [makeSource = std::move(keyboard.makeHoldKeySource),
                               preferences =
                                   services.preferences](DictationController &controller) {
        attachDictationKeyMonitor(controller, makeSource(), preferences);
    };
}

std::shared_ptr<AudioCaptureBackend> audioCapture() {
    return std::make_shared<PulseAudioCapture>();
}

std::shared_ptr<SpeechRecognizer> recognizer() {
    return std::make_shared<PocketSphinxRecognizer>();
}

std::shared_ptr<TranslationBackend> translation() {
    return std::make_shared<ApertiumTranslator>();
}

bool speechModelInstalled() {
    const std::filesystem::path folder = PocketSphinxRecognizer::defaultModelRoot() / "en-us";
    std::error_code error;
    return std::filesystem::is_directory(folder / "en-us", error) &&
           std::filesystem::exists(folder / "en-us.lm.bin", error) &&
           std::filesystem::exists(folder / "cmudict-en-us.dict", error);
}

} // namespace Orvinta::DesktopBackends
