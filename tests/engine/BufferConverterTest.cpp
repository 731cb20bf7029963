#include <OrvintaEngineBackends/BufferConverter.h>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace Orvinta;

namespace {

const AudioFormat target{16000, 1, SampleType::float32, false};
const AudioFormat cdStereo{44100, 2, SampleType::float32, true};

/// A 440 Hz sine on both channels (the right one at half level), from frame `first` on.
AudioBuffer stereoSine(std::uint32_t first, std::uint32_t frames) {
    AudioBuffer buffer(cdStereo, frames);
    float *samples = buffer.floatChannel(0);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float value =
            0.5f * static_cast<float>(std::sin(2 * M_PI * 440 * (first + i) / 44100.0));
        samples[2 * i] = value;
        samples[2 * i + 1] = value / 2;
    }
    buffer.setFrameLength(frames);
    return buffer;
}

std::vector<float> samplesOf(const AudioBuffer &buffer) {
    return {buffer.floatChannel(0), buffer.floatChannel(0) + buffer.frameLength()};
}

TEST(BufferConverter, PiecewiseConversionEqualsConvertingTheWhole) {
    constexpr std::uint32_t total = 4096 * 20;
    BufferConverter whole(target);
    const std::vector<float> expected = samplesOf(whole.convert(stereoSine(0, total)));

    BufferConverter pieces(target);
    std::vector<float> actual;
    for (std::uint32_t first = 0; first < total; first += 4096) {
        const AudioBuffer out = pieces.convert(stereoSine(first, 4096));
        EXPECT_EQ(out.format(), target);
        EXPECT_LE(out.frameLength(), BufferConverter::outputCapacity(4096, 44100, 16000));
        const auto part = samplesOf(out);
        actual.insert(actual.end(), part.begin(), part.end());
    }
    // Same frames, no gaps or repeats at the piece boundaries: at most the
    // resampler's look-ahead may still be held back at the very end.
    ASSERT_NEAR(static_cast<double>(actual.size()), static_cast<double>(expected.size()), 2.0);
    const std::size_t common = std::min(actual.size(), expected.size());
    float worst = 0;
    for (std::size_t i = 0; i < common; ++i)
        worst = std::max(worst, std::fabs(actual[i] - expected[i]));
    EXPECT_LT(worst, 1e-4f);

    // And the mixed-down level is right: (1 + 0.5) / 2 of 0.5 amplitude.
    float peak = 0;
    for (std::size_t i = common / 2; i < common; ++i)
        peak = std::max(peak, std::fabs(actual[i]));
    EXPECT_NEAR(peak, 0.375f, 0.01f);
}

TEST(BufferConverter, EmptyInputAndFormatChanges) {
    BufferConverter converter(target);
    try {
        converter.convert(AudioBuffer(cdStereo, 0));
        FAIL() << "empty input produced output";
    } catch (const BufferConversionError &error) {
        EXPECT_EQ(error.kind(), BufferConversionError::Kind::emptyOutput);
    }

    // Already in the target format: still a new buffer, unchanged in length.
    AudioBuffer same(target, 1600);
    same.setFrameLength(1600);
    std::fill(same.floatChannel(0), same.floatChannel(0) + 1600, 0.25f);
    const AudioBuffer out = converter.convert(same);
    EXPECT_NE(out.floatChannel(0), same.floatChannel(0));
    EXPECT_GT(out.frameLength(), 1500u);

    // Alternating input formats keep working, each at its own rate.
    const AudioFormat int16Mono48k{48000, 1, SampleType::int16, true};
    for (int round = 0; round < 3; ++round) {
        AudioBuffer a(int16Mono48k, 4800);
        a.setFrameLength(4800);
        EXPECT_NEAR(converter.convert(a).frameLength(), 1600.0, 40.0);
        EXPECT_NEAR(converter.convert(stereoSine(0, 4410)).frameLength(), 1600.0, 40.0);
    }
}

TEST(BufferConverter, ConcurrentCallersAreSerialised) {
    BufferConverter converter(target);
    std::vector<std::jthread> threads;
    std::atomic<std::uint64_t> frames{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i)
                frames += converter.convert(stereoSine(0, 4096)).frameLength();
        });
    threads.clear(); // joins them
    EXPECT_NEAR(static_cast<double>(frames), 80 * 4096 * 16000.0 / 44100, 200);
}

} // namespace
