#include <OrvintaEngineBackends/BufferConverter.h>

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace Orvinta {

namespace {

std::string conversionDescription(BufferConversionError::Kind kind) {
    switch (kind) {
    case BufferConversionError::Kind::converterCreationFailed:
        return "Failed to create audio converter";
    case BufferConversionError::Kind::outputBufferCreationFailed:
        return "Failed to create output buffer";
    case BufferConversionError::Kind::emptyOutput:
        return "Audio conversion produced empty output";
    }
    return {};
}

float readSample(const std::byte *plane, std::size_t index, SampleType type) {
    switch (type) {
    case SampleType::float32: {
        float value;
        std::memcpy(&value, plane + index * 4, 4);
        return value;
    }
    case SampleType::int16: {
        std::int16_t value;
        std::memcpy(&value, plane + index * 2, 2);
        return static_cast<float>(value) / 32768.0f;
    }
    case SampleType::int32: {
        std::int32_t value;
        std::memcpy(&value, plane + index * 4, 4);
        return static_cast<float>(static_cast<double>(value) / 2147483648.0);
    }
    }
    return 0;
}

void writeSample(std::byte *plane, std::size_t index, SampleType type, float value) {
    switch (type) {
    case SampleType::float32:
        std::memcpy(plane + index * 4, &value, 4);
        return;
    case SampleType::int16: {
        const auto scaled =
            static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f));
        std::memcpy(plane + index * 2, &scaled, 2);
        return;
    }
    case SampleType::int32: {
        const auto scaled = static_cast<std::int32_t>(
            std::llround(static_cast<double>(std::clamp(value, -1.0f, 1.0f)) * 2147483647.0));
        std::memcpy(plane + index * 4, &scaled, 4);
        return;
    }
    }
}

} // namespace

BufferConversionError::BufferConversionError(Kind kind)
    : EngineError("com.orvinta.BufferConversionError", static_cast<int>(kind),
                  conversionDescription(kind))
    , m_kind(kind) {}

void BufferConverter::SrcDeleter::operator()(SRC_STATE *state) const {
    src_delete(state);
}

BufferConverter::BufferConverter(const AudioFormat &targetFormat)
    : m_targetFormat(targetFormat) {}

BufferConverter::~BufferConverter() = default;

std::uint32_t BufferConverter::outputCapacity(std::uint32_t inputFrames, double inputRate,
                                              double targetRate) {
    const double frames =
        std::ceil(static_cast<double>(inputFrames) * targetRate / inputRate) + 1.0;
    if (!(frames < static_cast<double>(std::numeric_limits<std::uint32_t>::max())))
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(frames);
}

void BufferConverter::appendAsTargetChannels(const AudioBuffer &input) {
    const AudioFormat &format = input.format();
    const std::size_t inChannels = format.channels;
    const std::size_t outChannels = m_targetFormat.channels;
    const std::size_t frames = input.frameLength();
    const std::size_t start = m_pending.size();
    m_pending.resize(start + frames * outChannels);

    auto sampleAt = [&](std::size_t frame, std::size_t channel) {
        if (format.interleaved)
            return readSample(input.planeBytes(0), frame * inChannels + channel, format.sampleType);
        return readSample(input.planeBytes(channel), frame, format.sampleType);
    };

    for (std::size_t frame = 0; frame < frames; ++frame) {
        float *out = m_pending.data() + start + frame * outChannels;
        if (outChannels == 1 && inChannels > 1) {
            float sum = 0;
            for (std::size_t c = 0; c < inChannels; ++c)
                sum += sampleAt(frame, c);
            out[0] = sum / static_cast<float>(inChannels);
        } else {
            for (std::size_t c = 0; c < outChannels; ++c)
                out[c] = sampleAt(frame, c % inChannels);
        }
    }
}

AudioBuffer BufferConverter::convert(const AudioBuffer &input) {
    std::lock_guard lock(m_lock);
    const AudioFormat &inputFormat = input.format();

    if (!m_converter || m_converterInputFormat != inputFormat) {
        int error = 0;
        SRC_STATE *state = nullptr;
        if (inputFormat.channels > 0 && inputFormat.sampleRate > 0 && m_targetFormat.channels > 0 &&
            m_targetFormat.sampleRate > 0)
            state = src_new(SRC_SINC_FASTEST, static_cast<int>(m_targetFormat.channels), &error);
        if (!state)
            throw BufferConversionError(BufferConversionError::Kind::converterCreationFailed);
        m_converter.reset(state);
        m_converterInputFormat = inputFormat;
        m_pending.clear();
    }

    const std::uint32_t capacity =
        outputCapacity(input.frameLength(), inputFormat.sampleRate, m_targetFormat.sampleRate);
    // A request beyond ten minutes of audio is a corrupt buffer, not audio.
    if (capacity > static_cast<std::uint32_t>(m_targetFormat.sampleRate * 600))
        throw BufferConversionError(BufferConversionError::Kind::outputBufferCreationFailed);
    AudioBuffer output(m_targetFormat, capacity);

    appendAsTargetChannels(input);
    const std::size_t channels = m_targetFormat.channels;
    m_scratch.resize(static_cast<std::size_t>(capacity) * channels);

    SRC_DATA data{};
    data.data_in = m_pending.data();
    data.input_frames = static_cast<long>(m_pending.size() / channels);
    data.data_out = m_scratch.data();
    data.output_frames = static_cast<long>(capacity);
    data.src_ratio = m_targetFormat.sampleRate / inputFormat.sampleRate;
    data.end_of_input = 0;
    if (const int error = src_process(m_converter.get(), &data); error != 0)
        throw EngineError("libsamplerate", error, src_strerror(error));

    m_pending.erase(m_pending.begin(),
                    m_pending.begin() +
                        static_cast<std::ptrdiff_t>(
                            static_cast<std::size_t>(data.input_frames_used) * channels));

    const auto generated = static_cast<std::uint32_t>(data.output_frames_gen);
    if (generated == 0)
        throw BufferConversionError(BufferConversionError::Kind::emptyOutput);

    for (std::size_t frame = 0; frame < generated; ++frame) {
        for (std::size_t c = 0; c < channels; ++c) {
            const float value = m_scratch[frame * channels + c];
            if (m_targetFormat.interleaved)
                writeSample(output.planeBytes(0), frame * channels + c, m_targetFormat.sampleType,
                            value);
            else
                writeSample(output.planeBytes(c), frame, m_targetFormat.sampleType, value);
        }
    }
    output.setFrameLength(generated);
    return output;
}

} // namespace Orvinta
