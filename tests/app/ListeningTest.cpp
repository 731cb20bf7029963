#include "AppTestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Orvinta;
using namespace Orvinta::Testing;
using Sound = SoundPlayer::Sound;

namespace {

void toggleAndWait(AppState &s) {
    s.toggleListening();
    run(s.toggleFinished());
}

class FakeHotkeys : public HotkeyService {
public:
    void setActions(HotkeyActions a) override { actions = std::move(a); }
    void start() override { started = true; }
    HotkeyActions actions;
    bool started = false;
};

class FakeOverlay : public OverlayController {
public:
    bool hasPanel() const override { return panel; }
    bool ensurePanel() override { return panel = canCreate; }
    void showPanel() override { ++shown; }
    void hidePanel() override { ++hidden; }
    bool canCreate = true;
    bool panel = false;
    int shown = 0;
    int hidden = 0;
};

} // namespace

TEST(Listening, aRunFromStartThroughLinesToStop) {
    AppFixture f;
    AppState &s = *f.state;
    EXPECT_TRUE(s.isModelLoaded()); // prepared at start-up
    EXPECT_EQ(s.modelLoadingStatus(), QStringLiteral("Ready"));
    EXPECT_EQ(ScriptedEngine::script->locales, std::vector<QString>{QStringLiteral("en-US")});

    QSignalSpy listening(&s, &AppState::isListeningChanged);
    toggleAndWait(s);
    EXPECT_TRUE(s.isListening());
    EXPECT_FALSE(s.isTransitioning());
    EXPECT_EQ(ScriptedEngine::script->lastSource, AudioSourceType::systemAudio);
    EXPECT_EQ(f.sounds->played, std::vector<Sound>{Sound::start});

    // The engine reports through the delegate.
    STTEngineDelegate &delegate = s;
    delegate.setInterimText(QStringLiteral("Good mor"));
    delegate.addConfirmedLine(QStringLiteral("Good morning."));
    EXPECT_EQ(s.lineCount(), 1);

    // The clock and the icon run while listening.
    ASSERT_TRUE(waitUntil([&] { return s.recordingElapsed() > 0.05 && s.menuBarIconFrame() > 2; }));

    toggleAndWait(s);
    EXPECT_FALSE(s.isListening());
    EXPECT_EQ(listening.count(), 2);
    EXPECT_EQ(ScriptedEngine::script->stops, 1);
    EXPECT_EQ(s.recordingElapsed(), 0);
    EXPECT_EQ(s.formattedRecordingTime(), QStringLiteral("0:00"));
    EXPECT_EQ(s.menuBarIconFrame(), 0);
    EXPECT_EQ(f.sounds->played, (std::vector<Sound>{Sound::start, Sound::stop}));
    spin(std::chrono::milliseconds(30));
    EXPECT_EQ(s.menuBarIconFrame(), 0); // the animation really stopped

    s.setSoundEnabled(false);
    toggleAndWait(s);
    toggleAndWait(s);
    EXPECT_EQ(f.sounds->played.size(), 2u);
}

TEST(Listening, failuresShowABannerThatDismissesItself) {
    AppFixture f;
    AppState &s = *f.state;
    ScriptedEngine::script->startError = "Audio engine setup failed: boom";
    toggleAndWait(s);
    EXPECT_FALSE(s.isListening());
    EXPECT_FALSE(s.isTransitioning());
    EXPECT_EQ(s.errorMessageText(), QStringLiteral("Audio engine setup failed: boom"));

    // A second message part-way through restarts the full period (150 ms in tests).
    spin(std::chrono::milliseconds(100));
    s.setErrorMessage(QStringLiteral("second"));
    spin(std::chrono::milliseconds(70));
    EXPECT_EQ(s.errorMessageText(), QStringLiteral("second"));
    ASSERT_TRUE(waitUntil([&] { return !s.errorMessage(); }, std::chrono::milliseconds(500)));

    s.setErrorMessage(QStringLiteral("cleared early"));
    s.setErrorMessage(std::nullopt);
    s.setErrorMessage(QStringLiteral("fresh"));
    spin(std::chrono::milliseconds(40));
    EXPECT_EQ(s.errorMessageText(), QStringLiteral("fresh")); // the cleared one's timer is gone
}

TEST(Listening, requestsThatMayNotStart) {
    {
        // No microphone access: the banner, and no engine start.
        AppFixture f;
        f.state->setSelectedSource(AudioSourceType::microphone);
        toggleAndWait(*f.state);
        EXPECT_EQ(f.state->micPermission(), MicPermission::denied);
        EXPECT_TRUE(
            f.state->errorMessageText().startsWith(QStringLiteral("Microphone access required.")));
        EXPECT_EQ(ScriptedEngine::script->starts, 0);
        EXPECT_FALSE(f.state->isTransitioning());
    }
    {
        // Dictating: toggling does nothing.
        AppFixture f;
        f.state->setIsDictating(true);
        toggleAndWait(*f.state);
        EXPECT_FALSE(f.state->isListening());
        EXPECT_EQ(ScriptedEngine::script->starts, 0);
    }
    {
        // The model failed to load: the start gives up quietly, keeping the load's banner.
        AppFixture f;
        ScriptedEngine::script->loadFails = true;
        f.restart();
        const QString banner = f.state->errorMessageText();
        EXPECT_TRUE(banner.startsWith(QStringLiteral("Failed to prepare")));
        toggleAndWait(*f.state);
        EXPECT_FALSE(f.state->isListening());
        EXPECT_EQ(ScriptedEngine::script->starts, 0);
        EXPECT_EQ(f.state->modelLoadingStatus(), QStringLiteral("Loading failed"));
    }
}

