#pragma once

#include <OrvintaEngineBackends/AudioCapture.h>

#include <memory>
#include <string>

namespace Orvinta {

class PulseConnection;

/// Capture and device registry on the PulseAudio client API (also served by
/// pipewire-pulse). The microphone records from a source (id = source index,
/// none = the default source), kept by its name; system audio records from
/// the monitor of the default sink, whichever it is, on its own connection
/// and thread; one application's sound
/// records one of its sink inputs alone (a monitor stream), on a connection
/// of its own that follows the sink inputs as they come and go. A capture
/// that fails mid-run, or loses the server, tells its CaptureFailureHandler.
class PulseAudioCapture : public AudioCaptureBackend {
public:
    /// `server` as in PULSE_SERVER; empty means the usual one.
    explicit PulseAudioCapture(std::string server = {});
    ~PulseAudioCapture() override;

    MicrophoneAccess requestMicrophoneAccess() override;
    std::unique_ptr<MicrophoneCapture> makeMicrophoneCapture() override;
    std::unique_ptr<SystemAudioCapture> makeSystemAudioCapture() override;
    std::optional<std::vector<InputDeviceRecord>> inputDevices() override;
    std::optional<std::vector<PlaybackStream>> playbackStreams() override;
    std::unique_ptr<ApplicationAudioCapture> makeApplicationAudioCapture() override;
    std::unique_ptr<PlaybackWatch> watchPlaybackStreams(PlaybackStreamsHandler changed) override;
    std::unique_ptr<DeviceWatch> watchDevices(std::function<void()> changed) override;

private:
    std::string m_server;
    std::shared_ptr<PulseConnection> m_connection;
};

} // namespace Orvinta
