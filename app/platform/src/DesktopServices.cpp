#include <OrvintaPlatform/DesktopServices.h>

#include <OrvintaPlatform/LaunchAtLogin.h>
#include <OrvintaPlatform/SystemClipboard.h>
#include <OrvintaPlatform/ToneSoundPlayer.h>

#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaApp/SessionStore.h>

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngine/PocketSphinxRecognizer.h>
#include <OrvintaEngine/PulseAudioCapture.h>
#include <OrvintaEngine/SpeechLog.h>

namespace Orvinta {

AppServices desktopServices() {
    AppServices services;
    services.preferences = std::make_shared<PreferencesStore>();
    services.clipboard = std::make_shared<SystemClipboard>();
    services.session = std::make_shared<SessionStore>();
    auto audio = std::make_shared<PulseAudioCapture>();
    services.audio = audio;
    auto worker = makeSerialWorker("orvinta-sound", lcSpeech);
    services.soundServer = worker;
    auto recognizer = std::make_shared<PocketSphinxRecognizer>();
    services.makeEngine = [audio, recognizer,
                           worker](STTEngineDelegate *delegate) -> std::unique_ptr<STTEngine> {
        return std::make_unique<OnDeviceSpeechEngine>(delegate, recognizer, audio, worker);
    };
    services.sounds = std::make_shared<ToneSoundPlayer>();
    services.loginItems = std::make_shared<XdgAutostart>();
    return services;
}

} // namespace Orvinta
