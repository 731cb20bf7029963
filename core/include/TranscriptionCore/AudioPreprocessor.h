#pragma once

#include <cstddef>
#include <mutex>

namespace TranscriptionCore {

/// Conditions blocks of mono float audio in place: DC removal, a high-pass
/// biquad whose state carries across blocks, bounded levelling and clipping.
/// Thread-safe; `process` never allocates.
class AudioPreprocessor {
public:
    AudioPreprocessor(double sampleRate, double highPassCutoff, float targetRMSdB, float maxGainDB);

    void process(float *samples, std::ptrdiff_t count);
    void reset();

    float b0() const { return m_b0; }
    float b1() const { return m_b1; }
    float b2() const { return m_b2; }
    float a1() const { return m_a1; }
    float a2() const { return m_a2; }
    float targetRMS() const { return m_targetRMS; }
    float maxGainDB() const { return m_maxGainDB; }

private:
    float m_b0, m_b1, m_b2, m_a1, m_a2;
    float m_x1 = 0, m_x2 = 0, m_y1 = 0, m_y2 = 0;
    float m_targetRMS;
    float m_maxGainDB;
    std::mutex m_lock;
};

} // namespace TranscriptionCore
