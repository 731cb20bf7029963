#pragma once

#include <OrvintaApp/AppServices.h>

#include <memory>
#include <vector>

namespace Orvinta {

/// Start and stop sounds as two short synthesised tones played through the
/// sound server, each on a short-lived worker so the caller never waits.
class ToneSoundPlayer : public SoundPlayer {
public:
    ToneSoundPlayer();
    ~ToneSoundPlayer() override;

    void play(Sound sound) override;

    /// The samples of a sound: mono 32-bit float at `sampleRate`.
    static std::vector<float> synthesize(Sound sound, int sampleRate);
    static constexpr int sampleRate = 44100;

private:
    static void playTone(Sound sound);

    struct Workers;
    std::unique_ptr<Workers> m_workers;
};

} // namespace Orvinta
