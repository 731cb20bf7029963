#include "AppTestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <thread>

using namespace Orvinta;
using namespace Orvinta::Testing;
using Sound = SoundPlayer::Sound;
using namespace std::chrono_literals;

TEST(Listening, aRunFromStartThroughLinesToStop) {
    AppFixture f;
    AppState &s = *f.state;
    EXPECT_TRUE(s.listening()->isModelLoaded()); // prepared at start-up
    EXPECT_EQ(f.recognizer->transcriberLocales, std::vector<std::string>{"en-US"});

    QSignalSpy listening(s.listening(), &ListeningController::isListeningChanged);
    f.toggleListening();
    EXPECT_TRUE(s.listening()->isListening());
    EXPECT_FALSE(s.listening()->isTransitioning());
    EXPECT_TRUE(f.capture->systemAudio->running);
    EXPECT_EQ(f.sounds->played, std::vector<Sound>{Sound::start});

    // The engine reports through the delegate.
    STTEngineDelegate &delegate = *s.listening();
    delegate.setInterimText("Good mor");
    delegate.addConfirmedLine("Good morning.");
    EXPECT_EQ(s.transcript()->lineCount(), 1);

    // The clock and the icon run while listening.
    ASSERT_TRUE(waitUntil([&] {
        return s.listening()->recordingElapsed() > 0.05 && s.listening()->menuBarIconFrame() > 2;
    }));

    f.toggleListening();
    EXPECT_FALSE(s.listening()->isListening());
    EXPECT_EQ(listening.count(), 2);
    EXPECT_EQ(f.stops(), 1);
    EXPECT_EQ(s.listening()->recordingElapsed(), 0);
    EXPECT_EQ(s.listening()->formattedRecordingTime(), "0:00");
    EXPECT_EQ(s.listening()->menuBarIconFrame(), 0);
    EXPECT_EQ(f.sounds->played, (std::vector<Sound>{Sound::start, Sound::stop}));
    spin(30ms);
    EXPECT_EQ(s.listening()->menuBarIconFrame(), 0); // the animation really stopped

    s.preferences()->setSoundEnabled(false);
    f.toggleListening();
    f.toggleListening();
    EXPECT_EQ(f.sounds->played.size(), 2u);

    // Whoever changes the recognition language (panel, settings): the engine
    // follows, and a run stops.
    f.toggleListening();
    const int engines = *f.enginesMade;
    s.preferences()->setSelectedLocale("es-ES");
    ASSERT_TRUE(
        waitUntil([&] { return *f.enginesMade == engines + 1 && s.listening()->isModelLoaded(); }));
    EXPECT_FALSE(s.listening()->isListening());
    EXPECT_EQ(f.recognizer->transcriberLocales.back(), "es-ES");

    // Quitting ends a run first, so its last sentence is finished and saved;
    // a start on its way is waited for, and without a run nothing stops.
    s.listening()->toggleListening();
    run(s.listening()->finishBeforeQuit());
    EXPECT_FALSE(s.listening()->isListening());
    EXPECT_EQ(f.stops(), 4);
    run(s.listening()->finishBeforeQuit());
    EXPECT_EQ(f.stops(), 4);
}

TEST(Listening, failuresShowABannerThatDismissesItself) {
    AppFixture f;
    AppState &s = *f.state;
    f.capture->systemAudio->startFailure = CaptureError::engineSetupFailed("boom");
    f.toggleListening();
    EXPECT_FALSE(s.listening()->isListening());
    EXPECT_FALSE(s.listening()->isTransitioning());
    EXPECT_EQ(s.listening()->errorMessageText(), "Audio engine setup failed: boom");

    // A second message part-way through restarts the full period (150 ms in tests).
    spin(100ms);
    s.listening()->setErrorMessage("second");
    spin(70ms);
    EXPECT_EQ(s.listening()->errorMessageText(), "second");
    ASSERT_TRUE(waitUntil([&] { return !s.listening()->errorMessage(); }, 500ms));

    s.listening()->setErrorMessage("cleared early");
    s.listening()->setErrorMessage(std::nullopt);
    s.listening()->setErrorMessage("fresh");
    spin(40ms); // the cleared one's timer is gone: nothing dismisses the fresh one
    EXPECT_EQ(s.listening()->errorMessageText(), "fresh");
}

