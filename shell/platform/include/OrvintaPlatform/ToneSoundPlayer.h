#pragma once

#include <OrvintaApp/AppServices.h>

#include <memory>
#include <vector>

namespace Orvinta {

class SerialWorker;

/// Start and stop sounds as two short synthesised tones played through the
/// sound server, one after the other on a worker of their own so the caller
/// never waits.
class ToneSoundPlayer : public SoundPlayer {
public:
    ToneSoundPlayer();
    /// Waits for the tones already asked for: each lasts a fraction of a second.
    ~ToneSoundPlayer() override;

    void play(Sound sound) override;

    /// The samples of a sound: mono 32-bit float at `sampleRate`.
    static std::vector<float> synthesize(Sound sound, int sampleRate);
    static constexpr int sampleRate = 44100;

private:
    static void playTone(Sound sound);

    std::shared_ptr<SerialWorker> m_worker;
};

} // namespace Orvinta
