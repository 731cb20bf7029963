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
#include <OrvintaInput/X11Keyboard.h>
#include <OrvintaPlatform/FreedesktopNotifier.h>
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

void addKeyboard(AppServices &services) {
    X11Keyboard keyboard = openX11Keyboard();
    if (!keyboard.unavailableReason.isEmpty())
        qCWarning(lcHotkey,
                  "Keyboard services unavailable: %s (shortcuts, the hold key and "
                  "paste at the cursor work for X11 applications only)",
                  qUtf8Printable(keyboard.unavailableReason));
    services.hotkeys =
        std::make_shared<HotkeyManager>(services.preferences, std::move(keyboard.grabber));
    services.paster =
        std::make_shared<ClipboardPaster>(std::move(keyboard.keystrokes), services.preferences);
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

std::shared_ptr<DesktopNotifier> notifier() {
    return std::make_shared<FreedesktopNotifier>(QDBusConnection::sessionBus());
}

bool speechModelInstalled() {
    const std::filesystem::path folder = PocketSphinxRecognizer::defaultModelRoot() / "en-us";
    std::error_code error;
    return std::filesystem::is_directory(folder / "en-us", error) &&
           std::filesystem::exists(folder / "en-us.lm.bin", error) &&
           std::filesystem::exists(folder / "cmudict-en-us.dict", error);
}

} // namespace Orvinta::DesktopBackends
