#include <OrvintaEngine/OnDeviceSpeechEngine.h>

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/SpeechLog.h>

#include <cmath>
#include <exception>
#include <thread>

namespace Orvinta {

namespace {

QString text(std::string_view value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

QString describe(const EngineError &error) {
    return QString::fromStdString(error.description());
}

/// Runs blocking back-end work off the main thread and awaits it there.
QCoro::Task<std::optional<EngineError>> runInBackground(std::function<void()> work) {
    auto outcome = Completion<std::optional<EngineError>>::create();
    std::thread([work = std::move(work), target = std::weak_ptr(outcome)] {
        std::optional<EngineError> failure;
        try {
            work();
        } catch (const EngineError &error) {
            failure = error;
        } catch (const std::exception &error) {
            failure = EngineError(std::string(orvintaErrorDomain), -3, error.what());
        }
        Completion<std::optional<EngineError>>::post(target, std::move(failure));
    }).detach();
    co_await outcome->wait(std::chrono::milliseconds(-1));
    co_return *outcome->value();
}

// How long an analyzer may take to load its model before a start gives up.
const auto analyzerStartLimit = std::chrono::milliseconds(30000);

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
        co_return co_await ended->wait(timeout);
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

OnDeviceSpeechEngine::OnDeviceSpeechEngine(STTEngineDelegate *delegate,
                                           std::shared_ptr<SpeechRecognizer> recognizer,
                                           std::shared_ptr<AudioCaptureBackend> capture,
                                           QObject *parent)
    : STTEngine(parent)
    , m_delegate(delegate)
    , m_delegateObject(dynamic_cast<QObject *>(delegate))
    , m_delegateIsObject(m_delegateObject != nullptr)
    , m_recognizer(std::move(recognizer))
    , m_capture(std::move(capture))
    , m_confirmation([this] { return this->delegate(); }) {}

OnDeviceSpeechEngine::~OnDeviceSpeechEngine() {
    // Capture first, so no thread feeds a queue whose analyzer is going away.
    m_feed->disable();
    stopMicrophone();
    if (m_systemAudio) {
        try {
            m_systemAudio->stop();
        } catch (const EngineError &) {
        }
    }
    if (m_resultsTask)
        m_resultsTask->cancel();
    if (m_analyzer)
        m_analyzer->cancelFinalize();
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

    // Work is named before it is awaited: GCC 12 destroys temporaries of a
    // co_await operand twice.
    std::function<void()> reserve = [transcriber] { transcriber->reserveAssets(); };
    std::optional<EngineError> failure = co_await runInBackground(std::move(reserve));
    if (!self)
        co_return;
    if (!failure) {
        auto needsInstallation = std::make_shared<bool>(false);
        std::function<void()> check = [transcriber, needsInstallation] {
            *needsInstallation = transcriber->assetsNeedInstallation();
        };
        failure = co_await runInBackground(std::move(check));
        if (!self)
            co_return;
        if (!failure && *needsInstallation) {
            if (STTEngineDelegate *d = delegate())
                d->setModelLoadingStatus(QStringLiteral("Loading speech assets..."));
            std::function<void()> install = [transcriber] { transcriber->installAssets(); };
            failure = co_await runInBackground(std::move(install));
            if (!self)
                co_return;
        }
    }
    if (failure) {
        qCCritical(lcSpeech).noquote() << "[Speech] loadModel: " + describe(*failure);
        if (STTEngineDelegate *d = delegate()) {
            d->setErrorMessage(QStringLiteral("Failed to prepare speech recognition: ") +
                               describe(*failure));
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
                                                      std::optional<std::uint32_t> deviceID) {
    if (!m_targetFormat)
        throw CaptureError::engineSetupFailed("Speech model not loaded");
    QPointer<OnDeviceSpeechEngine> self(this);
    const QString sourceName = text(rawValue(source));
    qCInfo(lcSpeech).noquote() << "[Speech] Starting (source=" + sourceName + ")";

    qCInfo(lcSpeech) << "[Speech] cleanup: disableFeeding";
    if (auto oldQueue = m_feed->disable())
        oldQueue->finish();
    if (m_analyzer) {
        auto oldAnalyzer = std::move(m_analyzer);
        m_analyzer.reset();
        qCInfo(lcSpeech) << "[Speech] cleanup: finalizing old analyzer";
        co_await finishAnalyzer(std::move(oldAnalyzer));
        if (!self)
            co_return;
        qCInfo(lcSpeech) << "[Speech] cleanup: old analyzer done";
    }
    if (m_resultsTask) {
        m_resultsTask->cancel();
        m_resultsTask.reset();
    }
    stopMicrophone();
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
    analyzer->start(queue, resultsTask->callbacks(),
                    [target = std::weak_ptr(started)](std::optional<EngineError> failure) {
                        Completion<std::optional<EngineError>>::post(target, std::move(failure));
                    });
    const bool answered = co_await started->wait(analyzerStartLimit);
    if (!self)
        co_return;
    if (!answered) {
        analyzer->cancelFinalize();
        throw EngineError(std::string(orvintaErrorDomain), -3, "The speech analyzer did not start");
    }
    if (const auto &failure = *started->value())
        throw *failure;

    qCInfo(lcSpeech) << "[Speech] analyzer.start completed";
    qCInfo(lcSpeech).noquote() << "[Speech] starting audio capture (source=" + sourceName + ")";

    std::exception_ptr captureFailure;
    try {
        if (source == AudioSourceType::systemAudio)
            co_await startSystemAudioCapture();
        else
            co_await startMicrophoneCapture(deviceID);
    } catch (const EngineError &error) {
        qCCritical(lcSpeech).noquote() << "[Speech] audio capture: " + describe(error);
        captureFailure = std::current_exception();
    }
    if (!self)
        co_return;
    if (captureFailure) {
        co_await stopTranscribing();
        std::rethrow_exception(captureFailure);
    }

    qCInfo(lcSpeech) << "[Speech] audio capture started";
    m_resultsTask = resultsTask;
    qCInfo(lcSpeech) << "[Speech] Transcription started";
}

QCoro::Task<> OnDeviceSpeechEngine::stopTranscribing() {
    QPointer<OnDeviceSpeechEngine> self(this);
    qCInfo(lcSpeech) << "[Speech] Stopping";
    qCInfo(lcSpeech) << "[Speech] stop: disableFeeding";
    auto queue = m_feed->disable();

    stopMicrophone();
    if (m_systemAudio) {
        auto stream = std::move(m_systemAudio);
        m_systemAudio.reset();
        try {
            stream->stop();
        } catch (const EngineError &error) {
            qCCritical(lcSpeech).noquote() << "[Speech] stopCapture error: " + describe(error);
        }
    }
    qCInfo(lcSpeech) << "[Speech] stop: audio capture stopped";
    if (queue)
        queue->finish();

    if (m_analyzer) {
        auto analyzer = std::move(m_analyzer);
        m_analyzer.reset();
        qCInfo(lcSpeech) << "[Speech] stop: finalizing analyzer";
        co_await finishAnalyzer(std::move(analyzer));
        if (!self)
            co_return;
        qCInfo(lcSpeech) << "[Speech] stop: analyzer finalized";
    }

    if (m_resultsTask) {
        auto resultsTask = std::move(m_resultsTask);
        m_resultsTask.reset();
        qCInfo(lcSpeech) << "[Speech] stop: waiting for results task";
        if (!co_await resultsTask->waitUntilEnded(boundedWait))
            resultsTask->cancel();
        if (!self)
            co_return;
        qCInfo(lcSpeech) << "[Speech] stop: results task done";
    }

    co_await yieldMainThread();
    if (!self)
        co_return;
    m_feed->setSampleFormat(std::nullopt);
    m_confirmation.reset();
    qCInfo(lcSpeech) << "[Speech] stop: complete";
}

QCoro::Task<> OnDeviceSpeechEngine::finishAnalyzer(std::shared_ptr<SpeechAnalyzer> analyzer) {
    auto finished = Completion<bool>::create();
    analyzer->finalizeAndFinishThroughEndOfInput(
        [target = std::weak_ptr(finished)] { Completion<bool>::post(target, true); });
    if (co_await finished->wait(boundedWait))
        co_return;
    analyzer->cancelFinalize();
    // A cancelled finalize returns promptly; should one not, the engine goes on
    // rather than hang.
    if (!co_await finished->wait(boundedWait))
        qCWarning(lcSpeech) << "[Speech] analyzer did not end after cancellation";
}

void OnDeviceSpeechEngine::stopMicrophone() {
    if (m_microphone) {
        m_microphone->stop();
        m_microphone->removeTap();
    }
}

QCoro::Task<> OnDeviceSpeechEngine::startMicrophoneCapture(std::optional<std::uint32_t> deviceID) {
    qCInfo(lcSpeech) << "[Speech] mic: requesting permission";
    if (m_capture->requestMicrophoneAccess() != MicrophoneAccess::granted)
        throw EngineError(std::string(orvintaErrorDomain), -2,
                          "Microphone access required. Check that a microphone is connected and "
                          "that Orvinta may record from it in your sound settings.");

    if (!m_microphone) {
        qCInfo(lcSpeech) << "[Speech] mic: creating new AVAudioEngine";
        m_microphone = m_capture->makeMicrophoneCapture();
        if (!m_microphone)
            throw EngineError(std::string(orvintaErrorDomain), -1,
                              "Could not configure audio input device");
    } else {
        qCInfo(lcSpeech) << "[Speech] mic: reusing existing AVAudioEngine";
        stopMicrophone();
    }

    if (deviceID && !m_microphone->selectDevice(*deviceID))
        throw EngineError(std::string(orvintaErrorDomain), -1,
                          "Could not configure audio input device");

    const AudioFormat format = m_microphone->inputFormat();
    const QString rate = QString::asprintf("%f", format.sampleRate);
    qCInfo(lcSpeech).noquote() << "[Speech] mic: installing tap (rate=" + rate + ")";
    m_microphone->installTap(
        4096, format, [feed = m_feed](const AudioBuffer &buffer) { feed->feedBuffer(buffer); });
    m_microphone->start();
    qCInfo(lcSpeech).noquote() << "[Speech] Microphone capture started (rate=" + rate + ")";
    co_return;
}

QCoro::Task<> OnDeviceSpeechEngine::startSystemAudioCapture() {
    const auto rate = static_cast<std::uint32_t>(
        m_targetFormat ? std::trunc(m_targetFormat->sampleRate) : 16000.0);
    m_feed->setSampleFormat(AudioFormat{static_cast<double>(rate), 1, SampleType::float32, false});
    auto stream = m_capture->makeSystemAudioCapture();
    stream->start(rate, [feed = m_feed](const std::byte *bytes, std::size_t length) {
        feed->feedSampleBuffer(bytes, length);
    });
    m_systemAudio = std::move(stream);
    qCInfo(lcSpeech).noquote() << "[Speech] System audio capture started (sampleRate=" +
                                      QString::number(rate) + ")";
    co_return;
}

} // namespace Orvinta
