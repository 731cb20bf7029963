#pragma once

#include <OrvintaEngineBackends/AudioFormat.h>
#include <OrvintaEngineBackends/EngineTypes.h>
#include <OrvintaEngineBackends/PlaybackStreams.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvinta {

/// Receives consecutive captured buffers on the capture back end's thread.
using CapturedBufferHandler = std::function<void(const AudioBuffer &buffer)>;
/// Receives mono float samples as raw bytes on the system-audio thread.
using CapturedSampleHandler = std::function<void(const std::byte *bytes, std::size_t length)>;

/// How a running capture ended on its own.
enum class CaptureFailureKind {
    serverStopped, ///< the connection to the sound server died
    streamFailed,  ///< the recording stream failed; the server is still there
};
/// Told once, from the back end's thread, that a started capture ended on its
/// own; `reason` is the sound server's error text. Must not block or call
/// back into the capture. Never called after the capture's stop (or, for the
/// microphone, removeTap) returned.
using CaptureFailureHandler = std::function<void(CaptureFailureKind kind, std::string reason)>;
/// Told, from the back end's thread, that the microphone records from
/// `replacement` because the chosen input `chosen` is gone, or (with an
/// empty `replacement`) from `chosen` again. Both as the user sees them.
using MicrophoneDeviceHandler = std::function<void(std::string chosen, std::string replacement)>;

/// The microphone side of capture. One object is kept from run to run, so a
/// device chosen once stays chosen until another is.
class MicrophoneCapture {
public:
    virtual ~MicrophoneCapture() = default;

    /// Records from the input device with this id from now on; false when no
    /// such input exists.
    virtual bool selectDevice(std::uint32_t deviceID) = 0;
    /// The native format of the chosen (or default) input. Throws EngineError.
    virtual AudioFormat inputFormat() = 0;
    /// At most one tap; installing replaces the previous one. `onFailure`
    /// hears of a failure of the capture started after it.
    virtual void installTap(std::uint32_t bufferFrames, const AudioFormat &format,
                            CapturedBufferHandler handler, CaptureFailureHandler onFailure) = 0;
    /// Hears where the capture started after it records from, while the
    /// chosen input comes and goes; where the back end follows no devices,
    /// it is never called.
    virtual void setDeviceHandler(MicrophoneDeviceHandler handler) { (void)handler; }
    /// Drops the handlers.
    virtual void removeTap() = 0;
    /// Throws EngineError.
    virtual void start() = 0;
    virtual void stop() = 0;
};

/// Everything the computer plays, as mono 32-bit float at a requested rate,
/// from whichever output is the default one (it follows a change).
class SystemAudioCapture {
public:
    virtual ~SystemAudioCapture() = default;

    /// Throws CaptureError (noDisplay, permissionDenied, engineSetupFailed) or
    /// EngineError. `onFailure` hears of a failure after the start succeeded.
    virtual void start(std::uint32_t sampleRate, CapturedSampleHandler handler,
                       CaptureFailureHandler onFailure) = 0;
    /// No callbacks after it returns. Throws EngineError when stopping failed.
    virtual void stop() = 0;
};

/// Told, from the back end's thread, whether the followed application plays
/// now (false: a stream of it is recorded) or the capture waits for it (true).
using ApplicationWaitingHandler = std::function<void(bool waiting)>;

/// The sound of one application only, followed from stream to stream: when
/// its stream ends and another of it starts (the next call, the next video),
/// recording goes on with the new one by itself.
class ApplicationAudioCapture {
public:
    virtual ~ApplicationAudioCapture() = default;

    /// Records the streams of `application` (see playsFor) as mono 32-bit
    /// float at `sampleRate`. Waits, without failing, while the application
    /// plays nothing. Throws as SystemAudioCapture::start. `onWaiting` hears
    /// of the first state and of every change.
    virtual void start(std::uint32_t sampleRate, std::string application,
                       CapturedSampleHandler handler, CaptureFailureHandler onFailure,
                       ApplicationWaitingHandler onWaiting) = 0;
    /// No callbacks after it returns. Throws EngineError when stopping failed.
    virtual void stop() = 0;
};

/// Receives the playback streams, oldest first, on the back end's thread.
using PlaybackStreamsHandler = std::function<void(std::vector<PlaybackStream> streams)>;

/// Watches the playback streams while it lives.
class PlaybackWatch {
public:
    virtual ~PlaybackWatch() = default;
};

/// Watches the sound server's devices while it lives.
class DeviceWatch {
public:
    virtual ~DeviceWatch() = default;
};

enum class MicrophoneAccess { granted, denied };

/// One input device as the device registry reports it.
struct InputDeviceRecord {
    std::uint32_t id = 0;
    std::string name;
    std::uint32_t inputChannels = 0;
    bool isMonitor = false;
    /// What names the device across restarts of the server, which renumbers them.
    std::string key;
};

class AudioCaptureBackend {
public:
    virtual ~AudioCaptureBackend() = default;

    /// Throws EngineError when the sound server cannot be asked at all.
    virtual MicrophoneAccess requestMicrophoneAccess() = 0;
    virtual std::unique_ptr<MicrophoneCapture> makeMicrophoneCapture() = 0;
    virtual std::unique_ptr<SystemAudioCapture> makeSystemAudioCapture() = 0;
    /// Every input the registry knows, monitors included; nothing when the
    /// list cannot be read.
    virtual std::optional<std::vector<InputDeviceRecord>> inputDevices() = 0;

    /// The streams that other applications play into a device now (not
    /// Orvinta's own), oldest first; nothing when the list cannot be read.
    virtual std::optional<std::vector<PlaybackStream>> playbackStreams() { return std::nullopt; }
    /// Null where the back end cannot record single applications.
    virtual std::unique_ptr<ApplicationAudioCapture> makeApplicationAudioCapture() {
        return nullptr;
    }
    /// Hands `changed` the playback streams now and after every change, until
    /// the watch is destroyed (an empty list once the server went away).
    /// Throws EngineError when the sound server cannot be reached; null where
    /// the back end cannot watch.
    virtual std::unique_ptr<PlaybackWatch> watchPlaybackStreams(PlaybackStreamsHandler changed) {
        (void)changed;
        return nullptr;
    }
    /// Calls `changed`, from the back end's thread, whenever inputs or
    /// outputs come or go or the defaults change, and when the server went
    /// away or came back, until the watch is destroyed. Waits for a server
    /// that is not there. Null where the back end cannot watch.
    virtual std::unique_ptr<DeviceWatch> watchDevices(std::function<void()> changed) {
        (void)changed;
        return nullptr;
    }
};

} // namespace Orvinta
