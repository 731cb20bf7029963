#include <OrvintaEngineBackends/AudioFormat.h>

#include <algorithm>

namespace Orvinta {

std::size_t bytesPerSample(SampleType type) {
    switch (type) {
    case SampleType::float32:
    case SampleType::int32:
        return 4;
    case SampleType::int16:
        return 2;
    }
    return 4;
}

AudioBuffer::AudioBuffer(const AudioFormat &format, std::uint32_t frameCapacity)
    : m_format(format)
    , m_frameCapacity(frameCapacity) {
    const std::size_t bytes = format.bytesPerPlaneFrame() * frameCapacity;
    m_planes.assign(format.planeCount(), std::vector<float>((bytes + 3) / 4));
}

void AudioBuffer::setFrameLength(std::uint32_t frames) {
    m_frameLength = std::min(frames, m_frameCapacity);
}

std::byte *AudioBuffer::planeBytes(std::size_t plane) {
    return reinterpret_cast<std::byte *>(m_planes[plane].data());
}

const std::byte *AudioBuffer::planeBytes(std::size_t plane) const {
    return reinterpret_cast<const std::byte *>(m_planes[plane].data());
}

float *AudioBuffer::floatChannel(std::size_t plane) {
    return m_format.sampleType == SampleType::float32 ? m_planes[plane].data() : nullptr;
}

const float *AudioBuffer::floatChannel(std::size_t plane) const {
    return m_format.sampleType == SampleType::float32 ? m_planes[plane].data() : nullptr;
}

} // namespace Orvinta
