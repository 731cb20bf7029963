#include <OrvintaPlatform/ToneSoundPlayer.h>

#include <OrvintaPlatform/PlatformLog.h>

#include <OrvintaEngine/MainThread.h>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <numbers>

namespace Orvinta {

ToneSoundPlayer::ToneSoundPlayer()
    : m_worker(makeSerialWorker("orvinta-tones", lcSounds)) {}

ToneSoundPlayer::~ToneSoundPlayer() {
    m_worker->waitUntilIdle();
}

std::vector<float> ToneSoundPlayer::synthesize(Sound sound, int rate) {
    // Start: a rising pair of notes; stop: a falling one. Soft attack and
    // decay so neither clicks.
    const double first = sound == Sound::start ? 660.0 : 880.0;
    const double second = sound == Sound::start ? 880.0 : 523.25;
    const int noteLength = rate * 9 / 100;
    std::vector<float> samples(static_cast<std::size_t>(noteLength * 2));
    for (int i = 0; i < noteLength * 2; ++i) {
        const int n = i % noteLength;
        const double frequency = i < noteLength ? first : second;
        const double t = static_cast<double>(n) / rate;
        const double attack = std::min(1.0, n / (0.005 * rate));
        const double decay = std::exp(-4.0 * n / noteLength);
        samples[static_cast<std::size_t>(i)] = static_cast<float>(
            0.25 * attack * decay * std::sin(2 * std::numbers::pi * frequency * t));
    }
    return samples;
}

void ToneSoundPlayer::play(Sound sound) {
    m_worker->post([sound] { playTone(sound); });
}

void ToneSoundPlayer::playTone(Sound sound) {
    const std::vector<float> samples = synthesize(sound, sampleRate);
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, sampleRate, 1};
    int error = 0;
    pa_simple *stream = pa_simple_new(nullptr, "Orvinta", PA_STREAM_PLAYBACK, nullptr,
                                      "Orvinta sound", &spec, nullptr, nullptr, &error);
    if (!stream) {
        qCWarning(lcSounds, "Cannot play sound: %s", pa_strerror(error));
        return;
    }
    if (pa_simple_write(stream, samples.data(), samples.size() * sizeof(float), &error) < 0 ||
        pa_simple_drain(stream, &error) < 0)
        qCWarning(lcSounds, "Cannot play sound: %s", pa_strerror(error));
    pa_simple_free(stream);
}

} // namespace Orvinta
