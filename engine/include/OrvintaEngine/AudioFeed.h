#pragma once

#include <OrvintaEngineBackends/AnalyzerInputQueue.h>
#include <OrvintaEngineBackends/AudioFormat.h>
#include <OrvintaEngineBackends/BufferConverter.h>

#include <TranscriptionCore/AudioPreprocessor.h>

#include <memory>
#include <mutex>
#include <optional>

namespace Orvinta {

/// The path from a capture thread into the analyzer's queue: the gate, the
/// conversion to the analyzer's format, levelling and queueing. The lock is
/// held only to read or change the gate, never while audio is processed.
class AudioFeed {
public:
    /// Opens the gate onto `queue`, with a new converter and preprocessor.
    void enable(std::shared_ptr<AnalyzerInputQueue> queue, const AudioFormat &targetFormat);
    /// Closes the gate and hands back the queue it fed, if any.
    std::shared_ptr<AnalyzerInputQueue> disable();

    /// The format of the raw samples that `feedSampleBuffer` receives.
    void setSampleFormat(std::optional<AudioFormat> format);

    /// From a capture thread.
    void feedBuffer(const AudioBuffer &buffer);
    /// Mono float samples of the system-audio stream, from its thread.
    void feedSampleBuffer(const std::byte *bytes, std::size_t length);

    /// Half a second of silence straight into the open queue: the recogniser
    /// ends the sentence it is in, as after a pause, when capture stopped
    /// short (the sound server went away, the computer goes to sleep).
    void endUtterance();

    /// Buffers waiting in the open queue.
    std::size_t queuedBuffers() const;

private:
    enum class Origin { microphone, systemAudio };
    /// What one buffer needs, taken under the lock and used outside it.
    struct OpenGate {
        std::shared_ptr<AnalyzerInputQueue> queue;
        std::shared_ptr<BufferConverter> converter;
        std::shared_ptr<TranscriptionCore::AudioPreprocessor> preprocessor;
        std::optional<AudioFormat> sampleFormat;
    };
    /// Nothing while feeding is off.
    std::optional<OpenGate> openGate() const;
    static void convertAndQueue(const AudioBuffer &buffer, Origin origin, const OpenGate &gate);

    mutable std::mutex m_lock;
    bool m_feedingEnabled = false;
    std::shared_ptr<AnalyzerInputQueue> m_inputContinuation;
    std::shared_ptr<BufferConverter> m_bufferConverter;
    std::shared_ptr<TranscriptionCore::AudioPreprocessor> m_preprocessor;
    std::optional<AudioFormat> m_sampleFormat;
    AudioFormat m_targetFormat;
};

} // namespace Orvinta
