#include "AppTestSupport.h"

#include <OrvintaPlatform/ToneSoundPlayer.h>

#include <QProcess>

#include <cmath>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(Sounds, startAndStopTonesAreDistinctAndClean) {
    using Sound = SoundPlayer::Sound;
    const auto start = ToneSoundPlayer::synthesize(Sound::start, 44100);
    const auto stop = ToneSoundPlayer::synthesize(Sound::stop, 44100);
    EXPECT_NE(start, stop);
    for (const auto *tone : {&start, &stop}) {
        EXPECT_GT(tone->size(), 4410u);             // audible: over 0.1 s
        EXPECT_LT(tone->size(), 22050u);            // short: under 0.5 s
        EXPECT_LT(std::fabs(tone->front()), 1e-3f); // no click at the start
        for (float s : *tone)
            ASSERT_LE(std::fabs(s), 1.0f);
    }
}

TEST(Sounds, playThroughTheSoundServer) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "needs the test sound server (./test.sh starts one)";
    // Record what the default sink plays while the start tone sounds.
    QProcess recorder;
    recorder.start("parec", {"--device=@DEFAULT_MONITOR@", "--format=float32le", "--channels=1",
                             "--rate=16000", "--raw"});
    ASSERT_TRUE(recorder.waitForStarted());
    spin(std::chrono::milliseconds(300));
    {
        ToneSoundPlayer player;
        player.play(SoundPlayer::Sound::start);
        spin(std::chrono::milliseconds(600));
    }
    recorder.terminate();
    recorder.waitForFinished();
    const QByteArray bytes = recorder.readAllStandardOutput();
    const auto *samples = reinterpret_cast<const float *>(bytes.constData());
    float peak = 0;
    for (qsizetype i = 0; i < bytes.size() / 4; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    EXPECT_GT(peak, 0.05f) << "recorded " << bytes.size() << " bytes";
}
