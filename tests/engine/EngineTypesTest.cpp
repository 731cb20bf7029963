#include "Fakes.h"

#include <OrvintaEngineBackends/AudioDevices.h>
#include <OrvintaEngineBackends/EngineTypes.h>
#include <OrvintaEngineBackends/LocaleData.h>
#include <OrvintaEngineBackends/PocketSphinxRecognizer.h>

using namespace OrvintaTest;

TEST(ApplicationFollowing, FollowsOneStreamOfTheApplicationNamedByNameOrProgram) {
    const PlaybackStream call{3, "Firefox", "firefox", "firefox", "Meeting", false};
    const PlaybackStream music{4, "Spotify", "spotify", "", "Song", false};
    const PlaybackStream paused{5, "Firefox", "firefox", "", "Paused video", true};
    const PlaybackStream nextCall{9, "Firefox", "firefox", "", "Meeting 2", false};
    const PlaybackStream voice{11, "WEBRTC VoiceEngine", "Discord", "", "", false};

    // Its name or its program, whatever the case; nothing else.
    for (const char *name : {"Firefox", "FIREFOX", "firefox"})
        EXPECT_TRUE(playsFor(call, name)) << name;
    EXPECT_TRUE(playsFor(voice, "discord"));
    for (const char *name : {"fire", "Firefox ", "", "spotify"})
        EXPECT_FALSE(playsFor(call, name)) << name;

    using Streams = std::vector<PlaybackStream>;
    const auto none = std::optional<std::uint32_t>();
    EXPECT_EQ(streamToFollow(Streams{call, music}, "firefox", none), 3u);
    // Nothing of it plays (a paused stream plays nothing): the capture waits.
    EXPECT_EQ(streamToFollow(Streams{music, paused}, "firefox", none), none);
    // The stream recorded stays while it plays, also when a newer one starts…
    EXPECT_EQ(streamToFollow(Streams{call, nextCall}, "firefox", 3u), 3u);
    // …and once it ended (or paused), the newest playing one takes over.
    EXPECT_EQ(streamToFollow(Streams{music, nextCall}, "firefox", 3u), 9u);
    EXPECT_EQ(streamToFollow(Streams{paused, music, call, nextCall}, "Firefox", 5u), 9u);

    // One entry per application that plays, saying what its newest stream plays.
    EXPECT_EQ(playingApplications({call, music, paused, nextCall, voice}),
              (std::vector<PlayingApplication>{{"Firefox", "firefox", "firefox", "Meeting 2"},
                                               {"Spotify", "spotify", "", "Song"},
                                               {"WEBRTC VoiceEngine", "Discord", "", ""}}));
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
    registry.devices = std::vector<InputDeviceRecord>{{0, "Speakers monitor", 2, true, "m"},
                                                      {2, "Headset", 1, false, "h"},
                                                      {5, "Output only", 0, false, "o"},
                                                      {7, "Webcam", 2, false, "w"}};
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
    using W = std::pair<const char *, const char *>; // (token, word)
    for (const auto &[token, word] :
         {W{"<s>", ""}, W{"</s>", ""}, W{"<sil>", ""}, W{"[NOISE]", ""}, W{"[SPEECH]", ""},
          W{"++UH++", ""}, W{"", ""}, W{"read(2)", "read"}, W{"s.", "S"}, W{"u.s.", "US"},
          W{"i'm", "I'm"}, W{"it's", "it's"}})
        EXPECT_EQ(PocketSphinxText::wordText(token), word) << token;
}
