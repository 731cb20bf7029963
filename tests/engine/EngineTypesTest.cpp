#include "Fakes.h"

#include <OrvintaEngineBackends/AudioDevices.h>
#include <OrvintaEngineBackends/EngineTypes.h>
#include <OrvintaEngineBackends/LocaleData.h>
#include <OrvintaEngineBackends/PocketSphinxRecognizer.h>

using namespace Orvinta;
using namespace OrvintaTest;

namespace {

TEST(AudioSourceType, StoredValuesReadBackExactly) {
    for (AudioSourceType source : allAudioSourceTypes())
        EXPECT_EQ(audioSourceTypeFromRaw(rawValue(source)), source);
    for (const char *raw : {"Microphone", "mic", "", "systemaudio"})
        EXPECT_FALSE(audioSourceTypeFromRaw(raw)) << raw;
}

TEST(CaptureError, DescriptionsNameThePermissionOnlyForItsMarkers) {
    EXPECT_EQ(CaptureError::engineSetupFailed("user declined access").description(),
              "System audio recording permission required. Allow Orvinta to record from the "
              "sound server in your sound settings.");
    EXPECT_EQ(CaptureError::engineSetupFailed("User Declined").description(),
              "Audio engine setup failed: User Declined");
}

TEST(RefreshAudioDevices, ListsInputsThatAreNotMonitorsAndSelectsTheFirstOnce) {
    FakeCapture registry;
    registry.devices = std::vector<InputDeviceRecord>{{0, "Speakers monitor", 2, true},
                                                      {2, "Headset", 1, false},
                                                      {5, "Output only", 0, false},
                                                      {7, "Webcam", 2, false}};
    std::vector<AudioDevice> devices{{9, "stale"}};
    std::optional<std::uint32_t> selected;
    refreshAudioDevices(registry, devices, selected);
    EXPECT_EQ(devices, (std::vector<AudioDevice>{{2, "Headset"}, {7, "Webcam"}}));
    EXPECT_EQ(selected, 2u);

    selected = 42; // a vanished selection is left alone
    refreshAudioDevices(registry, devices, selected);
    EXPECT_EQ(selected, 42u);

    registry.devices = std::nullopt; // unreadable registry: nothing changes
    refreshAudioDevices(registry, devices, selected);
    EXPECT_EQ(devices.size(), 2u);

    registry.devices = std::vector<InputDeviceRecord>{};
    selected.reset();
    refreshAudioDevices(registry, devices, selected);
    EXPECT_TRUE(devices.empty());
    EXPECT_FALSE(selected);
}

TEST(LocaleData, ShortNamesFallBackToTheIdentifier) {
    EXPECT_EQ(languageName("en-GB"), "English");
    EXPECT_EQ(languageName("pt-PT"), "pt-PT");
}

TEST(PocketSphinxText, FillersNoiseAndVariantMarkersNeverReachTheText) {
    for (const char *token : {"<s>", "</s>", "<sil>", "[NOISE]", "[SPEECH]", "++UH++", ""})
        EXPECT_EQ(PocketSphinxText::wordText(token), "") << token;
    EXPECT_EQ(PocketSphinxText::wordText("read(2)"), "read");
    EXPECT_EQ(PocketSphinxText::wordText("s."), "S");
    EXPECT_EQ(PocketSphinxText::wordText("u.s."), "US");
    EXPECT_EQ(PocketSphinxText::wordText("i'm"), "I'm");
    EXPECT_EQ(PocketSphinxText::wordText("it's"), "it's");
}

// A language without a model, and no model at all: Cli's badInput names both.
} // namespace