TEST(Listening, requestsThatMayNotStart) {
    {
        // No microphone access: the banner, and no engine start.
        AppFixture f;
        f.state->preferences()->setSelectedSource(AudioSourceType::microphone);
        f.toggleListening();
        EXPECT_EQ(f.state->listening()->micPermission(), MicPermission::denied);
        EXPECT_TRUE(
            f.state->listening()->errorMessageText().startsWith("Microphone access required."));
        EXPECT_EQ(f.starts(), 0);
        EXPECT_FALSE(f.state->listening()->isTransitioning());

        // Dictating: toggling does nothing.
        f.state->preferences()->setSelectedSource(AudioSourceType::systemAudio);
        f.state->dictation()->setIsDictating(true);
        f.toggleListening();
        EXPECT_FALSE(f.state->listening()->isListening());
        EXPECT_EQ(f.starts(), 0);
    }
    {
        // The model failed to load: the start gives up quietly, keeping the load's banner.
        AppFixture f;
        f.recognizer->installedLocales.clear();
        f.restart();
        const QString banner = f.state->listening()->errorMessageText();
        EXPECT_TRUE(banner.startsWith("Failed to prepare"));
        f.toggleListening();
        EXPECT_FALSE(f.state->listening()->isListening());
        EXPECT_EQ(f.starts(), 0);
        EXPECT_EQ(f.state->listening()->modelLoadingStatus(), "Loading failed");
    }
    {
        // An unreachable sound server is named, not taken for a refusal.
        AppFixture f;
        auto audio = std::make_shared<OrvintaTest::FakeCapture>();
        audio->unreachable = EngineError("com.orvinta", -2,
                                         "Cannot connect to the sound server: Connection refused");
        f.audio = audio;
        f.restart();
        f.state->preferences()->setSelectedSource(AudioSourceType::microphone);
        f.toggleListening();
        EXPECT_EQ(f.state->listening()->errorMessageText(),
                  "Cannot connect to the sound server: Connection refused");
        // Asked again next time.
        EXPECT_EQ(f.state->listening()->micPermission(), MicPermission::notDetermined);
        EXPECT_EQ(f.starts(), 0);
    }
}

TEST(Listening, startUpListsInputDevicesAndShortcutsAndOverlayRequestsReachTheState) {
    AppFixture f;
    auto audio = std::make_shared<OrvintaTest::FakeCapture>();
    audio->devices = {{{3, "Speakers monitor", 2, true, "spk"},
                       {5, "USB mic", 1, false, "usb"},
                       {9, "Headset", 1, false, "hs"}}};
    f.audio = audio;
    auto hotkeys = std::make_shared<FakeHotkeys>();
    f.hotkeys = hotkeys;
    f.restart();
    AudioDeviceList &devices = *f.state->audioDevices();
    ASSERT_EQ(devices.availableDevices().size(), 2u);
    EXPECT_EQ(devices.availableDevices()[1].name, "Headset");
    EXPECT_EQ(devices.selectedDeviceID(), 5u);

    devices.setSelectedDeviceID(9);
    run(devices.refresh());
    EXPECT_EQ(devices.selectedDeviceID(), 9u);

    // The list follows the server; the chosen device stays chosen under a new id, even after a gap.
    ASSERT_TRUE(audio->devicesChanged);
    for (const auto &[records, selected] :
         std::vector<std::pair<std::vector<InputDeviceRecord>, std::uint32_t>>{
             {{{4, "USB mic", 1, false, "usb"}, {11, "Headset", 1, false, "hs"}}, 11},
             {{{4, "USB mic", 1, false, "usb"}}, 11},
             {{{4, "USB mic", 1, false, "usb"}, {13, "Headset", 1, false, "hs"}}, 13}}) {
        audio->devices = records;
        audio->devicesChanged();
        EXPECT_TRUE(waitUntil([&] {
            return devices.rowCount() == int(records.size()) &&
                   devices.selectedDeviceID() == selected;
        })) << selected;
    }

    // The shortcuts and overlay requests.
    AppState &s = *f.state;
    EXPECT_TRUE(hotkeys->started);
    QSignalSpy overlay(&s, &AppState::overlayVisibilityRequested);
    QSignalSpy failures(&s, &AppState::hotkeyRegistrationFailed);

    hotkeys->actions.toggleAutoCopy();
    EXPECT_TRUE(s.preferences()->autoCopyToClipboard());
    EXPECT_TRUE(f.preferences->boolValue("app.autoCopyToClipboard"));
    hotkeys->actions.toggleAutoPaste();
    EXPECT_TRUE(f.preferences->boolValue("app.autoPasteAtCursor"));

    // Before the panel ever opened, the shortcut shows the overlay even if hidden last run.
    f.preferences->setBool("app.showOverlay", false);
    s.preferences()->load();
    QSignalSpy setUp(&s, &AppState::overlaySetupRequested);
    hotkeys->actions.toggleOverlay();
    EXPECT_EQ(setUp.count(), 1);
    ASSERT_EQ(overlay.count(), 1);
    EXPECT_TRUE(overlay[0][0].toBool());
    EXPECT_TRUE(f.preferences->boolValue("app.showOverlay"));
    s.setupOverlay();
    EXPECT_EQ(setUp.count(), 1);
    hotkeys->actions.toggleOverlay();
    hotkeys->actions.toggleOverlay();
    ASSERT_EQ(overlay.count(), 3);
    EXPECT_FALSE(overlay[1][0].toBool());
    EXPECT_TRUE(overlay[2][0].toBool());

    hotkeys->onFailure(HotkeyAction::toggleOverlay, "taken");
    ASSERT_EQ(failures.count(), 1);
    EXPECT_EQ(failures[0][0].value<HotkeyAction>(), HotkeyAction::toggleOverlay);
}

