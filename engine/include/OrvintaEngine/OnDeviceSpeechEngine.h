#pragma once

#include <OrvintaEngine/AudioFeed.h>
#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/ReconnectPolicy.h>
#include <OrvintaEngine/ResultConfirmation.h>
#include <OrvintaEngine/STTEngine.h>
#include <OrvintaEngineBackends/AudioCapture.h>
#include <OrvintaEngineBackends/SerialWorker.h>
#include <OrvintaEngineBackends/SpeechRecognizer.h>

#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>

namespace Orvinta {

class ResultsTask;

struct EngineTimings {
    std::chrono::milliseconds boundedWait{3000}; // analyzer finish and results drain, each
    std::chrono::milliseconds analyzerStartLimit{30000};
    /// Starting capture again after it ended on its own.
    ReconnectPolicy::Settings reconnect;
};

/// The engine on an on-device recogniser: prepares the model, runs capture
/// into the analyzer and confirms its results towards the delegate. A run
/// outlives its capture: when the sound server goes away, or the device
/// under a stream does, capture starts again on the same source (see
/// ReconnectPolicy) while the recogniser and its lines go on.
class OnDeviceSpeechEngine : public STTEngine {
    Q_OBJECT
public:
    /// The delegate is held weakly when it is a QObject. Every blocking call
    /// into the recogniser's assets and the capture back end runs on `worker`;
    /// a null worker means the engine makes its own. Destroying the engine
    /// waits for nothing but the job `worker` is running, if the engine holds
    /// its last reference.
    OnDeviceSpeechEngine(STTEngineDelegate *delegate, std::shared_ptr<SpeechRecognizer> recognizer,
                         std::shared_ptr<AudioCaptureBackend> capture,
                         std::shared_ptr<SerialWorker> worker, EngineTimings timings = {},
                         QObject *parent = nullptr);
    ~OnDeviceSpeechEngine() override;

    QCoro::Task<> loadModel(QString locale) override;
    QCoro::Task<> startTranscribing(AudioSourceType source, std::optional<std::uint32_t> deviceID,
                                    QString application = {}) override;
    QCoro::Task<> stopTranscribing() override;

    /// Buffers waiting for the analyzer; lets a file source keep pace with it.
    std::size_t queuedInputBuffers() const { return m_feed->queuedBuffers(); }
    const std::optional<AudioFormat> &targetFormat() const { return m_targetFormat; }

    /// The computer is about to sleep: what was heard so far ends its sentence.
    void prepareForSleep();
    /// The computer woke: a run's capture starts afresh on the same source,
    /// waiting for the sound server as after its loss where it is not back.
    void resumeAfterSleep();

private:
    struct CaptureDevices;
    struct CaptureRun;

    STTEngineDelegate *delegate() const;
    std::string currentLocale() const;
    void handleResult(const RecognitionResult &result);
    QCoro::Task<> finishAnalyzer(std::shared_ptr<SpeechAnalyzer> analyzer);
    enum class Interruption { serverStopped, streamFailed, wokeUp };

    QCoro::Task<> startMicrophoneCapture(std::shared_ptr<CaptureRun> run,
                                         std::optional<std::uint32_t> deviceID);
    QCoro::Task<> startSystemAudioCapture(std::shared_ptr<CaptureRun> run);
    QCoro::Task<> startApplicationAudioCapture(std::shared_ptr<CaptureRun> run,
                                               QString application);
    /// Starts the run's capture on the worker, as it was begun.
    QCoro::Task<> beginCapture(std::shared_ptr<CaptureRun> run);
    QCoro::Task<> stopMicrophone();
    CaptureFailureHandler failureHandler(const std::shared_ptr<CaptureRun> &run);
    MicrophoneDeviceHandler deviceHandler(const std::shared_ptr<CaptureRun> &run);
    void captureFailed(const std::shared_ptr<CaptureRun> &run, CaptureFailureKind kind,
                       const QString &description);
    void interrupt(const std::shared_ptr<CaptureRun> &run, Interruption interruption,
                   const QString &description);
    QCoro::Task<> recover(std::shared_ptr<CaptureRun> run, Interruption interruption,
                          QString description);
    void setReconnecting(CaptureRun &run, bool reconnecting);
    /// Ends the current run's capture state; its recovery, if any, stops.
    void endRun(bool tellDelegate = true);
    void reportCaptureFailure(const QString &description);

    STTEngineDelegate *m_delegate;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject;
    std::shared_ptr<SpeechRecognizer> m_recognizer;
    std::shared_ptr<AudioCaptureBackend> m_capture;
    std::shared_ptr<SerialWorker> m_worker;
    EngineTimings m_timings;
    std::shared_ptr<SpeechTranscriber> m_speechTranscriber;
    std::shared_ptr<SpeechAnalyzer> m_analyzer;
    std::weak_ptr<SpeechAnalyzer> m_finishingAnalyzer;
    std::weak_ptr<Completion<std::optional<EngineError>>> m_pendingStart;
    std::shared_ptr<AudioFeed> m_feed = std::make_shared<AudioFeed>();
    /// Touched only by jobs on the worker.
    std::shared_ptr<CaptureDevices> m_devices;
    bool m_microphoneMade = false;
    std::shared_ptr<CaptureRun> m_run;
    std::shared_ptr<ResultsTask> m_resultsTask;
    std::optional<AudioFormat> m_targetFormat;
    ResultConfirmation m_confirmation;
};

} // namespace Orvinta
