// The dictation flow of the application state: hold, speak, release, paste.

#include "AppTestSupport.h"

#include <thread>

using namespace Orvinta;
using namespace Orvinta::Testing;
using Sound = SoundPlayer::Sound;
using States = std::vector<DictationState>;
using enum DictationState;
using namespace std::chrono_literals;

namespace {

struct DictationFixture : AppFixture {
    DictationFixture() {
        audio = std::make_shared<OrvintaTest::FakeCapture>();
        restart();
        state->preferences()->setDictationModeEnabled(true);
        states = std::make_unique<States>();
        QObject::connect(state->dictation(), &Dictation::dictationStateChanged, state.get(),
                         [this] { states->push_back(state->dictation()->dictationState()); });
    }
    DictationController &controller() { return state->dictationController(); }
    Dictation &dictation() { return *state->dictation(); }
    bool loopEnded() { return !controller().dictationReconcileTask(); }
    void hold() {
        controller().holdStarted();
        ASSERT_TRUE(waitUntil([&] { return loopEnded(); }));
    }
    void release() {
        controller().holdEnded();
        ASSERT_TRUE(waitUntil([&] { return loopEnded(); }));
    }
    std::unique_ptr<States> states;
};

} // namespace

TEST(Dictation, holdSpeakReleasePastesTheWholeTextThenIdle) {
    DictationFixture f;
    // Dictation listens to the microphone even when listening uses system audio.
    EXPECT_EQ(f.state->preferences()->selectedSource(), AudioSourceType::systemAudio);
    QSignalSpy monitor(&f.controller(), &DictationController::dictationMonitorRequested);
    f.state->preferences()->setDictationModeEnabled(true);
    EXPECT_EQ(monitor.count(), 1);

    f.hold();
    EXPECT_TRUE(f.dictation().isDictating());
    EXPECT_TRUE(f.capture->microphone->running);
    EXPECT_EQ(f.sounds->played, std::vector<Sound>{Sound::start});
    STTEngineDelegate &engine = *f.state->listening();
    engine.addConfirmedLine("Hello.");
    engine.setInterimText(" world "); // both into the dictation: TranscriptTest

    f.release();
    EXPECT_EQ(f.paster->pasted, std::vector<QString>{"Hello. world"});
    EXPECT_FALSE(f.dictation().isDictating());
    EXPECT_TRUE(f.dictation().dictationBuffer().isEmpty());
    EXPECT_TRUE(f.state->transcript()->interimText().isEmpty());
    EXPECT_EQ(f.sounds->played, (std::vector<Sound>{Sound::start, Sound::stop}));
    ASSERT_TRUE(waitUntil([&] { return f.dictation().dictationState() == idle; }));
    EXPECT_EQ(*f.states, (States{recording, processing, done, idle}));

    // Only interim text: pasted trimmed, without a leading space.
    f.hold();
    engine.setInterimText("  just this ");
    f.release();
    EXPECT_EQ(f.paster->pasted.back(), "just this");

    // Nothing said: processing, then idle, nothing pasted.
    ASSERT_TRUE(waitUntil([&] { return f.dictation().dictationState() == idle; }));
    f.states->clear();
    f.hold();
    f.release();
    EXPECT_EQ(f.paster->pasted.size(), 2u);
    ASSERT_TRUE(waitUntil([&] { return f.dictation().dictationState() == idle; }));
    EXPECT_EQ(*f.states, (States{recording, processing, idle}));

    // A dictation started within half a second of the last stays recording.
    f.hold();
    f.state->listening()->addConfirmedLine("One.");
    f.release();
    EXPECT_EQ(f.dictation().dictationState(), done);
    f.hold(); // the previous one's return to idle is still pending
    EXPECT_EQ(f.dictation().dictationState(), recording);
    spin(800ms);
    EXPECT_EQ(f.dictation().dictationState(), recording);
    f.release();
}