TEST(Listening, anUnreachableSoundServerIsNamedNotTakenForARefusal) {
    struct NoServer : AudioCaptureBackend {
        MicrophoneAccess requestMicrophoneAccess() override {
            throw EngineError("com.orvinta", -2,
                              "Cannot connect to the sound server: Connection refused");
        }
        std::unique_ptr<MicrophoneCapture> makeMicrophoneCapture() override { return nullptr; }
        std::unique_ptr<SystemAudioCapture> makeSystemAudioCapture() override { return nullptr; }
        std::optional<std::vector<InputDeviceRecord>> inputDevices() override {
            return std::nullopt;
        }
    };
    AppFixture f;
    f.state.reset();
    AppServices services;
    services.audio = std::make_shared<NoServer>();
    services.makeEngine = [](STTEngineDelegate *delegate) {
        return std::make_unique<ScriptedEngine>(delegate);
    };
    AppState s(services);
    run(s.startupFinished());
    s.setSelectedSource(AudioSourceType::microphone);
    toggleAndWait(s);
    EXPECT_EQ(s.errorMessageText(),
              QStringLiteral("Cannot connect to the sound server: Connection refused"));
    EXPECT_EQ(s.micPermission(), MicPermission::notDetermined); // asked again next time
    EXPECT_EQ(ScriptedEngine::script->starts, 0);
}

TEST(Listening, startUpListsInputDevicesAndKeepsAChosenOne)
{
    struct Registry : AudioCaptureBackend {
        MicrophoneAccess requestMicrophoneAccess() override { return MicrophoneAccess::granted; }
        std::unique_ptr<MicrophoneCapture> makeMicrophoneCapture() override { return nullptr; }
        std::unique_ptr<SystemAudioCapture> makeSystemAudioCapture() override { return nullptr; }
        std::optional<std::vector<InputDeviceRecord>> inputDevices() override
        {
            return std::vector<InputDeviceRecord>{{3, "Speakers monitor", 2, true}, {5, "USB mic", 1, false},
                                                  {9, "Headset", 1, false}};
        }
    };
    AppServices services;
    services.audio = std::make_shared<Registry>();
    AppState s(services);
    run(s.startupFinished());
    ASSERT_EQ(s.availableDevices().size(), 2u);
    EXPECT_EQ(s.availableDevices()[1].name, "Headset");
    EXPECT_EQ(s.selectedDeviceID(), 5u);

    s.setSelectedDeviceID(9);
    run(s.refreshAudioDevices());
    EXPECT_EQ(s.selectedDeviceID(), 9u);
}

TEST(Listening, reloadStopsTheRunAndPreparesTheNewLanguage) {
    AppFixture f;
    AppState &s = *f.state;
    toggleAndWait(s);
    ASSERT_TRUE(s.isListening());
    s.setSelectedLocale(QStringLiteral("fr-FR"));
    run(s.reloadEngine());
    EXPECT_FALSE(s.isListening());
    EXPECT_EQ(ScriptedEngine::script->stops, 1);
    EXPECT_EQ(s.recordingElapsed(), 0);
    EXPECT_EQ(ScriptedEngine::script->locales.back(), QStringLiteral("fr-FR"));
    EXPECT_TRUE(s.isModelLoaded());
    EXPECT_EQ(f.sounds->played, std::vector<Sound>{Sound::start}); // no stop sound on reload
}

TEST(Listening, shortcutsAndOverlay) {
    AppFixture f;
    auto hotkeys = std::make_shared<FakeHotkeys>();
    auto overlay = std::make_shared<FakeOverlay>();
    f.state.reset();
    AppServices services;
    services.preferences = f.preferences;
    services.hotkeys = hotkeys;
    services.makeOverlayController = [overlay](AppState &) {
        struct Forward : OverlayController {
            std::shared_ptr<FakeOverlay> o;
            bool hasPanel() const override { return o->hasPanel(); }
            bool ensurePanel() override { return o->ensurePanel(); }
            void showPanel() override { o->showPanel(); }
            void hidePanel() override { o->hidePanel(); }
        };
        auto forward = std::make_unique<Forward>();
        forward->o = overlay;
        return forward;
    };
    AppState s(services);
    EXPECT_TRUE(hotkeys->started);

    hotkeys->actions.toggleAutoCopy();
    EXPECT_TRUE(s.autoCopyToClipboard());
    EXPECT_TRUE(f.preferences->boolValue(QStringLiteral("app.autoCopyToClipboard")));
    hotkeys->actions.toggleAutoPaste();
    EXPECT_TRUE(f.preferences->boolValue(QStringLiteral("app.autoPasteAtCursor")));

    // Before the overlay exists the shortcut only flips and persists the flag.
    hotkeys->actions.toggleOverlay();
    EXPECT_FALSE(s.showOverlay());
    EXPECT_FALSE(f.preferences->boolValue(QStringLiteral("app.showOverlay")));
    s.setupOverlay();
    EXPECT_EQ(overlay->shown, 0);
    hotkeys->actions.toggleOverlay();
    EXPECT_EQ(overlay->shown, 1);
    hotkeys->actions.toggleOverlay();
    EXPECT_EQ(overlay->hidden, 1);
}

TEST(Listening, recordingTimeFormat) {
    EXPECT_EQ(formatRecordingTime(0), QStringLiteral("0:00"));
    EXPECT_EQ(formatRecordingTime(75.9), QStringLiteral("1:15"));
    EXPECT_EQ(formatRecordingTime(3599.99), QStringLiteral("59:59"));
    EXPECT_EQ(formatRecordingTime(3661), QStringLiteral("1:01:01"));
    EXPECT_EQ(formatRecordingTime(3725), QStringLiteral("1:02:05"));
}