TEST(Listening, startsAndReloadsWhileTheModelLoadsWaitForTheLoad) {
    AppFixture f;
    f.state.reset();
    f.recognizer->whileReserving = [] { std::this_thread::sleep_for(100ms); };
    f.state = f.makeState(/*waitForStartup=*/false);
    ListeningController &listening = *f.state->listening();
    ASSERT_TRUE(listening.isModelLoading());

    // A start during the first load waits for it instead of giving up.
    f.toggleListening();
    EXPECT_TRUE(listening.isListening());
    EXPECT_TRUE(listening.errorMessageText().isEmpty());
    f.toggleListening();

    // The language changes twice while a model loads: the load under way
    // ends, and the engine left behind is loaded and usable.
    f.state->preferences()->setSelectedLocale("fr-FR");
    QCoro::Task<> firstReload = listening.reloadEngine();
    ASSERT_TRUE(waitUntil([&] { return listening.isModelLoading(); }));
    f.state->preferences()->setSelectedLocale("de-DE");
    run(listening.reloadEngine());
    run(std::move(firstReload));
    EXPECT_FALSE(listening.isModelLoading());
    EXPECT_TRUE(listening.isModelLoaded());
    EXPECT_EQ(listening.modelLoadingStatus(), "Ready");
    EXPECT_EQ(f.recognizer->transcriberLocales.back(), "de-DE");
    EXPECT_EQ(*f.enginesAlive, 1);
    f.toggleListening();
    EXPECT_TRUE(listening.isListening());
}

// A reload waits for a start, then stops it silently; a failed capture stops and says why.
TEST(Listening, aReloadDuringAStartOrAFailedCaptureStopsThatRun) {
    AppFixture f;
    ListeningController &listening = *f.state->listening();
    f.capture->systemAudio->whileStarting = [] { std::this_thread::sleep_for(100ms); };
    listening.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return f.starts() == 1; }));
    f.state->preferences()->setSelectedLocale("fr-FR");
    run(listening.reloadEngine());
    EXPECT_FALSE(listening.isListening());
    EXPECT_FALSE(listening.isTransitioning());
    EXPECT_EQ(f.stops(), 1);
    EXPECT_EQ(listening.recordingElapsed(), 0);
    EXPECT_EQ(listening.menuBarIconFrame(), 0);
    EXPECT_TRUE(listening.isModelLoaded());
    EXPECT_EQ(f.recognizer->transcriberLocales.back(), "fr-FR");
    EXPECT_EQ(f.sounds->played, std::vector<Sound>{Sound::start});

    f.toggleListening();
    ASSERT_TRUE(listening.isListening());
    STTEngineDelegate &delegate = listening;
    delegate.addConfirmedLine("Said before the failure.");

    // While the engine waits for the sound server the banner says so, and
    // goes with it; the device notices stand in it too.
    QSignalSpy notices(&listening, &ListeningController::captureNotice);
    delegate.setIsReconnecting(true);
    EXPECT_TRUE(listening.isReconnecting());
    EXPECT_EQ(listening.errorMessageText(), "Reconnecting to the sound server…");
    delegate.setIsReconnecting(false);
    EXPECT_FALSE(listening.isReconnecting());
    EXPECT_EQ(listening.errorMessageText(), "");
    delegate.captureDeviceChanged("Listening to Headset again");
    EXPECT_EQ(listening.errorMessageText(), "Listening to Headset again");
    EXPECT_EQ(notices.count(), 1);
    EXPECT_TRUE(listening.isListening());

    delegate.captureDidFail("The sound server stopped: Connection terminated");
    run(listening.toggleFinished());
    EXPECT_FALSE(listening.isListening());
    EXPECT_EQ(f.stops(), 2);
    EXPECT_EQ(listening.errorMessageText(), "The sound server stopped: Connection terminated");
    EXPECT_EQ(f.sounds->played, (std::vector<Sound>{Sound::start, Sound::start, Sound::stop}));
    EXPECT_EQ(f.state->transcript()->lineCount(), 1);
    f.settle();
    EXPECT_TRUE(QFile::exists(f.sessionPath()));

    // Listening can start again afterwards.
    f.toggleListening();
    EXPECT_TRUE(listening.isListening());
}

