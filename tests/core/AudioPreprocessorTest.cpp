#include <TranscriptionCore/AudioPreprocessor.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

using namespace TranscriptionCore;

namespace {

AudioPreprocessor engineSetting() {
    return AudioPreprocessor(16000, 80, -20, 12);
}

std::vector<float> sine(std::size_t count, double frequency, double amplitude,
                        double rate = 16000) {
    std::vector<float> s(count);
    for (std::size_t i = 0; i < count; ++i)
        s[i] = static_cast<float>(
            amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
    return s;
}

double rmsDB(const std::vector<float> &s) {
    double sum = 0;
    for (float v : s)
        sum += double(v) * v;
    return 20 * std::log10(std::sqrt(sum / double(s.size())));
}

std::vector<float> processed(AudioPreprocessor &p, std::vector<float> s) {
    p.process(s.data(), std::ssize(s));
    return s;
}

// Level change the preprocessor applies to a 1 kHz tone at `levelDB` (well
// above the cut-off, so the filter passes it almost unchanged).
double gainAppliedAt(double levelDB) {
    auto p = engineSetting();
    const double amplitude = std::pow(10.0, levelDB / 20) * std::sqrt(2.0);
    const auto block = sine(16000, 1000, amplitude);
    return rmsDB(processed(p, block)) - rmsDB(block);
}

} // namespace

TEST(AudioPreprocessor, silenceAndPureOffsetStayUntouchedByGain) {
    auto p = engineSetting();
    EXPECT_EQ(processed(p, std::vector<float>(512, 0.0f)), std::vector<float>(512, 0.0f));
    EXPECT_TRUE(std::ranges::all_of(processed(p, std::vector<float>(512, 0.5f)),
                                    [](float v) { return std::fabs(v) < 1e-6f; }));

    std::vector<float> untouched{0.3f, 0.4f};
    p.process(untouched.data(), 0);
    p.process(untouched.data(), -5);
    EXPECT_EQ(untouched, (std::vector<float>{0.3f, 0.4f}));
}

TEST(AudioPreprocessor, levelsTowardsTargetWithinTheGainLimit) {
    EXPECT_NEAR(gainAppliedAt(-40), 12.0, 0.1);
    EXPECT_NEAR(gainAppliedAt(-26), 6.0, 0.1);
    EXPECT_NEAR(gainAppliedAt(-5), -12.0, 0.1);

    auto p = engineSetting();
    // Far beyond full scale: gain limited, then clipped.
    const auto loud = processed(p, sine(4096, 300, 40.0));
    EXPECT_TRUE(std::ranges::all_of(loud, [](float v) { return v >= -1.0f && v <= 1.0f; }));
    EXPECT_GT(std::ranges::max(loud), 0.99f);
}

TEST(AudioPreprocessor, filterStateCarriesAcrossBlocksUntilReset) {
    // A gain limit of 0 dB takes levelling out, so only the filter history differs.
    const auto signal = sine(2048, 50, 0.3);
    const std::vector<float> secondHalf(signal.begin() + 1024, signal.end());

    AudioPreprocessor carried(16000, 80, -20, 0);
    processed(carried, {signal.begin(), signal.begin() + 1024});
    const auto second = processed(carried, secondHalf);

    AudioPreprocessor fresh(16000, 80, -20, 0);
    const auto alone = processed(fresh, secondHalf);
    EXPECT_NE(second.front(), alone.front());

    carried.reset();
    EXPECT_EQ(processed(carried, secondHalf), alone);
}

TEST(AudioPreprocessor, nonFiniteSamplesDoNotPoisonLaterBlocks) {
    auto p = engineSetting();
    auto bad = sine(1024, 440, 0.1);
    bad[10] = std::numeric_limits<float>::quiet_NaN();
    bad[20] = std::numeric_limits<float>::infinity();
    const auto finite = [](float v) { return std::isfinite(v); };
    EXPECT_TRUE(std::ranges::all_of(processed(p, bad), finite));
    const auto next = processed(p, sine(1024, 440, 0.1));
    EXPECT_TRUE(std::ranges::all_of(next, finite));
    EXPECT_NEAR(rmsDB(next), -20, 1.0);
}
