#include "Fakes.h"

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>

#include <QRegularExpression>

#include <thread>

using namespace OrvintaTest;
using namespace std::chrono_literals;
using enum AudioSourceType;

namespace {

const EngineTimings shortTimings{200ms, 5000ms, {}};

/// Hands `frames` samples of 16 kHz mono to a system-audio handler.
void feed(const CapturedSampleHandler &handler, std::size_t frames = 1600) {
    const std::vector<float> samples(frames, 0.1f);
    handler(reinterpret_cast<const std::byte *>(samples.data()), samples.size() * sizeof(float));
}

class EngineLifecycleTest : public ::testing::Test {
protected:
    LogCapture log{true};
    FakeDelegate delegate;
    std::shared_ptr<ScriptedRecognizer> recognizer = std::make_shared<ScriptedRecognizer>();
    std::shared_ptr<FakeCapture> capture = std::make_shared<FakeCapture>();
    std::shared_ptr<SerialWorker> worker = std::make_shared<SerialWorker>("engine-test");
    EngineTimings timings = shortTimings;
    std::unique_ptr<OnDeviceSpeechEngine> engine = makeEngine();

    std::unique_ptr<OnDeviceSpeechEngine> makeEngine() {
        return std::make_unique<OnDeviceSpeechEngine>(&delegate, recognizer, capture, worker,
                                                      timings);
    }

    void loadModel() {
        await(engine->loadModel(delegate.locale));
        ASSERT_TRUE(delegate.isModelLoaded);
    }

    /// Why the start failed; empty when it started.
    std::string startError(AudioSourceType source,
                           std::optional<std::uint32_t> device = std::nullopt) {
        try {
            await(engine->startTranscribing(source, device));
        } catch (const EngineError &error) {
            return error.description().empty() ? "(no description)" : error.description();
        }
        return {};
    }

