#pragma once

#include <OrvintaEngineBackends/AudioFormat.h>
#include <OrvintaEngineBackends/EngineTypes.h>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;

namespace Orvinta {

class BufferConversionError : public EngineError {
public:
    enum class Kind { converterCreationFailed, outputBufferCreationFailed, emptyOutput };

    explicit BufferConversionError(Kind kind);
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

/// Converts buffers of any PCM format into one fixed target format: sample
/// rate (libsamplerate, streaming), channel count and sample type in one step.
/// Resampler state and input the resampler has not taken yet carry over to the
/// next call, so a stream converted piece by piece equals the stream converted
/// whole. Thread-safe.
class BufferConverter {
public:
    explicit BufferConverter(const AudioFormat &targetFormat);
    ~BufferConverter();
    BufferConverter(const BufferConverter &) = delete;
    BufferConverter &operator=(const BufferConverter &) = delete;

    const AudioFormat &targetFormat() const { return m_targetFormat; }

    /// Throws BufferConversionError, or EngineError for a resampler failure.
    AudioBuffer convert(const AudioBuffer &input);

    /// Frames the output of `inputFrames` frames may hold.
    static std::uint32_t outputCapacity(std::uint32_t inputFrames, double inputRate,
                                        double targetRate);

private:
    struct SrcDeleter {
        void operator()(SRC_STATE *state) const;
    };

    void appendAsTargetChannels(const AudioBuffer &input);

    const AudioFormat m_targetFormat;
    std::mutex m_lock;
    std::unique_ptr<SRC_STATE, SrcDeleter> m_converter;
    std::optional<AudioFormat> m_converterInputFormat;
    // interleaved float frames in the target channel count, not yet resampled
    std::vector<float> m_pending;
    std::vector<float> m_scratch;
};

} // namespace Orvinta
