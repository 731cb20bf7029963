#include "Fakes.h"

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>

#include <QElapsedTimer>
#include <QRegularExpression>

#include <thread>

using namespace Orvinta;
using namespace OrvintaTest;
using enum AudioSourceType;

namespace {

const EngineTimings shortTimings{std::chrono::milliseconds(200), std::chrono::milliseconds(5000)};

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
    std::unique_ptr<OnDeviceSpeechEngine> engine = makeEngine();

    std::unique_ptr<OnDeviceSpeechEngine> makeEngine() {
        return std::make_unique<OnDeviceSpeechEngine>(&delegate, recognizer, capture, worker,
                                                      shortTimings);
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

    // A missing model fails the load through the delegate only, and nothing
    // stays loading. (Its banner and the start given up: Listening's tests.)
    delegate.locale = "de-DE";
    await(engine->loadModel(delegate.locale));
    EXPECT_FALSE(delegate.isModelLoaded);
    EXPECT_FALSE(delegate.isModelLoading);
    EXPECT_TRUE(delegate.errorMessage);
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
    auto item = analyzer->queue->take(std::chrono::milliseconds(0));
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

    // The first run's feed is closed: its old tap feeds nothing anywhere.
    firstTap(capture->microphone->buffer(4096));
    EXPECT_EQ(first->queue->size(), 0u);
    await(engine->stopTranscribing());
}

TEST_F(LoadedEngine, StopReturnsAfterTheBoundedWaitsWhenTheAnalyzerNeverFinishes) {
    recognizer->prepare = [](AnalyzerScript &script) { script.finishesOnFinalize = false; };
    auto analyzer = run(systemAudio);

    QElapsedTimer timer;
    timer.start();
    await(engine->stopTranscribing());
    const qint64 elapsed = timer.elapsed();
    EXPECT_TRUE(analyzer->cancelled);
    EXPECT_GE(elapsed, 2 * shortTimings.boundedWait.count() - 20);
    EXPECT_LT(elapsed, 2000);
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
    auto first = analyzer->queue->take(std::chrono::milliseconds(0));
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
    QElapsedTimer timer;
    timer.start();
    engine.reset();
    EXPECT_THROW(await(std::move(starting)), OperationCancelled);
    EXPECT_LT(timer.elapsed(), shortTimings.analyzerStartLimit.count() / 2);
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

TEST_F(LoadedEngine, CaptureFailureReachesTheDelegateOnceAndTheStopKeepsQueuedAudio) {
    recognizer->prepare = [](AnalyzerScript &script) {
        script.finalResults = {finalResult({{"Still ", {0.0, 0.4}}, {"here.", {0.4, 0.9}}})};
    };
    auto analyzer = run(systemAudio);
    feed(capture->systemAudio->handler);

    // The back end's thread reports; a second report of the same run is dropped.
    const CaptureFailureHandler onFailure = capture->systemAudio->onFailure;
    ASSERT_TRUE(onFailure);
    std::thread soundServer([onFailure] {
        onFailure(CaptureFailureKind::serverStopped, "Connection terminated");
        onFailure(CaptureFailureKind::streamFailed, "Entity killed");
    });
    soundServer.join();
    ASSERT_TRUE(processEventsUntil([&] { return !delegate.captureFailures.isEmpty(); }));
    processEvents();
    EXPECT_EQ(delegate.captureFailures,
              QStringList{"The sound server stopped: Connection terminated"});
    EXPECT_FALSE(delegate.failureOffMainThread);
    EXPECT_EQ(analyzer->queue->size(), 1u);

    await(engine->stopTranscribing());
    EXPECT_EQ(delegate.lines, QStringList{"Still here."});
    EXPECT_TRUE(analyzer->queue->isFinished());
    EXPECT_TRUE(logged("[Speech] stop: complete"));

    // A failure that comes once the stop began is ignored. (A stream's
    // failure: LiveAudio's CaptureFailureMidRun.)
    recognizer->prepare = nullptr;
    ASSERT_EQ(startError(microphone), "");
    const CaptureFailureHandler late = capture->microphone->onFailure;
    QCoro::Task<> stopping = engine->stopTranscribing();
    std::thread([late] {
        late(CaptureFailureKind::serverStopped, "Connection terminated");
    }).join();
    await(std::move(stopping));
    processEvents();
    EXPECT_EQ(delegate.captureFailures.size(), 1);
}

} // namespace