    bool logged(const QString &line) const { return log.speech().contains(line); }
};

/// An engine whose model is loaded.
class LoadedEngine : public EngineLifecycleTest {
protected:
    void SetUp() override { loadModel(); }
    /// The analyzer of a run that started.
    std::shared_ptr<AnalyzerScript> run(AudioSourceType source,
                                        std::optional<std::uint32_t> device = std::nullopt) {
        EXPECT_EQ(startError(source, device), "");
        return recognizer->analyzers.back();
    }
};

TEST_F(EngineLifecycleTest, LoadModelReportsProgressAndFailuresAndStartNeedsALoadedModel) {
    // A stop with nothing running completes at once.
    await(engine->stopTranscribing());
    EXPECT_TRUE(logged("[Speech] stop: complete"));
    EXPECT_FALSE(logged("[Speech] stop: finalizing analyzer"));

    EXPECT_EQ(startError(microphone), "Audio engine setup failed: Speech model not loaded");
    EXPECT_EQ(capture->microphone->created, 0);
    EXPECT_TRUE(recognizer->analyzers.empty());

    loadModel();
    EXPECT_FALSE(delegate.isModelLoading);
    EXPECT_FALSE(delegate.errorMessage);

    // Without a delegate the model is prepared for English.
    OnDeviceSpeechEngine orphan(nullptr, recognizer, capture, nullptr);
    await(orphan.loadModel("fr-FR"));
    EXPECT_EQ(recognizer->transcriberLocales.back(), "en-US");
    EXPECT_TRUE(orphan.targetFormat());

    // A recogniser that names no audio format is "Ready" but cannot run.
    recognizer->format.reset();
    loadModel();
    EXPECT_EQ(delegate.statuses.last(), "Ready");
    EXPECT_EQ(startError(systemAudio), "Audio engine setup failed: Speech model not loaded");
    // A missing model: ListeningTest's requestsThatMayNotStart.
}

TEST_F(LoadedEngine, MicrophoneRunDeliversConvertedAudioAndLastWordsOnStop) {
    recognizer->prepare = [](AnalyzerScript &script) {
        script.finalResults = {finalResult({{"Hello ", {0.0, 0.4}},
                                            {"world. ", {0.4, 0.9}},
                                            {"How ", {1.0, 1.2}},
                                            {"are ", {1.2, 1.4}},
                                            {"you?", {1.4, 1.9}}})};
    };
    auto analyzer = run(microphone, 7);
    EXPECT_EQ(capture->microphone->device, 7u);
    EXPECT_EQ(capture->microphone->tapFrames, 4096u);
    EXPECT_TRUE(capture->microphone->running);

    // 48 kHz stereo in, 16 kHz mono float out, levelled.
    capture->microphone->deliver(4096);
    capture->microphone->deliver(4096);
    ASSERT_EQ(analyzer->queue->size(), 2u);
    auto item = analyzer->queue->take(0ms);
    EXPECT_EQ(item.buffer->format(), (AudioFormat{16000, 1, SampleType::float32, false}));
    EXPECT_LE(item.buffer->frameLength(), 4096u / 3 + 2);

    analyzer->deliverResult(volatileResult("Hello world. How"));
    processEvents();
    EXPECT_EQ(delegate.events, (QStringList{"interim:How", "line:Hello world."}));

    const CapturedBufferHandler tap = capture->microphone->tap;
    await(engine->stopTranscribing());
    EXPECT_EQ(delegate.lines, (QStringList{"Hello world.", "How are you?"}));
    EXPECT_TRUE(delegate.interimText.isEmpty());
    EXPECT_FALSE(capture->microphone->running);
    EXPECT_FALSE(capture->microphone->tap);
    EXPECT_TRUE(analyzer->queue->isFinished());

    // Stop order: capture, then the end of input, the analyzer, the results.
    EXPECT_EQ(
        log.speech().filter(QRegularExpression("^\\[Speech\\] (Stopping|stop: )")),
        (QStringList{"[Speech] Stopping", "[Speech] stop: disableFeeding",
                     "[Speech] stop: audio capture stopped", "[Speech] stop: finalizing analyzer",
                     "[Speech] stop: analyzer finalized", "[Speech] stop: waiting for results task",
                     "[Speech] stop: results task done", "[Speech] stop: complete"}));

    // A buffer the old tap delivers after the stop is dropped.
    const std::size_t queued = analyzer->queue->size();
    tap(capture->microphone->buffer(4096));
    EXPECT_EQ(analyzer->queue->size(), queued);
}

TEST_F(LoadedEngine, SecondStartCleansUpTheFirstRunAndReusesTheMicrophone) {
    auto first = run(microphone, 7);
    auto firstTap = capture->microphone->tap;

    delegate.locale = "en-GB"; // a language change takes effect at the next start
    recognizer->installedLocales.insert("en-GB");
    ASSERT_EQ(startError(microphone), "");
    EXPECT_TRUE(first->finalized);
    EXPECT_TRUE(first->queue->isFinished());
    EXPECT_EQ(capture->microphone->created, 1);
    EXPECT_TRUE(capture->microphone->tap);
    EXPECT_EQ(capture->microphone->device, 7u); // kept from the first run
    EXPECT_EQ(recognizer->transcriberLocales.back(), "en-GB");

    // The first run's queue is finished: a late buffer of the old tap no longer reaches it.
    firstTap(capture->microphone->buffer(4096));
    EXPECT_EQ(first->queue->size(), 0u);
    await(engine->stopTranscribing());
}

TEST_F(LoadedEngine, StopReturnsAfterTheBoundedWaitsWhenTheAnalyzerNeverFinishes) {
    recognizer->prepare = [](AnalyzerScript &script) { script.finishesOnFinalize = false; };
    auto analyzer = run(systemAudio);

    const auto began = std::chrono::steady_clock::now();
    await(engine->stopTranscribing());
    const auto elapsed = std::chrono::steady_clock::now() - began;
    EXPECT_TRUE(analyzer->cancelled);
    EXPECT_GE(elapsed, 2 * shortTimings.boundedWait - 20ms);
    EXPECT_LT(elapsed, 2000ms);
    EXPECT_TRUE(logged("[Speech] stop: complete"));

    // A result that straggles in after the results task was cancelled is dropped.
    analyzer->deliverResult(volatileResult("Too late."));
    processEvents();
    EXPECT_TRUE(delegate.lines.isEmpty());
}

TEST_F(LoadedEngine, CaptureFailureStopsTheRunBeforeReportingIt) {
    capture->systemAudio->startFailure = CaptureError::permissionDenied();
    EXPECT_EQ(startError(systemAudio), "System audio access denied. Allow Orvinta to record from "
                                       "the sound server in your sound settings.");
    EXPECT_TRUE(logged("[Speech] stop: complete"));
    EXPECT_TRUE(recognizer->analyzers.back()->finalized);
    EXPECT_FALSE(logged("[Speech] Transcription started"));

    capture->access = MicrophoneAccess::denied;
    EXPECT_NE(startError(microphone), "");
    EXPECT_EQ(capture->microphone->created, 0);

    capture->access = MicrophoneAccess::granted;
    EXPECT_EQ(startError(microphone, 99), "Could not configure audio input device");
    EXPECT_FALSE(capture->microphone->tap);
}

TEST_F(LoadedEngine, AnalyzerThatCannotStartFailsTheStartAndTheNextStopCleansUp) {
    recognizer->prepare = [](AnalyzerScript &script) {
        script.startFailure = EngineError("test", 7, "decoder refused");
    };
    EXPECT_EQ(startError(systemAudio), "decoder refused");
    EXPECT_FALSE(capture->systemAudio->running);
    auto analyzer = recognizer->analyzers.back();
    EXPECT_FALSE(analyzer->queue->isFinished()); // the feed stays open until the stop

    await(engine->stopTranscribing());
    EXPECT_TRUE(analyzer->queue->isFinished());
    EXPECT_TRUE(analyzer->finalized);
}

TEST_F(LoadedEngine, SystemAudioSamplesReachTheAnalyzerAtItsRateAndTheNewestAreKept) {
    auto analyzer = run(systemAudio);
    EXPECT_EQ(capture->systemAudio->sampleRate, 16000u);

    feed(capture->systemAudio->handler);
    ASSERT_EQ(analyzer->queue->size(), 1u);

    capture->systemAudio->stopFailure = EngineError("PulseAudio", 1, "gone");
    auto handler = capture->systemAudio->handler;
    await(engine->stopTranscribing());
    EXPECT_TRUE(logged("[Speech] stopCapture error: gone"));
    feed(handler);
    EXPECT_EQ(analyzer->queue->size(), 1u);

    // Falling behind keeps the newest buffers.
    analyzer = run(systemAudio);
    for (std::size_t i = 0; i < 100; ++i)
        feed(capture->systemAudio->handler, 160 * (i + 10));
    EXPECT_EQ(analyzer->queue->size(), 64u);
    EXPECT_EQ(analyzer->queue->discardedCount(), 36u);
    // Oldest kept is the 37th: the resampler may hold back a few frames.
    auto first = analyzer->queue->take(0ms);
    EXPECT_NEAR(first.buffer->frameLength(), 160 * 46, 64);
    await(engine->stopTranscribing());
}

TEST_F(LoadedEngine, ResultsArriveInOrderAndNotAfterTheEngineIsGone) {
    auto analyzer = run(systemAudio);
    analyzer->deliverResult(volatileResult("One."));
    analyzer->deliverResult(volatileResult("One. Two."));
    analyzer->deliverResult(
        finalResult({{"One. ", {0, 0.5}}, {"Two. ", {0.5, 1}}, {"Three", {1, 1.5}}}));
    processEvents();
    EXPECT_EQ(delegate.lines, (QStringList{"One.", "Two.", "Three"}));

    analyzer->deliverResult(volatileResult("Four."));
    engine.reset();
    processEvents();
    EXPECT_EQ(delegate.lines.size(), 3);
}

TEST_F(EngineLifecycleTest, DestroyedWhileLoadingTheModelTheLoadEndsCancelled) {
    Gate reserving;
    recognizer->whileReserving = reserving.job();
    QCoro::Task<> loading = engine->loadModel(delegate.locale);
    ASSERT_TRUE(reserving.waitUntilEntered());
    const QStringList statuses = delegate.statuses;
    engine.reset();
    reserving.open();

    EXPECT_THROW(await(std::move(loading)), OperationCancelled);
    EXPECT_EQ(delegate.statuses, statuses);
    EXPECT_FALSE(delegate.isModelLoaded);
    EXPECT_FALSE(logged("[Speech] Model ready"));
}

TEST_F(LoadedEngine, DestroyedWhileStartingTheStartEndsCancelledAndCaptureStops) {
    // While the analyzer loads: the start ends at once, not after the start limit.
    recognizer->prepare = [](AnalyzerScript &script) { script.startsLater = true; };
    QCoro::Task<> starting = engine->startTranscribing(systemAudio, std::nullopt);
    const auto began = std::chrono::steady_clock::now();
    engine.reset();
    EXPECT_THROW(await(std::move(starting)), OperationCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - began, shortTimings.analyzerStartLimit / 2);
    EXPECT_TRUE(recognizer->analyzers.back()->cancelled);

    // While the microphone starts on the worker (the main thread runs on:
    // it opens the gate): what it started is stopped.
    recognizer->prepare = nullptr;
    engine = makeEngine();
    loadModel();
    Gate inStart;
    capture->microphone->whileStarting = inStart.job();
    starting = engine->startTranscribing(microphone, std::nullopt);
    ASSERT_TRUE(inStart.waitUntilEntered());
    engine.reset();
    inStart.open();
    EXPECT_THROW(await(std::move(starting)), OperationCancelled);
    await(runOn(worker, std::function<void()>([] {}))); // the worker's jobs so far have run
    EXPECT_FALSE(capture->microphone->running);
    EXPECT_FALSE(capture->microphone->tap);
    EXPECT_FALSE(logged("[Speech] Transcription started"));
}

TEST(ReconnectPolicy, TriesSoonThenLessOftenUntilTheLimitAndRestartsAStreamOnceInAWhile) {
    ReconnectPolicy policy({100ms, 500ms, 2000ms, 5000ms});
    const auto lost = ReconnectPolicy::Clock::now();
    policy.serverLost(lost);
    // (attempt failed at, wait before the next); the last attempt falls on the limit.
    const std::vector<std::pair<int, std::optional<int>>> attempts{
        {0, 100}, {100, 200}, {300, 400}, {700, 500}, {1200, 500}, {1700, 300}, {2000, {}}};
    for (const auto &[at, delay] : attempts) {
        const auto next = policy.nextDelay(lost + at * 1ms);
        EXPECT_EQ(next ? std::optional<int>(int(next->count())) : std::nullopt, delay) << at;
    }
    // A new loss begins a new series.
    policy.serverLost(lost + 9000ms);
    EXPECT_EQ(policy.nextDelay(lost + 9000ms), 100ms);

    for (const auto &[at, restarts] :
         std::vector<std::pair<int, bool>>{{0, true}, {1000, false}, {5000, true}, {9999, false}})
        EXPECT_EQ(policy.restartsStream(lost + at * 1ms), restarts) << at;
}

/// The queued buffers, oldest first; the queue is empty afterwards.
std::vector<AudioBuffer> drain(AnalyzerInputQueue &queue) {
    std::vector<AudioBuffer> buffers;
    for (auto item = queue.take(0ms); item.buffer; item = queue.take(0ms))
        buffers.push_back(std::move(*item.buffer));
    return buffers;
}

bool isSilence(const AudioBuffer &buffer, double atLeastSeconds) {
    const float *samples = buffer.floatChannel(0);
    return buffer.frameLength() >= atLeastSeconds * buffer.format().sampleRate &&
           std::all_of(samples, samples + buffer.frameLength(), [](float v) { return v == 0; });
}

class ReconnectingEngine : public LoadedEngine {
protected:
    std::atomic<bool> serverDown{false};

