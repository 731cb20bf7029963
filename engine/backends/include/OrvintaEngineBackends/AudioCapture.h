#pragma once

#include <OrvintaEngineBackends/AudioFormat.h>
#include <OrvintaEngineBackends/EngineTypes.h>

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
    /// Drops both handlers.
    virtual void removeTap() = 0;
    /// Throws EngineError.
    virtual void start() = 0;
    virtual void stop() = 0;
};

/// Everything the computer plays, as mono 32-bit float at a requested rate.
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

enum class MicrophoneAccess { granted, denied };

/// One input device as the device registry reports it.
struct InputDeviceRecord {
    std::uint32_t id = 0;
    std::string name;
    std::uint32_t inputChannels = 0;
    bool isMonitor = false;
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
};

} // namespace Orvinta
