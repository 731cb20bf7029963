#include <TranscriptionCore/AudioPreprocessor.h>

#include <algorithm>
#include <cmath>

namespace TranscriptionCore {

namespace {
constexpr double twoPi = 6.283185307179586;
constexpr double twoSqrtTwo = 2.8284271247461903;
constexpr float silenceFloor = 1e-8f;
} // namespace

AudioPreprocessor::AudioPreprocessor(double sampleRate, double highPassCutoff, float targetRMSdB,
                                     float maxGainDB)
    : m_maxGainDB(maxGainDB) {
    const double w0 = twoPi * highPassCutoff / sampleRate;
    const double s = std::sin(w0);
    const double c = std::cos(w0);
    const double alpha = s / twoSqrtTwo;
    const double a0 = 1.0 + alpha;
    m_b0 = static_cast<float>(((1.0 + c) * 0.5) / a0);
    m_b1 = static_cast<float>(-(1.0 + c) / a0);
    m_b2 = m_b0;
    m_a1 = static_cast<float>((-2.0 * c) / a0);
    m_a2 = static_cast<float>((1.0 - alpha) / a0);
    m_targetRMS = std::pow(10.0f, targetRMSdB / 20.0f);
}

void AudioPreprocessor::process(float *samples, std::ptrdiff_t count) {
    if (count < 1)
        return;
    const std::lock_guard guard(m_lock);
    float *const end = samples + count;

    // A non-finite sample would poison the filter state for the rest of the
    // run; it is taken as silence.
    double sum = 0;
    for (float *s = samples; s != end; ++s) {
        if (!std::isfinite(*s))
            *s = 0;
        sum += *s;
    }
    const auto mean = static_cast<float>(sum / static_cast<double>(count));
    if (std::fabs(mean) > silenceFloor)
        std::transform(samples, end, samples, [mean](float s) { return s - mean; });

    float x1 = m_x1, x2 = m_x2, y1 = m_y1, y2 = m_y2;
    for (float *s = samples; s != end; ++s) {
        const float x = *s;
        const float y = m_b0 * x + m_b1 * x1 + m_b2 * x2 - m_a1 * y1 - m_a2 * y2;
        *s = y;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
    }
    m_x1 = x1;
    m_x2 = x2;
    m_y1 = y1;
    m_y2 = y2;

    double squares = 0;
    for (const float *s = samples; s != end; ++s)
        squares += static_cast<double>(*s) * static_cast<double>(*s);
    const auto rms = static_cast<float>(std::sqrt(squares / static_cast<double>(count)));
    if (!(rms > silenceFloor))
        return;

    float gainDB = 20.0f * std::log10(m_targetRMS) - 20.0f * std::log10(rms);
    gainDB = std::max(std::min(gainDB, m_maxGainDB), -m_maxGainDB);
    const float gain = std::pow(10.0f, gainDB / 20.0f);
    std::transform(samples, end, samples,
                   [gain](float s) { return std::clamp(s * gain, -1.0f, 1.0f); });
}

void AudioPreprocessor::reset() {
    const std::lock_guard guard(m_lock);
    m_x1 = m_x2 = m_y1 = m_y2 = 0;
}

} // namespace TranscriptionCore