// Recording begins before the hold is known to be one, unheard and unseen:
// a key combination then throws it away; a confirmed hold keeps its words.
TEST(Dictation, aTentativeRecordingIsAnnouncedWhenConfirmedAndLeavesNoTraceWhenCancelled) {
    DictationFixture f;
    QSignalSpy bubbleShown(&f.controller(), &DictationController::bubbleShowRequested);
    QSignalSpy finished(&f.controller(), &DictationController::dictationFinished);
    STTEngineDelegate &engine = *f.state->listening();
    const auto began = [&] {
        f.controller().holdBegan();
        ASSERT_TRUE(waitUntil([&] { return f.loopEnded(); }));
        EXPECT_TRUE(f.capture->microphone->running);
        EXPECT_FALSE(f.dictation().isShown());
    };
    ASSERT_NO_FATAL_FAILURE(began());
    engine.addConfirmedLine("Copy.");
    f.controller().holdCancelled();
    ASSERT_TRUE(waitUntil([&] { return f.loopEnded(); }));
    EXPECT_FALSE(f.capture->microphone->running);
    EXPECT_FALSE(f.dictation().isDictating());
    EXPECT_TRUE(f.paster->pasted.empty());
    EXPECT_TRUE(f.sounds->played.empty());
    EXPECT_EQ(bubbleShown.count() + finished.count(), 0);
    EXPECT_TRUE(f.states->empty());
    EXPECT_EQ(f.state->transcript()->lineCount(), 0);

    ASSERT_NO_FATAL_FAILURE(began());
    engine.addConfirmedLine("Early words.");
    f.controller().holdStarted();
    EXPECT_TRUE(f.dictation().isShown());
    EXPECT_EQ(f.sounds->played, std::vector<Sound>{Sound::start});
    EXPECT_EQ(bubbleShown.count(), 1);
    f.release();
    EXPECT_EQ(f.paster->pasted, std::vector<QString>{"Early words."});

    // Confirmed while the microphone still starts: the tone waits for it.
    f.capture->microphone->whileStarting = [] { std::this_thread::sleep_for(200ms); };
    f.controller().holdBegan();
    f.controller().holdStarted();
    EXPECT_EQ(bubbleShown.count(), 1);
    ASSERT_TRUE(waitUntil([&] { return f.loopEnded(); }));
    EXPECT_EQ(bubbleShown.count(), 2);
    EXPECT_EQ(f.sounds->played.back(), Sound::start);
    f.release();
}

TEST(Dictation, aReleaseDuringTheStartStopsRightAfterItAndNothingOverlaps) {
    DictationFixture f;
    f.capture->microphone->whileStarting = [] { std::this_thread::sleep_for(200ms); };
    f.controller().holdStarted();
    f.controller().holdEnded(); // picked up by the running loop
    EXPECT_EQ(f.stops(), 0);
    ASSERT_TRUE(waitUntil([&] { return f.loopEnded(); }));
    EXPECT_EQ(f.starts(), 1);
    EXPECT_EQ(f.stops(), 1);
    EXPECT_FALSE(f.dictation().isDictating());
}

TEST(Dictation, aFailedStartWhileTheKeyIsHeldIsNotRetriedUntilTheNextHold) {
    DictationFixture f;
    f.capture->microphone->startFailure = EngineError("test", 1, "The microphone is busy");
    QSignalSpy bubbleShown(&f.controller(), &DictationController::bubbleShowRequested);
    f.hold();
    EXPECT_EQ(f.starts(), 1);
    // The bubble comes only with a microphone that really runs.
    EXPECT_EQ(bubbleShown.count(), 0);
    EXPECT_FALSE(f.dictation().isDictating());
    EXPECT_EQ(f.dictation().dictationState(), idle);
    EXPECT_EQ(f.state->listening()->errorMessage(), "The microphone is busy");
    EXPECT_TRUE(f.dictation().wantsDictating());
    f.release();
    f.capture->microphone->startFailure.reset();
    f.hold();
    EXPECT_EQ(f.starts(), 2);
    EXPECT_TRUE(f.dictation().isDictating());
    EXPECT_EQ(bubbleShown.count(), 1);
    f.release();
}