// The application source: the list the panel chooses from, the choice kept
// by name, and the run that waits while the application plays nothing.
TEST(Listening, theApplicationSourceFollowsTheChosenApplication) {
    AppFixture f;
    f.audio = f.capture;
    f.restart();
    AppState &s = *f.state;
    ListeningController &listening = *s.listening();
    ApplicationList &applications = *s.applications();

    // Nothing chosen yet: a start says so and starts nothing.
    s.preferences()->setSelectedSource(AudioSourceType::application);
    f.toggleListening();
    EXPECT_EQ(listening.errorMessageText(), "Choose the application to listen to");
    EXPECT_EQ(f.starts(), 0);

    // The list follows the sound server while the source is chosen.
    OrvintaTest::PlaybackWatchScript &watch = *f.capture->playbackWatch;
    ASSERT_TRUE(waitUntil([&] { return watch.isWatched(); }));
    watch.deliver({{7, "Firefox", "firefox", "firefox", "Meeting", false},
                   {8, "Spotify", "spotify", "", "Song", false}});
    ASSERT_TRUE(waitUntil([&] { return applications.rowCount() == 2; }));
    EXPECT_EQ(applications.selectedIndex(), -1);
    applications.selectIndex(0);
    EXPECT_EQ(f.preferences->stringValue("app.selectedApplication"), "Firefox");
    EXPECT_EQ(applications.selectedIndex(), 0);

    // The run follows the application by name, and says when it waits for it.
    f.toggleListening();
    ASSERT_TRUE(listening.isListening());
    OrvintaTest::ApplicationAudioScript &capture = *f.capture->applicationAudio;
    EXPECT_EQ(capture.application, "Firefox");
    QSignalSpy status(&listening, &ListeningController::waitingStatusChanged);
    capture.onWaiting(true);
    ASSERT_TRUE(waitUntil([&] { return !listening.waitingStatus().isEmpty(); }));
    EXPECT_EQ(listening.waitingStatus(), "Waiting for Firefox to play sound");
    capture.onWaiting(false);
    ASSERT_TRUE(waitUntil([&] { return listening.waitingStatus().isEmpty(); }));
    capture.onWaiting(true);
    ASSERT_TRUE(waitUntil([&] { return status.count() == 3; }));
    // Its lines are labelled with its name.
    static_cast<STTEngineDelegate &>(listening).addConfirmedLine("On the call.");
    EXPECT_EQ(labelledText(s.transcript()->confirmedLines().back()), "Firefox: On the call.");
    f.toggleListening();
    EXPECT_FALSE(capture.running);
    EXPECT_TRUE(listening.waitingStatus().isEmpty());

    // The chosen application stays listed, and chosen, while it plays nothing.
    watch.deliver({{8, "Spotify", "spotify", "", "Song", false}});
    ASSERT_TRUE(waitUntil([&] { return applications.playingCount() == 1; }));
    EXPECT_EQ(applications.rowCount(), 2);
    const QModelIndex chosen = applications.index(applications.selectedIndex());
    EXPECT_EQ(applications.data(chosen, ApplicationList::NameRole), "Firefox");
    EXPECT_FALSE(applications.data(chosen, ApplicationList::PlayingRole).toBool());

    // It is kept across runs; another source ends the watch.
    f.restart();
    EXPECT_EQ(f.state->preferences()->selectedApplication(), "Firefox");
    f.state->preferences()->setSelectedSource(AudioSourceType::systemAudio);
    ASSERT_TRUE(waitUntil([&] { return !watch.isWatched(); }));
}

