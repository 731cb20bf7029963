#include <OrvintaApp/AppServices.h>

#include <OrvintaApp/Clipboard.h>
#include <OrvintaApp/LaunchAtLogin.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaApp/SessionStore.h>
#include <OrvintaApp/ToneSoundPlayer.h>

#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngine/PocketSphinxRecognizer.h>
#include <OrvintaEngine/PulseAudioCapture.h>

namespace Orvinta {

AppServices AppServices::desktop() {
    AppServices services;
    services.preferences = std::make_shared<PreferencesStore>();
    services.clipboard = std::make_shared<SystemClipboard>();
    services.session = std::make_shared<SessionStore>();
    auto audio = std::make_shared<PulseAudioCapture>();
    services.audio = audio;
    auto recognizer = std::make_shared<PocketSphinxRecognizer>();
    auto worker = std::make_shared<SerialWorker>("orvinta-speech");
    services.makeEngine = [audio, recognizer,
                           worker](STTEngineDelegate *delegate) -> std::unique_ptr<STTEngine> {
        return std::make_unique<OnDeviceSpeechEngine>(delegate, recognizer, audio, worker);
    };
    services.sounds = std::make_shared<ToneSoundPlayer>();
    services.loginItems = std::make_shared<XdgAutostart>();
    return services;
}

} // namespace Orvinta