    void SetUp() override {
        timings.reconnect = {5ms, 20ms, 400ms, 5000ms};
        engine = makeEngine();
        loadModel();
        const auto refuse = [this] {
            if (serverDown)
                throw CaptureError::engineSetupFailed(
                    "Cannot connect to the sound server: Connection refused");
        };
        capture->systemAudio->whileStarting = refuse;
        capture->microphone->whileStarting = refuse;
    }

    /// What the back end's thread says when the server goes away.
    static void loseServer(const CaptureFailureHandler &onFailure) {
        std::thread([onFailure] {
            onFailure(CaptureFailureKind::serverStopped, "Connection terminated");
            onFailure(CaptureFailureKind::streamFailed, "Entity killed"); // the same loss: dropped
        }).join();
    }
};

// The run outlives its capture: what was heard ends its sentence, and the delegate hears
// "reconnecting" until capture runs again on the same source, or the failure past the limit.
TEST_F(ReconnectingEngine, ServerLossKeepsTheRunUntilTheServerIsBackOrTheLimitHasPassed) {
    recognizer->prepare = [](AnalyzerScript &script) {
        script.finalResults = {finalResult({{"Still ", {0.0, 0.4}}, {"here.", {0.4, 0.9}}})};
    };
    auto analyzer = run(systemAudio);
    feed(capture->systemAudio->handler);
    serverDown = true;
    loseServer(capture->systemAudio->onFailure);
    ASSERT_TRUE(
        processEventsUntil([&] { return log.count("capture could not start again") >= 3; }));
    EXPECT_EQ(delegate.reconnecting, QList<bool>{true});
    const std::vector<AudioBuffer> queued = drain(*analyzer->queue);
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_TRUE(isSilence(queued.back(), 0.3)); // after the audio heard before the loss

    serverDown = false;
    ASSERT_TRUE(processEventsUntil([&] { return delegate.reconnecting.size() == 2; }));
    EXPECT_EQ(delegate.reconnecting, (QList<bool>{true, false}));
    EXPECT_TRUE(capture->systemAudio->running);
    EXPECT_EQ(capture->systemAudio->starts, 2);
    feed(capture->systemAudio->handler);
    EXPECT_EQ(analyzer->queue->size(), 1u);
    EXPECT_EQ(recognizer->analyzers.size(), 1u);
    EXPECT_TRUE(delegate.captureFailures.isEmpty());
    EXPECT_TRUE(logged("[Speech] Reconnecting to the sound server"));

    // Gone for longer than the limit: the failure, once, from the main thread;
    // the stop still delivers the last words.
    serverDown = true;
    loseServer(capture->systemAudio->onFailure);
    ASSERT_TRUE(processEventsUntil([&] { return !delegate.captureFailures.isEmpty(); }));
    processEvents();
    EXPECT_EQ(delegate.captureFailures,
              QStringList{"The sound server stopped: Connection terminated"});
    EXPECT_EQ(delegate.reconnecting, (QList<bool>{true, false, true, false}));
    EXPECT_FALSE(delegate.failureOffMainThread);
    await(engine->stopTranscribing());
    EXPECT_EQ(delegate.lines, QStringList{"Still here."});
    EXPECT_TRUE(logged("[Speech] stop: complete"));

    // A stop while waiting for the server ends the wait; a failure that comes
    // once the stop began is ignored.
    recognizer->prepare = nullptr;
    serverDown = false;
    ASSERT_EQ(startError(microphone, 7), "");
    serverDown = true;
    loseServer(capture->microphone->onFailure);
    ASSERT_TRUE(processEventsUntil([&] { return delegate.reconnecting.size() == 5; }));
    const CaptureFailureHandler late = capture->microphone->onFailure;
    QCoro::Task<> stopping = engine->stopTranscribing();
    std::thread([late] {
        if (late)
            late(CaptureFailureKind::serverStopped, "Connection terminated");
    }).join();
    await(std::move(stopping));
    processEventsUntil([] { return false; }, 100ms);
    EXPECT_EQ(delegate.captureFailures.size(), 1);
    EXPECT_EQ(delegate.reconnecting.last(), false);
    EXPECT_FALSE(capture->microphone->running);
}

// The microphone resumes as chosen, not by its old id (the server renumbers its devices);
// a stream whose device went starts once more, without "reconnecting".
TEST_F(ReconnectingEngine, TheMicrophoneResumesAsChosenAndAFailedStreamIsStartedOnceMore) {
    run(microphone, 7);
    capture->microphone->knownDevices.clear();
    serverDown = true;
    loseServer(capture->microphone->onFailure);
    serverDown = false;
    ASSERT_TRUE(processEventsUntil([&] { return delegate.reconnecting.size() == 2; }));
    EXPECT_TRUE(capture->microphone->running);
    EXPECT_TRUE(capture->microphone->tap);

    const MicrophoneDeviceHandler onDevice = capture->microphone->onDevice;
    ASSERT_TRUE(onDevice);
    std::thread([onDevice] {
        onDevice("Headset", "Built-in Microphone");
        onDevice("Headset", "");
    }).join();
    ASSERT_TRUE(processEventsUntil([&] { return delegate.deviceNotices.size() == 2; }));
    EXPECT_EQ(delegate.deviceNotices,
              (QStringList{"Headset is gone: listening to Built-in Microphone until it is back",
                           "Listening to Headset again"}));

    const auto failStream = [this] {
        std::thread(capture->microphone->onFailure, CaptureFailureKind::streamFailed,
                    "Entity killed")
            .join();
    };
    failStream();
    ASSERT_TRUE(processEventsUntil([&] { return log.count("capture resumed") == 2; }));
    EXPECT_TRUE(capture->microphone->running);
    failStream(); // again right away: given up
    ASSERT_TRUE(processEventsUntil([&] { return !delegate.captureFailures.isEmpty(); }));
    EXPECT_EQ(delegate.captureFailures, QStringList{"Audio capture failed: Entity killed"});
    EXPECT_EQ(delegate.reconnecting.size(), 2);
    await(engine->stopTranscribing());
}

// Before sleep what was heard ends its sentence; after it capture starts
// afresh, waiting for the server where it is not back yet.
TEST_F(ReconnectingEngine, SleepEndsTheSentenceAndWakingStartsCaptureAfresh) {
    auto analyzer = run(systemAudio);
    engine->prepareForSleep();
    const std::vector<AudioBuffer> queued = drain(*analyzer->queue);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_TRUE(isSilence(queued.front(), 0.3));

    engine->resumeAfterSleep();
    ASSERT_TRUE(processEventsUntil([&] { return log.contains("capture resumed"); }));
    EXPECT_EQ(capture->systemAudio->starts, 2);
    EXPECT_TRUE(delegate.reconnecting.isEmpty());

    serverDown = true;
    engine->resumeAfterSleep();
    ASSERT_TRUE(processEventsUntil([&] { return delegate.reconnecting.size() == 1; }));
    serverDown = false;
    ASSERT_TRUE(processEventsUntil([&] { return delegate.reconnecting.size() == 2; }));
    EXPECT_TRUE(capture->systemAudio->running);
    EXPECT_TRUE(delegate.captureFailures.isEmpty());
    await(engine->stopTranscribing());
}

} // namespace
