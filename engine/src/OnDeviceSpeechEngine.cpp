#include <OrvintaEngine/OnDeviceSpeechEngine.h>

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/SpeechLog.h>

#include <QElapsedTimer>

#include <atomic>
#include <cmath>
#include <exception>

namespace Orvinta {

namespace {

QString text(std::string_view value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

QString describeText(const std::exception &error) {
    return QString::fromStdString(describe(error));
}

EngineError engineError(int code, std::string description) {
    return EngineError(std::string(orvintaErrorDomain), code, std::move(description));
}

const char *const noInputDevice = "Could not configure audio input device";

} // namespace

/// Reads one run's results: each result reaches the engine in one main-thread
/// task, in arrival order, until the results end or the task is cancelled.
class ResultsTask : public std::enable_shared_from_this<ResultsTask> {
public:
    explicit ResultsTask(std::function<void(const RecognitionResult &)> handler)
        : m_handler(std::move(handler)) {}

    SpeechAnalyzer::Callbacks callbacks() {
        std::weak_ptr<ResultsTask> target = weak_from_this();
        return {[target](RecognitionResult result) {
                    postToMainThread([target, result = std::move(result)] {
                        if (auto self = target.lock())
                            self->receive(result);
                    });
                },
                [target](std::optional<std::string> failure) {
                    postToMainThread([target, failure = std::move(failure)] {
                        if (auto self = target.lock())
                            self->end(failure);
                    });
                }};
    }

    void cancel() {
        m_cancelled = true;
        m_ended->complete(true);
    }

    QCoro::Task<bool> waitUntilEnded(std::chrono::milliseconds timeout) {
        auto ended = m_ended;
        QCoro::Task<bool> waiting = ended->wait(timeout);
        co_return co_await waiting;
    }

private:
    void receive(const RecognitionResult &result) {
        if (!m_cancelled && !m_ended->isCompleted())
            m_handler(result);
    }

    void end(const std::optional<std::string> &failure) {
        if (m_ended->isCompleted())
            return;
        if (failure && !m_cancelled)
            qCInfo(lcSpeech).noquote() << "[Speech] Results iteration error: " + text(*failure);
        m_ended->complete(true);
    }

    std::function<void(const RecognitionResult &)> m_handler;
    bool m_cancelled = false;
    std::shared_ptr<Completion<bool>> m_ended = Completion<bool>::create();
};

/// The capture objects of the engine. They live on the worker: only jobs
/// running there touch them.
struct OnDeviceSpeechEngine::CaptureDevices {
    std::shared_ptr<MicrophoneCapture> microphone;
    std::unique_ptr<SystemAudioCapture> systemAudio;
    std::unique_ptr<ApplicationAudioCapture> applicationAudio;

    void stopMicrophone() {
        if (microphone) {
            microphone->stop();
            microphone->removeTap();
        }
    }

    /// Stops all capture; the description of a failed stop, if one failed.
    std::optional<std::string> stopAll() {
        stopMicrophone();
        std::optional<std::string> failure;
        const auto stop = [&failure](auto stream) {
            try {
                if (stream)
                    stream->stop();
            } catch (const std::exception &error) {
                failure = describe(error);
            }
        };
        stop(std::move(systemAudio));
        stop(std::move(applicationAudio));
        return failure;
    }
};

/// One run's capture, as far as its failures go: a failure that arrives while
/// the start is still under way is held until the start completed; a later
/// one starts the capture again, as it was begun, until the policy gives up.
struct OnDeviceSpeechEngine::CaptureRun {
    struct Failure {
        CaptureFailureKind kind;
        QString description;
    };

    explicit CaptureRun(ReconnectPolicy::Settings settings)
        : policy(settings) {}

