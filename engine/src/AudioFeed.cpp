#include <OrvintaEngine/AudioFeed.h>

#include <OrvintaEngine/SpeechLog.h>

#include <cstring>

namespace Orvinta {

void AudioFeed::enable(std::shared_ptr<AnalyzerInputQueue> queue, const AudioFormat &targetFormat) {
    std::lock_guard lock(m_lock);
    m_inputContinuation = std::move(queue);
    m_targetFormat = targetFormat;
    m_bufferConverter = std::make_shared<BufferConverter>(targetFormat);
    m_preprocessor = std::make_shared<TranscriptionCore::AudioPreprocessor>(targetFormat.sampleRate,
                                                                            80.0, -20.0f, 12.0f);
    m_feedingEnabled = true;
}

std::shared_ptr<AnalyzerInputQueue> AudioFeed::disable() {
    std::lock_guard lock(m_lock);
    auto queue = std::move(m_inputContinuation);
    m_feedingEnabled = false;
    m_inputContinuation.reset();
    m_bufferConverter.reset();
    m_preprocessor.reset();
    return queue;
}

void AudioFeed::setSampleFormat(std::optional<AudioFormat> format) {
    std::lock_guard lock(m_lock);
    m_sampleFormat = format;
}

void AudioFeed::endUtterance() {
    std::shared_ptr<AnalyzerInputQueue> queue;
    AudioFormat format;
    {
        std::lock_guard lock(m_lock);
        if (!m_feedingEnabled || !m_inputContinuation)
            return;
        queue = m_inputContinuation;
        format = m_targetFormat;
    }
    const auto frames = static_cast<std::uint32_t>(format.sampleRate / 2);
    AudioBuffer silence(format, frames);
    silence.setFrameLength(frames);
    queue->put(std::move(silence));
}

std::size_t AudioFeed::queuedBuffers() const {
    std::shared_ptr<AnalyzerInputQueue> queue;
    {
        std::lock_guard lock(m_lock);
        queue = m_inputContinuation;
    }
    return queue ? queue->size() : 0;
}

std::optional<AudioFeed::OpenGate> AudioFeed::openGate() const {
    std::lock_guard lock(m_lock);
    if (!m_feedingEnabled || !m_bufferConverter || !m_inputContinuation)
        return std::nullopt;
    return OpenGate{m_inputContinuation, m_bufferConverter, m_preprocessor, m_sampleFormat};
}

void AudioFeed::feedBuffer(const AudioBuffer &buffer) {
    if (const std::optional<OpenGate> gate = openGate())
        convertAndQueue(buffer, Origin::microphone, *gate);
}

void AudioFeed::feedSampleBuffer(const std::byte *bytes, std::size_t length) {
    const std::optional<OpenGate> gate = openGate();
    if (!gate || !bytes || length < 1 || !gate->sampleFormat)
        return;
    const auto frames = static_cast<std::uint32_t>(length / 4);
    AudioBuffer buffer(*gate->sampleFormat, frames);
    buffer.setFrameLength(frames);
    std::memcpy(buffer.planeBytes(0), bytes, static_cast<std::size_t>(frames) * 4);
    convertAndQueue(buffer, Origin::systemAudio, *gate);
}

void AudioFeed::convertAndQueue(const AudioBuffer &buffer, Origin origin, const OpenGate &gate) {
    std::optional<AudioBuffer> converted;
    try {
        converted = gate.converter->convert(buffer);
    } catch (const EngineError &error) {
        const QString description = QString::fromStdString(describe(error));
        if (origin == Origin::systemAudio)
            qCInfo(lcSpeech).noquote() << "[Speech] System audio conversion error: " + description;
        else
            qCInfo(lcSpeech).noquote() << "[Speech] Buffer conversion error: " + description;
        return;
    }
    if (float *samples = converted->floatChannel(0); samples && gate.preprocessor)
        gate.preprocessor->process(samples, converted->frameLength());
    gate.queue->put(std::move(*converted));
}

} // namespace Orvinta
