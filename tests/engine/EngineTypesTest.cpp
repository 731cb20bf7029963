#include "Fakes.h"

#include <OrvintaEngine/AudioDevices.h>
#include <OrvintaEngine/EngineTypes.h>
#include <OrvintaEngine/LocaleData.h>
#include <OrvintaEngine/PocketSphinxRecognizer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_set>

using namespace Orvinta;
using namespace OrvintaTest;

namespace {

TEST(AudioSourceType, RawValuesMatchExactly) {
    EXPECT_EQ(audioSourceTypeFromRaw("microphone"), AudioSourceType::microphone);
    EXPECT_EQ(audioSourceTypeFromRaw("systemAudio"), AudioSourceType::systemAudio);
    for (const char *raw : {"Microphone", "mic", "", "systemaudio"})
        EXPECT_FALSE(audioSourceTypeFromRaw(raw)) << raw;
    EXPECT_EQ(allAudioSourceTypes(),
              (std::vector{AudioSourceType::systemAudio, AudioSourceType::microphone}));
    EXPECT_EQ(label(AudioSourceType::systemAudio), "System Audio");
}

TEST(CaptureError, DescriptionsNameThePermissionOnlyForItsMarkers) {
    const std::string permission = "System audio recording permission required. Allow Orvinta to "
                                   "record from the sound server in your sound settings.";
    EXPECT_EQ(CaptureError::engineSetupFailed("user declined access").description(), permission);
    EXPECT_EQ(CaptureError::engineSetupFailed("TCC refused").description(), permission);
    EXPECT_EQ(CaptureError::engineSetupFailed("User Declined").description(),
              "Audio engine setup failed: User Declined");
    EXPECT_EQ(CaptureError::engineSetupFailed("").description(), "Audio engine setup failed: ");
    EXPECT_EQ(CaptureError::noDisplay().description(), "No audio output found to capture");
    EXPECT_EQ(CaptureError::permissionDenied().kind(), CaptureError::Kind::permissionDenied);
}

TEST(AudioDevice, IdentityIsBothFields) {
    const AudioDevice a{3, "USB"}, b{3, "Headset"};
    EXPECT_NE(a, b);
    EXPECT_EQ(a, (AudioDevice{3, "USB"}));
    std::unordered_set<AudioDevice> set{a, b, AudioDevice{3, "USB"}};
    EXPECT_EQ(set.size(), 2u);
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

TEST(LocaleData, TablesAndShortNames) {
    EXPECT_EQ(LocaleData::supportedLocales().size(), 22u);
    EXPECT_EQ(LocaleData::translationTargets().size(), 23u);
    EXPECT_EQ(LocaleData::supportedLocales().front().id, "ko-KR");
    EXPECT_EQ(LocaleData::translationTargets().back().label, "Chinese (Traditional)");
    const auto contains = [](const std::vector<LanguageEntry> &table, const std::string &id) {
        return std::any_of(table.begin(), table.end(), [&](const auto &e) { return e.id == id; });
    };
    EXPECT_TRUE(contains(LocaleData::translationTargets(), "zh-TW"));
    EXPECT_FALSE(contains(LocaleData::supportedLocales(), "zh-TW"));
    for (const char *id : {"yue-CN", "fi-FI", "he-IL", "ms-MY"}) {
        EXPECT_TRUE(contains(LocaleData::supportedLocales(), id)) << id;
        EXPECT_FALSE(contains(LocaleData::translationTargets(), id)) << id;
    }
    EXPECT_EQ(languageName("en-GB"), "English");
    EXPECT_EQ(languageName("en-US"), "English");
    EXPECT_EQ(languageName("zh-TW"), "Chinese (Trad)");
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

TEST(PocketSphinxRecognizer, LanguagesWithoutAModelFailToReserveNamingIt) {
    PocketSphinxRecognizer recognizer("/nonexistent/model/root");
    try {
        recognizer.makeTranscriber("de-DE")->reserveAssets();
        FAIL() << "reserved a missing model";
    } catch (const EngineError &error) {
        EXPECT_NE(error.description().find("de-DE"), std::string::npos) << error.description();
    }
    try {
        recognizer.makeTranscriber("en-US")->reserveAssets();
        FAIL() << "reserved a missing model";
    } catch (const EngineError &error) {
        EXPECT_NE(error.description().find("pocketsphinx-en-us"), std::string::npos);
    }
}

} // namespace