// Each side labelled; the computer's words echoed by the microphone dropped, whoever is first.
TEST(Listening, aRunOnBothLabelsEachSideAndDropsTheMicrophonesEchoOfTheComputer) {
    AppFixture f;
    f.audio = f.capture;
    f.timings.echoHold = 100ms;
    f.restart();
    AppState &s = *f.state;
    s.preferences()->setSelectedSource(AudioSourceType::both);

    // A side that cannot start leaves no run: the other one stops again.
    f.capture->systemAudio->startFailure = CaptureError::engineSetupFailed("no monitor");
    f.toggleListening();
    EXPECT_FALSE(s.listening()->isListening());
    EXPECT_EQ(s.listening()->errorMessageText(), "Audio engine setup failed: no monitor");
    EXPECT_FALSE(f.capture->microphone->running);
    f.capture->systemAudio->startFailure.reset();

    // Starts a run on both; the microphone's analyzer is the one its sound reaches.
    std::shared_ptr<OrvintaTest::AnalyzerScript> mic, computer;
    QStringList heard;
    const auto startBoth = [&] {
        f.toggleListening();
        ASSERT_TRUE(f.state->listening()->isListening());
        EXPECT_TRUE(f.capture->microphone->running && f.capture->systemAudio->running);
        const qsizetype count = qsizetype(f.recognizer->analyzers.size());
        ASSERT_GE(count, 2);
        f.capture->microphone->deliver(4800);
        mic = f.recognizer->analyzers[count - 1], computer = f.recognizer->analyzers[count - 2];
        if (mic->queue->size() == 0)
            std::swap(mic, computer);
        ASSERT_GT(mic->queue->size(), 0u);
        heard.clear();
        Transcript *transcript = f.state->transcript();
        QObject::connect(transcript, &Transcript::lineCountChanged, [&heard, transcript] {
            heard << labelledText(transcript->confirmedLines().back());
        });
    };
    startBoth();
    EXPECT_EQ(*f.enginesAlive, 2);
    double clock = 0; // each final later than the ones before
    const auto say = [&clock](OrvintaTest::AnalyzerScript &side, const std::string &text) {
        side.deliverResult(OrvintaTest::finalResult({{text, {clock, clock + 1}}}));
        clock += 1;
    };

    say(*computer, "The meeting starts now.");
    say(*mic, "I am ready.");
    // The computer's line first, then its echo.
    say(*computer, "Let us begin with the budget.");
    say(*mic, "Let us begin with the budget.");
    // The echo first, while the computer's recogniser still hears the words:
    // held until its line comes, the interim text meanwhile the computer's.
    computer->deliverResult(OrvintaTest::volatileResult("let us look at"));
    say(*mic, "Let us look at the numbers.");
    ASSERT_TRUE(waitUntil([&] { return s.transcript()->interimText() == "let us look at"; }));
    say(*computer, "Let us look at the numbers.");
    // A microphone line waits while the computer speaks, then keeps its place or goes on time.
    computer->deliverResult(OrvintaTest::volatileResult("what about"));
    say(*mic, "I disagree completely.");
    computer->deliverResult(OrvintaTest::volatileResult("numbers are"));
    say(*mic, "The numbers are fine.");
    say(*computer, "Numbers are due.");
    computer->deliverResult(OrvintaTest::volatileResult("more numbers"));
    say(*mic, "More numbers please.");
    const QStringList expected{"Others: The meeting starts now.",
                               "Me: I am ready.",
                               "Others: Let us begin with the budget.",
                               "Others: Let us look at the numbers.",
                               "Me: I disagree completely.",
                               "Me: The numbers are fine.",
                               "Others: Numbers are due.",
                               "Me: More numbers please."};
    EXPECT_TRUE(waitUntil([&] { return heard.size() == expected.size(); }))
        << heard.join('\n').toStdString();
    EXPECT_EQ(heard, expected);

    // Stopping ends both sides; the next run on one source is unlabelled.
    f.toggleListening();
    EXPECT_FALSE(f.capture->microphone->running || f.capture->systemAudio->running);
    EXPECT_TRUE(mic->finalized && computer->finalized);
    // Recognisers hear one recording unalike: started together, three words in a row make an
    // echo, or two fifths in order within the computer's lines; else only a near, soon repeat.
    EchoFilter echo;
    echo.computerSaid("Daddy married or in the way still more respectable many watts.", {95, 98.8});
    const QString heardByTheMicrophone = "That he married a more amiable wall and he might have a "
                                         "maid still more respectable many watts.";
    EXPECT_TRUE(echo.isEcho(heardByTheMicrophone, {95.1, 100.6}));
    EXPECT_FALSE(echo.isEcho(heardByTheMicrophone, {101, 104}));
    // Started and ended together, a quarter of the words in order will do.
    echo.computerSaid("That he married a more amiable wall and a light at they'd still more "
                      "respectable many watts.",
                      {100, 105});
    const QString garbled =
        "Yeah the narrator more amiable one a lot eligible respect already was.";
    EXPECT_TRUE(echo.isEcho(garbled, {100.05, 105.1}));
    EXPECT_FALSE(echo.isEcho(garbled, {100.05, 106.5}));
    echo.computerSaid("I think we should go to the store.", {108, 110});
    echo.computerSaid("Now.", {110.1, 110.5});
    EXPECT_TRUE(echo.isEcho("We should go to this store now.", {108.9, 110.4}));
    EXPECT_FALSE(
        echo.isEcho("Well I think we should ask everybody here about this first.", {108.7, 109.9}));
    EXPECT_FALSE(echo.isEcho("I think we should go tomorrow.", {110.5, 112.5}));
    EXPECT_TRUE(echo.isEcho("Now!", {113.7, 114}));
    EXPECT_FALSE(echo.isEcho("Now.", {115.7, 116})); // out of the window

    s.preferences()->setSelectedSource(AudioSourceType::microphone);
    f.toggleListening();
    STTEngineDelegate &own = *s.listening();
    own.addConfirmedLine("Alone again.");
    EXPECT_EQ(s.transcript()->confirmedLines().back().speaker, "");
    f.settle();
    EXPECT_EQ(decodeSession(readAll(f.sessionPath())).lines.at(1).speaker, "Me");

    // A held line is never lost: speech ending without a line, quitting or stopping frees it.
    f.timings.echoHold = 1h;
    f.restart();
    f.state->preferences()->setSelectedSource(AudioSourceType::both);
    startBoth();
    for (const bool first : {true, false}) {
        computer->deliverResult(OrvintaTest::volatileResult("so"));
        say(*mic, first ? "Sounds good." : "See you.");
        // Results reach the main thread in order: the line was heard, and waits.
        computer->deliverResult(OrvintaTest::volatileResult("so on"));
        ASSERT_TRUE(waitUntil([&] { return f.state->transcript()->interimText() == "so on"; }));
        EXPECT_EQ(heard.size(), first ? 0 : 1);
        if (first) {
            computer->deliverResult(OrvintaTest::finalResult({}));
            ASSERT_TRUE(waitUntil([&] { return heard == QStringList{"Me: Sounds good."}; }));
        }
    }
    // Quitting mid-run lets it go before the session is saved for the last time.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    qApp->exec();
    EXPECT_EQ(heard, (QStringList{"Me: Sounds good.", "Me: See you."}));
    say(*mic, "Bye.");
    f.toggleListening();
    EXPECT_EQ(heard, (QStringList{"Me: Sounds good.", "Me: See you.", "Me: Bye."}));
}

TEST(Listening, recordingTimeFormat) {
    EXPECT_EQ(formatRecordingTime(75.9), "1:15");
    EXPECT_EQ(formatRecordingTime(3599.99), "59:59");
    EXPECT_EQ(formatRecordingTime(3725), "1:02:05");
}

// The echo hold, the error banner and the debounced save wait this way.
TEST(CancellableTask, afterRunsOnceUnlessCancelledOrItsObjectIsGone) {
    int runs = 0;
    QObject owner;
    TaskHandle once = CancellableTask::after(20ms, &owner, [&] { ++runs; });
    TaskHandle cancelled = CancellableTask::after(20ms, &owner, [&] { runs += 10; });
    cancelTask(cancelled);
    auto gone = std::make_unique<QObject>();
    TaskHandle orphan = CancellableTask::after(20ms, gone.get(), [&] { runs += 100; });
    gone.reset();
    ASSERT_TRUE(waitUntil([&] { return once->isFinished() && orphan->isFinished(); }));
    spin(50ms);
    EXPECT_EQ(runs, 1);
}
