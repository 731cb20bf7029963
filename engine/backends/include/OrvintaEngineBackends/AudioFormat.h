#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orvinta {

enum class SampleType { float32, int16, int32 };

std::size_t bytesPerSample(SampleType type);

/// A PCM format: rate, channel count, sample type and interleaving.
struct AudioFormat {
    double sampleRate = 16000;
    std::uint32_t channels = 1;
    SampleType sampleType = SampleType::float32;
    bool interleaved = false;

    /// Bytes of one frame within one plane.
    std::size_t bytesPerPlaneFrame() const {
        return bytesPerSample(sampleType) * (interleaved ? channels : 1);
    }
    std::size_t planeCount() const { return interleaved ? 1 : channels; }

    friend bool operator==(const AudioFormat &, const AudioFormat &) = default;
};

/// A block of PCM audio: one plane for interleaved formats, one plane per
/// channel otherwise.
class AudioBuffer {
public:
    AudioBuffer(const AudioFormat &format, std::uint32_t frameCapacity);

    const AudioFormat &format() const { return m_format; }
    std::uint32_t frameCapacity() const { return m_frameCapacity; }
    std::uint32_t frameLength() const { return m_frameLength; }
    /// Clamped to the capacity.
    void setFrameLength(std::uint32_t frames);

    std::size_t planeCount() const { return m_planes.size(); }
    std::byte *planeBytes(std::size_t plane);
    const std::byte *planeBytes(std::size_t plane) const;
    /// The samples of a plane of a float format, or null for other sample types.
    float *floatChannel(std::size_t plane);
    const float *floatChannel(std::size_t plane) const;

private:
    AudioFormat m_format;
    std::uint32_t m_frameCapacity;
    std::uint32_t m_frameLength = 0;
    // float elements keep every plane suitably aligned for each sample type
    std::vector<std::vector<float>> m_planes;
};

} // namespace Orvinta