TEST(Dictation, listeningOrAListeningStartUnderWayKeepsDictationOut) {
    DictationFixture f;
    // A listening start still waiting for the engine owns it as much as a run.
    f.capture->systemAudio->whileStarting = [] { std::this_thread::sleep_for(300ms); };
    f.state->listening()->toggleListening();
    ASSERT_TRUE(f.state->listening()->isTransitioning());
    f.hold();
    EXPECT_EQ(f.starts(), 1);
    EXPECT_FALSE(f.dictation().isDictating());
    run(f.state->listening()->toggleFinished());
    EXPECT_TRUE(f.state->listening()->isListening());
    EXPECT_EQ(f.starts(), 1);

    // While listening, a hold ends the loop at once.
    f.release();
    f.hold();
    EXPECT_EQ(f.starts(), 1);
    f.release();

    // With dictation mode off the hold is ignored.
    f.toggleListening();
    f.state->preferences()->setDictationModeEnabled(false);
    f.controller().holdStarted();
    EXPECT_FALSE(f.dictation().wantsDictating());
    EXPECT_EQ(f.starts(), 1);
}

// Where no keystroke can be sent the text waits on the clipboard, and nothing
// says it was pasted; a key that acts on press only toggles dictation.
TEST(Dictation, aPasteThatDidNotHappenIsNeverReportedAndAToggleStartsAndEndsDictation) {
    DictationFixture f;
    f.paster->failure = "the compositor offers no virtual keyboard";
    f.paster->keepsOnClipboard = true;
    LogCapture log;
    STTEngineDelegate &engine = *f.state->listening();
    EXPECT_TRUE(f.controller().toggleDictation());
    ASSERT_TRUE(waitUntil([&] { return f.loopEnded() && f.dictation().isDictating(); }));
    EXPECT_EQ(f.sounds->played, std::vector<Sound>{Sound::start});
    engine.addConfirmedLine("Kept.");
    EXPECT_TRUE(f.controller().toggleDictation());
    ASSERT_TRUE(waitUntil([&] { return f.loopEnded() && !f.dictation().isDictating(); }));
    EXPECT_TRUE(f.dictation().leftOnClipboard());
    EXPECT_EQ(f.dictation().dictationState(), done);
    EXPECT_TRUE(log.contains("Dictation stopped, pasted: false (the text is on the clipboard)"));
    EXPECT_FALSE(log.contains("pasted: true"));
    // No banner: the bubble says it.
    EXPECT_FALSE(f.state->listening()->errorMessage());

    // The next dictation is pasted, and says so.
    f.paster->failure.clear();
    f.hold();
    EXPECT_FALSE(f.dictation().leftOnClipboard());
    engine.addConfirmedLine("Pasted.");
    f.release();
    EXPECT_EQ(f.paster->pasted, std::vector<QString>{"Pasted."});
    EXPECT_TRUE(log.contains("Dictation stopped, pasted: true"));

    f.state->preferences()->setDictationModeEnabled(false);
    EXPECT_FALSE(f.controller().toggleDictation());
    EXPECT_FALSE(f.dictation().wantsDictating());
}

TEST(Dictation, withoutAPasterTheTextIsOnlyCopiedAndOnlyWithAutoCopy) {
    AppFixture f;
    f.paster.reset();
    f.restart();
    f.state->pasteAtCursor("not kept");
    EXPECT_FALSE(f.clipboard->text);
    f.state->preferences()->setAutoCopyToClipboard(true);
    f.state->pasteAtCursor("kept");
    EXPECT_EQ(f.clipboard->text, "kept");
}