    bool started = false;
    std::optional<Failure> pendingFailure;
    /// Starts this run's capture with a failure handler; on the worker.
    std::function<void(CaptureFailureHandler)> begin;
    ReconnectPolicy policy;
    bool recovering = false;
    /// The delegate was told that the engine waits for the sound server.
    bool reconnecting = false;
    /// A failure of a capture that a recovery under way started.
    std::optional<Failure> failedWhileRecovering;
    /// Set on the main thread once the run ends; read by the worker's jobs.
    std::shared_ptr<std::atomic<bool>> ended = std::make_shared<std::atomic<bool>>(false);
    /// Completed once the run ends; cuts a recovery's wait short.
    std::shared_ptr<Completion<bool>> ending = Completion<bool>::create();
};

OnDeviceSpeechEngine::OnDeviceSpeechEngine(STTEngineDelegate *delegate,
                                           std::shared_ptr<SpeechRecognizer> recognizer,
                                           std::shared_ptr<AudioCaptureBackend> capture,
                                           std::shared_ptr<SerialWorker> worker,
                                           EngineTimings timings, QObject *parent)
    : STTEngine(parent)
    , m_delegate(delegate)
    , m_delegateObject(dynamic_cast<QObject *>(delegate))
    , m_delegateIsObject(m_delegateObject != nullptr)
    , m_recognizer(std::move(recognizer))
    , m_capture(std::move(capture))
    , m_worker(worker ? std::move(worker) : makeSerialWorker("orvinta-engine", lcSpeech))
    , m_timings(timings)
    , m_devices(std::make_shared<CaptureDevices>())
    , m_confirmation([this] { return this->delegate(); }) {}

OnDeviceSpeechEngine::~OnDeviceSpeechEngine() {
    // Capture first, so no thread feeds a queue whose analyzer is going away.
    // The stops run on the worker; nothing here waits on the sound server.
    m_feed->disable();
    endRun(/*tellDelegate=*/false);
    m_worker->post([devices = std::move(m_devices)] { devices->stopAll(); });
    if (m_resultsTask)
        m_resultsTask->cancel();
    if (m_analyzer)
        m_analyzer->cancelFinalize();
    if (auto finishing = m_finishingAnalyzer.lock())
        finishing->cancelFinalize();
    // A start waiting for its analyzer resumes at once and finds the engine gone.
    Completion<std::optional<EngineError>>::post(m_pendingStart, std::nullopt);
}

STTEngineDelegate *OnDeviceSpeechEngine::delegate() const {
    if (m_delegateIsObject && !m_delegateObject)
        return nullptr;
    return m_delegate;
}

std::string OnDeviceSpeechEngine::currentLocale() const {
    if (STTEngineDelegate *d = delegate())
        return d->selectedLocale().toStdString();
    return "en-US";
}

void OnDeviceSpeechEngine::handleResult(const RecognitionResult &result) {
    if (result.isFinal)
        m_confirmation.handleFinalResult(result);
    else
        m_confirmation.handleVolatileResult(result.plainText());
}

QCoro::Task<> OnDeviceSpeechEngine::loadModel(QString /*locale*/) {
    QPointer<OnDeviceSpeechEngine> self(this);
    if (STTEngineDelegate *d = delegate()) {
        d->setIsModelLoading(true);
        d->setIsModelLoaded(false);
        d->setModelLoadingStatus(QStringLiteral("Preparing..."));
    }
    auto transcriber = m_recognizer->makeTranscriber(currentLocale());
    m_speechTranscriber = transcriber;
    if (STTEngineDelegate *d = delegate())
        d->setModelLoadingStatus(QStringLiteral("Checking assets..."));

    std::optional<QString> failure;
    try {
        std::function<bool()> check = [transcriber] {
            transcriber->reserveAssets();
            return transcriber->assetsNeedInstallation();
        };
        QCoro::Task<bool> checking = runOn(m_worker, std::move(check));
        const bool needsInstallation = co_await checking;
        if (!self)
            throw OperationCancelled();
        if (needsInstallation) {
            if (STTEngineDelegate *d = delegate())
                d->setModelLoadingStatus(QStringLiteral("Loading speech assets..."));
            std::function<void()> install = [transcriber] { transcriber->installAssets(); };
            QCoro::Task<> installing = runOn(m_worker, std::move(install));
            co_await installing;
        }
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &error) {
        failure = describeText(error);
    }
    if (!self)
        throw OperationCancelled();
    if (failure) {
        qCCritical(lcSpeech).noquote() << "[Speech] loadModel: " + *failure;
        if (STTEngineDelegate *d = delegate()) {
            d->setErrorMessage(QStringLiteral("Failed to prepare speech recognition: ") + *failure);
            d->setModelLoadingStatus(QStringLiteral("Loading failed"));
            d->setIsModelLoading(false);
        }
        co_return;
    }

    m_targetFormat = transcriber->bestAvailableAudioFormat();
    STTEngineDelegate *d = delegate();
    if (d) {
        d->setIsModelLoaded(true);
        d->setModelLoadingStatus(QStringLiteral("Ready"));
    }
    qCInfo(lcSpeech) << "[Speech] Model ready";
    if (d)
        d->setIsModelLoading(false);
}

QCoro::Task<> OnDeviceSpeechEngine::startTranscribing(AudioSourceType source,
                                                      std::optional<std::uint32_t> deviceID,
                                                      QString application) {
    if (!m_targetFormat)
        throw CaptureError::engineSetupFailed("Speech model not loaded");
    if (source == AudioSourceType::both)
        throw CaptureError::engineSetupFailed("an engine records one source at a time");
    QPointer<OnDeviceSpeechEngine> self(this);
    const QString sourceName = text(rawValue(source));
    qCInfo(lcSpeech).noquote() << "[Speech] Starting (source=" + sourceName + ")";

    qCInfo(lcSpeech) << "[Speech] cleanup: disableFeeding";
    if (auto oldQueue = m_feed->disable())
        oldQueue->finish();
    endRun();
    if (m_analyzer) {
        auto oldAnalyzer = std::move(m_analyzer);
        m_analyzer.reset();
        qCInfo(lcSpeech) << "[Speech] cleanup: finalizing old analyzer";
        QCoro::Task<> finishing = finishAnalyzer(std::move(oldAnalyzer));
        co_await finishing;
        if (!self)
            throw OperationCancelled();
        qCInfo(lcSpeech) << "[Speech] cleanup: old analyzer done";
    }
    if (m_resultsTask) {
        m_resultsTask->cancel();
        m_resultsTask.reset();
    }
    QCoro::Task<> stopping = stopMicrophone();
    co_await stopping;
    if (!self)
        throw OperationCancelled();
    m_confirmation.reset();

    qCInfo(lcSpeech) << "[Speech] creating new transcriber + analyzer";
    auto transcriber = m_recognizer->makeTranscriber(currentLocale());
    std::shared_ptr<SpeechAnalyzer> analyzer = transcriber->makeAnalyzer();
    m_analyzer = analyzer;

    auto queue = std::make_shared<AnalyzerInputQueue>(AnalyzerInputQueue::defaultCapacity);
    m_feed->enable(queue, *m_targetFormat);

    qCInfo(lcSpeech) << "[Speech] calling analyzer.start";
    auto resultsTask = std::make_shared<ResultsTask>([self](const RecognitionResult &result) {
        if (self)
            self->handleResult(result);
    });
    auto started = Completion<std::optional<EngineError>>::create();
    m_pendingStart = started;
    analyzer->start(queue, resultsTask->callbacks(),
                    [target = std::weak_ptr(started)](std::optional<EngineError> failure) {
                        Completion<std::optional<EngineError>>::post(target, std::move(failure));
                    });
    QCoro::Task<bool> starting = started->wait(m_timings.analyzerStartLimit);
    const bool answered = co_await starting;
    if (!self)
        throw OperationCancelled();
    m_pendingStart.reset();
    if (!answered) {
        analyzer->cancelFinalize();
        throw engineError(-3, "The speech analyzer did not start");
    }
    if (const auto &failure = *started->value())
        throw *failure;

    qCInfo(lcSpeech) << "[Speech] analyzer.start completed";
    qCInfo(lcSpeech).noquote() << "[Speech] starting audio capture (source=" + sourceName + ")";

    auto run = std::make_shared<CaptureRun>(m_timings.reconnect);
    m_run = run;
    std::exception_ptr captureFailure;
    try {
        if (source == AudioSourceType::systemAudio) {
            QCoro::Task<> capturing = startSystemAudioCapture(run);
            co_await capturing;
        } else if (source == AudioSourceType::application) {
            QCoro::Task<> capturing = startApplicationAudioCapture(run, std::move(application));
            co_await capturing;
        } else {
            QCoro::Task<> capturing = startMicrophoneCapture(run, deviceID);
            co_await capturing;
        }
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &error) {
        if (self)
            qCCritical(lcSpeech).noquote() << "[Speech] audio capture: " + describeText(error);
        captureFailure = dynamic_cast<const EngineError *>(&error)
                             ? std::current_exception()
                             : std::make_exception_ptr(engineError(-3, describe(error)));
    }
    if (!self)
        throw OperationCancelled();
    if (captureFailure) {
        QCoro::Task<> cleanup = stopTranscribing();
        co_await cleanup;
        if (!self)
            throw OperationCancelled();
        std::rethrow_exception(captureFailure);
    }

    qCInfo(lcSpeech) << "[Speech] audio capture started";
    m_resultsTask = resultsTask;
    qCInfo(lcSpeech) << "[Speech] Transcription started";
    run->started = true;
    if (run->pendingFailure)
        postToMainThread([self, target = std::weak_ptr(run)] {
            if (auto held = target.lock(); self && held)
                self->captureFailed(held, held->pendingFailure->kind,
                                    held->pendingFailure->description);
        });
}

QCoro::Task<> OnDeviceSpeechEngine::stopTranscribing() {
    QPointer<OnDeviceSpeechEngine> self(this);
    qCInfo(lcSpeech) << "[Speech] Stopping";
    qCInfo(lcSpeech) << "[Speech] stop: disableFeeding";
    auto queue = m_feed->disable();
    endRun(); // a capture failure from here on is part of the stop
    if (const std::uint64_t discarded = queue ? queue->discardedCount() : 0)
        qCWarning(lcSpeech, "[Speech] The recogniser fell behind: %llu audio buffers were left out",
                  static_cast<unsigned long long>(discarded));

    std::optional<std::string> stopFailure;
    try {
        std::function<std::optional<std::string>()> stop = [devices = m_devices] {
            return devices->stopAll();
        };
        QCoro::Task<std::optional<std::string>> stoppingCapture = runOn(m_worker, std::move(stop));
        stopFailure = co_await stoppingCapture;
    } catch (const OperationCancelled &) {
        // the worker is gone, and with it the capture
    } catch (const std::exception &error) {
        stopFailure = describe(error);
    }
    if (!self)
        co_return;
    if (stopFailure)
        qCCritical(lcSpeech).noquote() << "[Speech] stopCapture error: " + text(*stopFailure);
    qCInfo(lcSpeech) << "[Speech] stop: audio capture stopped";
    if (queue)
        queue->finish();

    if (m_analyzer) {
        auto analyzer = std::move(m_analyzer);
        m_analyzer.reset();
        qCInfo(lcSpeech) << "[Speech] stop: finalizing analyzer";
        QCoro::Task<> finishing = finishAnalyzer(std::move(analyzer));
        co_await finishing;
        if (!self)
            co_return;
        qCInfo(lcSpeech) << "[Speech] stop: analyzer finalized";
    }

    if (m_resultsTask) {
        auto resultsTask = std::move(m_resultsTask);
        m_resultsTask.reset();
        qCInfo(lcSpeech) << "[Speech] stop: waiting for results task";
        QCoro::Task<bool> draining = resultsTask->waitUntilEnded(m_timings.boundedWait);
        if (!co_await draining)
            resultsTask->cancel();
        if (!self)
            co_return;
        qCInfo(lcSpeech) << "[Speech] stop: results task done";
    }

    QCoro::Task<> yielding = yieldMainThread();
    co_await yielding;
    if (!self)
        co_return;
    m_feed->setSampleFormat(std::nullopt);
    m_confirmation.reset();
    qCInfo(lcSpeech) << "[Speech] stop: complete";
}

QCoro::Task<> OnDeviceSpeechEngine::finishAnalyzer(std::shared_ptr<SpeechAnalyzer> analyzer) {
    // Only the first lines may touch the engine: it may be gone after a wait.
    const auto boundedWait = m_timings.boundedWait;
    m_finishingAnalyzer = analyzer;
    auto finished = Completion<bool>::create();
    analyzer->finalizeAndFinishThroughEndOfInput(
        [target = std::weak_ptr(finished)] { Completion<bool>::post(target, true); });
    QCoro::Task<bool> finishing = finished->wait(boundedWait);
    if (co_await finishing)
        co_return;
    analyzer->cancelFinalize();
    // A cancelled finalize returns promptly; should one not, the engine goes on
    // rather than hang.
    QCoro::Task<bool> cancelling = finished->wait(boundedWait);
    if (!co_await cancelling)
        qCWarning(lcSpeech) << "[Speech] analyzer did not end after cancellation";
}

QCoro::Task<> OnDeviceSpeechEngine::stopMicrophone() {
    if (!m_microphoneMade)
        co_return;
    std::function<void()> stop = [devices = m_devices] { devices->stopMicrophone(); };
    QCoro::Task<> stopping = runOn(m_worker, std::move(stop));
    co_await stopping;
}

QCoro::Task<> OnDeviceSpeechEngine::startMicrophoneCapture(std::shared_ptr<CaptureRun> run,
                                                           std::optional<std::uint32_t> deviceID) {
    QPointer<OnDeviceSpeechEngine> self(this);
    const auto resumed = [&self] {
        if (!self)
            throw OperationCancelled();
    };
    qCInfo(lcSpeech) << "[Speech] mic: requesting permission";
    std::function<MicrophoneAccess()> ask = [capture = m_capture] {
        return capture->requestMicrophoneAccess();
    };
    QCoro::Task<MicrophoneAccess> asking = runOn(m_worker, std::move(ask));
    const MicrophoneAccess access = co_await asking;
    resumed();
    if (access != MicrophoneAccess::granted)
        throw engineError(-2, "Microphone access required. Check that a microphone is connected "
                              "and that Orvinta may record from it in your sound settings.");

    if (!m_microphoneMade)
        qCInfo(lcSpeech) << "[Speech] mic: creating new AVAudioEngine";
    else
        qCInfo(lcSpeech) << "[Speech] mic: reusing existing AVAudioEngine";
    std::function<void()> prepare = [capture = m_capture, devices = m_devices] {
        if (devices->microphone) {
            devices->stopMicrophone();
            return;
        }
        devices->microphone = capture->makeMicrophoneCapture();
        if (!devices->microphone)
            throw engineError(-1, noInputDevice);
    };
    QCoro::Task<> preparing = runOn(m_worker, std::move(prepare));
    co_await preparing;
    resumed();
    m_microphoneMade = true;

    std::function<AudioFormat()> choose = [devices = m_devices, deviceID] {
        if (deviceID && !devices->microphone->selectDevice(*deviceID))
            throw engineError(-1, noInputDevice);
        return devices->microphone->inputFormat();
    };
    QCoro::Task<AudioFormat> choosing = runOn(m_worker, std::move(choose));
    const AudioFormat format = co_await choosing;
    resumed();

    const QString rate = QString::asprintf("%f", format.sampleRate);
    qCInfo(lcSpeech).noquote() << "[Speech] mic: installing tap (rate=" + rate + ")";
    // Started again after a loss, the device stays the one chosen now: the
    // back end finds it again by itself, whatever its new id.
    run->begin = [devices = m_devices, feed = m_feed, format,
                  onDevice = deviceHandler(run)](CaptureFailureHandler onFailure) {
        devices->microphone->installTap(
            4096, format, [feed](const AudioBuffer &buffer) { feed->feedBuffer(buffer); },
            std::move(onFailure));
        devices->microphone->setDeviceHandler(onDevice);
        devices->microphone->start();
    };
    QCoro::Task<> beginning = beginCapture(run);
    co_await beginning;
    resumed();
    qCInfo(lcSpeech).noquote() << "[Speech] Microphone capture started (rate=" + rate + ")";
}

QCoro::Task<> OnDeviceSpeechEngine::startSystemAudioCapture(std::shared_ptr<CaptureRun> run) {
    QPointer<OnDeviceSpeechEngine> self(this);
    const auto rate = static_cast<std::uint32_t>(
        m_targetFormat ? std::trunc(m_targetFormat->sampleRate) : 16000.0);
    m_feed->setSampleFormat(AudioFormat{static_cast<double>(rate), 1, SampleType::float32, false});
    run->begin = [capture = m_capture, devices = m_devices, feed = m_feed,
                  rate](CaptureFailureHandler onFailure) {
        auto stream = capture->makeSystemAudioCapture();
        stream->start(
            rate,
            [feed](const std::byte *bytes, std::size_t length) {
                feed->feedSampleBuffer(bytes, length);
            },
            std::move(onFailure));
        devices->systemAudio = std::move(stream);
    };
    QCoro::Task<> beginning = beginCapture(run);
    co_await beginning;
    if (!self)
        throw OperationCancelled();
    qCInfo(lcSpeech).noquote() << "[Speech] System audio capture started (sampleRate=" +
                                      QString::number(rate) + ")";
}

QCoro::Task<> OnDeviceSpeechEngine::startApplicationAudioCapture(std::shared_ptr<CaptureRun> run,
                                                                 QString application) {
    QPointer<OnDeviceSpeechEngine> self(this);
    if (application.isEmpty())
        throw engineError(-1, "Choose the application to listen to");
    const auto rate = static_cast<std::uint32_t>(
        m_targetFormat ? std::trunc(m_targetFormat->sampleRate) : 16000.0);
    m_feed->setSampleFormat(AudioFormat{static_cast<double>(rate), 1, SampleType::float32, false});
    // From the back end's thread: one hop to the main thread, in order; a
    // later run's engine state is not this run's to change.
    ApplicationWaitingHandler onWaiting = [self, target = std::weak_ptr(run)](bool waiting) {
        postToMainThread([self, target, waiting] {
            auto held = target.lock();
            if (!self || !held || held != self->m_run)
                return;
            if (STTEngineDelegate *d = self->delegate())
                d->setIsWaitingForApplication(waiting);
        });
    };
    run->begin = [capture = m_capture, devices = m_devices, feed = m_feed, rate,
                  name = application.toStdString(),
                  onWaiting = std::move(onWaiting)](CaptureFailureHandler onFailure) {
        auto stream = capture->makeApplicationAudioCapture();
        if (!stream)
            throw CaptureError::engineSetupFailed(
                "this sound server cannot record a single application");
        stream->start(
            rate, name,
            [feed](const std::byte *bytes, std::size_t length) {
                feed->feedSampleBuffer(bytes, length);
            },
            std::move(onFailure), onWaiting);
        devices->applicationAudio = std::move(stream);
    };
    QCoro::Task<> beginning = beginCapture(run);
    co_await beginning;
    if (!self)
        throw OperationCancelled();
    qCInfo(lcSpeech).noquote() << "[Speech] Application audio capture started (sampleRate=" +
                                      QString::number(rate) + ")";
}

QCoro::Task<> OnDeviceSpeechEngine::beginCapture(std::shared_ptr<CaptureRun> run) {
    std::function<void()> begin = [begin = run->begin, onFailure = failureHandler(run)] {
        begin(onFailure);
    };
    QCoro::Task<> beginning = runOn(m_worker, std::move(begin));
    co_await beginning;
}

CaptureFailureHandler OnDeviceSpeechEngine::failureHandler(const std::shared_ptr<CaptureRun> &run) {
    // Called on the back end's thread: one hop to the main thread, once.
    return [once = std::make_shared<std::atomic<bool>>(false),
            self = QPointer<OnDeviceSpeechEngine>(this),
            target = std::weak_ptr(run)](CaptureFailureKind kind, std::string reason) {
        if (once->exchange(true))
            return;
        const QString description = (kind == CaptureFailureKind::serverStopped
                                         ? QStringLiteral("The sound server stopped: ")
                                         : QStringLiteral("Audio capture failed: ")) +
                                    text(reason);
        postToMainThread([self, target, kind, description] {
            if (auto held = target.lock(); held && self)
                self->captureFailed(held, kind, description);
        });
    };
}

MicrophoneDeviceHandler
OnDeviceSpeechEngine::deviceHandler(const std::shared_ptr<CaptureRun> &run) {
    return [self = QPointer<OnDeviceSpeechEngine>(this),
            target = std::weak_ptr(run)](std::string chosen, std::string replacement) {
        const QString notice = replacement.empty()
                                   ? QStringLiteral("Listening to %1 again").arg(text(chosen))
                                   : QStringLiteral("%1 is gone: listening to %2 until it is back")
                                         .arg(text(chosen), text(replacement));
        postToMainThread([self, target, notice] {
            auto held = target.lock();
            if (!self || !held || held != self->m_run)
                return;
            qCInfo(lcSpeech).noquote() << "[Speech] mic: " + notice;
            if (STTEngineDelegate *d = self->delegate())
                d->captureDeviceChanged(notice);
        });
    };
}

void OnDeviceSpeechEngine::captureFailed(const std::shared_ptr<CaptureRun> &run,
                                         CaptureFailureKind kind, const QString &description) {
    if (run != m_run)
        return; // the run is being stopped, or a later one replaced it
    if (!run->started) {
        run->pendingFailure = CaptureRun::Failure{kind, description};
        return;
    }
    if (run->recovering) {
        run->failedWhileRecovering = CaptureRun::Failure{kind, description};
        return;
    }
    interrupt(run,
              kind == CaptureFailureKind::serverStopped ? Interruption::serverStopped
                                                        : Interruption::streamFailed,
              description);
}

void OnDeviceSpeechEngine::interrupt(const std::shared_ptr<CaptureRun> &run,
                                     Interruption interruption, const QString &description) {
    qCWarning(lcSpeech).noquote() << "[Speech] capture interrupted: " + description;
    if (interruption != Interruption::wokeUp) {
        // Nothing follows what was heard up to the loss: its sentence ends now
        // rather than when capture is back.
        m_feed->endUtterance();
    }
    run->recovering = true;
    // Runs on by itself; a stop or a later run ends it at its next step.
    QCoro::Task<> recovering = recover(run, interruption, description);
    (void)recovering;
}

QCoro::Task<> OnDeviceSpeechEngine::recover(std::shared_ptr<CaptureRun> run,
                                            Interruption interruption, QString description) {
    QPointer<OnDeviceSpeechEngine> self(this);
    const auto now = [] { return ReconnectPolicy::Clock::now(); };
    const auto waitForServer = [&] {
        interruption = Interruption::serverStopped;
        run->policy.serverLost(now());
        setReconnecting(*run, true);
    };
    if (interruption == Interruption::serverStopped)
        waitForServer();
    // A stream that fails again right after its new start is not tried again.
    bool tryAgain = interruption != Interruption::streamFailed || run->policy.restartsStream(now());
    QElapsedTimer lost;
    lost.start();
    while (tryAgain) {
        std::optional<std::string> failure;
        try {
            std::function<void()> attempt = [devices = m_devices, begin = run->begin,
                                             ended = run->ended, onFailure = failureHandler(run)] {
                if (*ended)
                    return; // stopped meanwhile: nothing to start again
                devices->stopAll();
                begin(onFailure);
            };
            QCoro::Task<> attempting = runOn(m_worker, std::move(attempt));
            co_await attempting;
        } catch (const OperationCancelled &) {
            co_return;
        } catch (const std::exception &error) {
            failure = describe(error);
        }
        if (!self || run != self->m_run)
            co_return;
        if (const auto again = std::exchange(run->failedWhileRecovering, std::nullopt)) {
            description = again->description;
            if (again->kind == CaptureFailureKind::serverStopped &&
                interruption != Interruption::serverStopped)
                waitForServer();
        } else if (!failure) {
            run->recovering = false;
            setReconnecting(*run, false);
            qCInfo(lcSpeech).noquote()
                << QStringLiteral("[Speech] capture resumed %1 ms after it stopped")
                       .arg(lost.elapsed());
            co_return;
        } else {
            qCInfo(lcSpeech).noquote()
                << "[Speech] capture could not start again: " + text(*failure);
            if (interruption == Interruption::wokeUp) {
                description = text(*failure);
                waitForServer();
            }
        }
        const std::optional<std::chrono::milliseconds> delay =
            interruption == Interruption::serverStopped ? run->policy.nextDelay(now())
                                                        : std::nullopt;
        tryAgain = delay.has_value();
        if (!tryAgain)
            break;
        auto ending = run->ending;
        QCoro::Task<bool> waiting = ending->wait(*delay);
        if (co_await waiting || !self || run != self->m_run)
            co_return;
    }
    run->recovering = false;
    setReconnecting(*run, false);
    reportCaptureFailure(description);
}

void OnDeviceSpeechEngine::setReconnecting(CaptureRun &run, bool reconnecting) {
    if (run.reconnecting == reconnecting)
        return;
    run.reconnecting = reconnecting;
    if (reconnecting)
        qCInfo(lcSpeech) << "[Speech] Reconnecting to the sound server";
    if (STTEngineDelegate *d = delegate())
        d->setIsReconnecting(reconnecting);
}

void OnDeviceSpeechEngine::endRun(bool tellDelegate) {
    if (!m_run)
        return;
    const std::shared_ptr<CaptureRun> run = std::move(m_run);
    m_run.reset();
    *run->ended = true;
    run->ending->complete(true);
    if (tellDelegate)
        setReconnecting(*run, false);
}

void OnDeviceSpeechEngine::prepareForSleep() {
    if (m_run && m_run->started) {
        qCInfo(lcSpeech) << "[Speech] The computer goes to sleep";
        m_feed->endUtterance();
    }
}

void OnDeviceSpeechEngine::resumeAfterSleep() {
    if (!m_run || !m_run->started || m_run->recovering)
        return;
    interrupt(m_run, Interruption::wokeUp, QStringLiteral("The computer woke from sleep"));
}

void OnDeviceSpeechEngine::reportCaptureFailure(const QString &description) {
    qCWarning(lcSpeech).noquote() << "[Speech] capture failed: " + description;
    if (STTEngineDelegate *d = delegate())
        d->captureDidFail(description);
}

} // namespace Orvinta
