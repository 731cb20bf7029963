#include <OrvintaApp/ListeningController.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/AudioDeviceList.h>
#include <OrvintaApp/ConfirmedLine.h>
#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/Observable.h>
#include <OrvintaApp/Preferences.h>

#include <OrvintaEngine/MainThread.h>

#include <QPointer>

#include <cmath>

namespace Orvinta {

namespace {

const QString microphoneAccessRequired = QStringLiteral(
    "Microphone access required. Check that a microphone is connected and that Orvinta may "
    "record from it in your sound settings.");

QString describeError(const std::exception &error) {
    return QString::fromStdString(describe(error));
}

} // namespace

QString reconnectingText() {
    return QStringLiteral("Reconnecting to the sound server…");
}

QString formatRecordingTime(double elapsedSeconds) {
    const auto s = static_cast<long long>(std::trunc(std::max(0.0, elapsedSeconds)));
    if (s < 3600)
        return QString::asprintf("%lld:%02lld", (s % 3600) / 60, s % 60);
    return QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
}

ListeningController::ListeningController(const AppServices &services,
                                         const Preferences &preferences,
                                         const AudioDeviceList &devices, const Dictation &dictation,
                                         RecognizedTextSink &sink, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_preferences(preferences)
    , m_devices(devices)
    , m_dictation(dictation)
    , m_sink(sink) {}

ListeningController::~ListeningController() {
    for (TaskHandle *task : {&m_toggleTask, &m_loadTask, &m_permissionTask, &m_recordingTimer,
                             &m_iconAnimationTask, &m_errorDismissTask})
        cancelTask(*task);
}

// --- Delegate ------------------------------------------------------------------

QString ListeningController::selectedLocale() const {
    return m_preferences.selectedLocale();
}

void ListeningController::setIsModelLoading(bool loading) {
    assignNotifying(this, m_isModelLoading, loading, &ListeningController::isModelLoadingChanged);
}

void ListeningController::setIsModelLoaded(bool loaded) {
    assignNotifying(this, m_isModelLoaded, loaded, &ListeningController::isModelLoadedChanged);
}

void ListeningController::setModelLoadingStatus(const QString &status) {
    assignNotifying(this, m_modelLoadingStatus, status,
                    &ListeningController::modelLoadingStatusChanged);
}

void ListeningController::setInterimText(const QString &text) {
    m_sink.setInterimText(text);
}

void ListeningController::addConfirmedLine(const QString &text) {
    m_sink.addConfirmedLine(text);
}

void ListeningController::setErrorMessage(const std::optional<QString> &message) {
    cancelTask(m_errorDismissTask);
    assignNotifying(this, m_errorMessage, message, &ListeningController::errorMessageChanged);
    if (!message)
        return;
    QPointer<ListeningController> self(this);
    const auto delay = m_services.timings.errorBanner;
    m_errorDismissTask =
        CancellableTask::start([self, delay](CancellationToken token) -> QCoro::Task<> {
            const bool slept = co_await token.sleep(delay);
            if (!slept || !self)
                co_return;
            self->m_errorDismissTask.reset();
            assignNotifying(self.data(), self->m_errorMessage, std::optional<QString>(),
                            &ListeningController::errorMessageChanged);
        });
}

void ListeningController::setIsWaitingForApplication(bool waiting) {
    if (m_runApplication.isEmpty())
        return;
    assignNotifying(this, m_waitingForApplication, waiting,
                    &ListeningController::waitingStatusChanged);
}

void ListeningController::setIsReconnecting(bool reconnecting) {
    if (m_reconnecting == reconnecting)
        return;
    assignNotifying(this, m_reconnecting, reconnecting,
                    &ListeningController::isReconnectingChanged);
    if (reconnecting) {
        setErrorMessage(reconnectingText());
        cancelTask(m_errorDismissTask); // it stays for as long as it is true
    } else if (m_errorMessage == reconnectingText())
        setErrorMessage(std::nullopt);
}

void ListeningController::captureDeviceChanged(const QString &notice) {
    setErrorMessage(notice);
    Q_EMIT captureNotice(notice);
}

QString ListeningController::waitingStatus() const {
    if (!m_waitingForApplication || m_runApplication.isEmpty())
        return {};
    return QStringLiteral("Waiting for %1 to play sound").arg(m_runApplication);
}

void ListeningController::captureDidFail(const QString &description) {
    qCCritical(lcAppState, "[AppState] Capture failed: %s", qUtf8Printable(description));
    QPointer<ListeningController> self(this);
    schedule(
        [self, description](CancellationToken) -> QCoro::Task<> {
            if (!self)
                co_return;
            if (self->m_isListening && !self->m_isTransitioning) {
                QCoro::Task<> stopping = self->stopRun(/*playStopSound=*/true);
                co_await stopping;
            }
            if (self)
                self->setErrorMessage(description);
        },
        /*afterPrevious=*/true);
}

// --- Lifecycle -------------------------------------------------------------------

void ListeningController::schedule(Body body, bool afterPrevious) {
    TaskHandle previous = afterPrevious ? m_toggleTask : nullptr;
    cancelTask(m_toggleTask);
    m_toggleTask = CancellableTask::start(
        [previous, body = std::move(body)](CancellationToken token) -> QCoro::Task<> {
            if (previous) {
                QCoro::Task<> ended = previous->finished();
                co_await ended;
            }
            QCoro::Task<> running = body(token);
            co_await running;
        });
}

void ListeningController::toggleListening() {
    QPointer<ListeningController> self(this);
    schedule(
        [self](CancellationToken token) -> QCoro::Task<> {
            if (!self)
                co_return;
            QCoro::Task<> action = self->m_isListening ? self->stopListeningAction(token)
                                                       : self->startListeningAction(token);
            co_await action;
        },
        /*afterPrevious=*/false);
}

QCoro::Task<> ListeningController::toggleFinished() const {
    if (auto task = m_toggleTask) {
        QCoro::Task<> ended = task->finished();
        co_await ended;
    }
}

QCoro::Task<> ListeningController::startListeningAction(CancellationToken token) {
    if (m_isTransitioning || m_dictation.isDictating() || token.isCancelled())
        co_return;
    QPointer<ListeningController> self(this);
    setIsTransitioning(true);
    const AudioSourceType source = m_preferences.selectedSource();
    qCInfo(lcAppState, "[AppState] startListening: source=%s",
           qUtf8Printable(m_preferences.selectedSourceRaw()));
    setErrorMessage(std::nullopt);

    const QString application =
        source == AudioSourceType::application ? m_preferences.selectedApplication() : QString();
    if (source == AudioSourceType::application && application.isEmpty()) {
        setErrorMessage(QStringLiteral("Choose the application to listen to"));
        setIsTransitioning(false);
        co_return;
    }
    if (source == AudioSourceType::microphone) {
        if (m_micPermission == MicPermission::notDetermined) {
            QCoro::Task<> asking = requestMicPermission();
            co_await asking;
        }
        if (!self)
            co_return;
        if (m_micPermission != MicPermission::authorized) {
            setErrorMessage(m_micPermission == MicPermission::notDetermined && m_micProbeFailure
                                ? *m_micProbeFailure
                                : microphoneAccessRequired);
            setIsTransitioning(false);
            co_return;
        }
    }
    if (!m_isModelLoaded) {
        QCoro::Task<> preparing = prepareEngine();
        co_await preparing;
    }
    if (!self)
        co_return;
    if (token.isCancelled()) {
        setIsTransitioning(false);
        co_return;
    }
    if (!m_isModelLoaded || !m_transcriptionEngine) {
        qCInfo(lcAppState) << "[AppState] Model not ready, aborting start";
        setIsTransitioning(false);
        co_return;
    }

    std::optional<QString> failure;
    m_runApplication = application;
    try {
        QCoro::Task<> starting = m_transcriptionEngine->startTranscribing(
            source, m_devices.selectedDeviceID(), application);
        co_await starting;
    } catch (const OperationCancelled &) {
        co_return; // the engine went away with its owner
    } catch (const std::exception &error) {
        failure = describeError(error);
    }
    if (!self)
        co_return;
    if (failure) {
        qCCritical(lcAppState, "[AppState] Failed: %s", qUtf8Printable(*failure));
        endApplicationRun();
        setErrorMessage(*failure);
        setIsTransitioning(false);
        co_return;
    }
    setIsListening(true);
    m_recordingStartTime = currentTimestamp();
    startRecordingClock();
    restartIconAnimation();
    playSound(SoundPlayer::Sound::start);
    qCInfo(lcAppState) << "[AppState] Listening started";
    setIsTransitioning(false);
}

QCoro::Task<> ListeningController::stopListeningAction(CancellationToken token) {
    if (m_isTransitioning || token.isCancelled())
        co_return;
    QCoro::Task<> stopping = stopRun(/*playStopSound=*/true);
    co_await stopping;
}

QCoro::Task<> ListeningController::stopRun(bool playStopSound) {
    QPointer<ListeningController> self(this);
    setIsTransitioning(true);
    qCInfo(lcAppState) << "[AppState] stopListening";
    if (m_transcriptionEngine) {
        QCoro::Task<> stopping = m_transcriptionEngine->stopTranscribing();
        co_await stopping;
    }
    if (!self)
        co_return;
    endApplicationRun();
    setIsListening(false);
    stopRecordingClock();
    stopIconAnimation();
    if (playStopSound)
        playSound(SoundPlayer::Sound::stop);
    setIsTransitioning(false);
}

QCoro::Task<> ListeningController::prepareEngine() {
    if (m_isModelLoaded || !m_services.makeEngine)
        co_return;
    if (!m_loadTask || m_loadTask->isFinished()) {
        m_transcriptionEngine = m_services.makeEngine(this);
        QPointer<ListeningController> self(this);
        STTEngine *engine = m_transcriptionEngine.get();
        const QString locale = selectedLocale();
        m_loadTask =
            CancellableTask::start([self, engine, locale](CancellationToken) -> QCoro::Task<> {
                std::optional<QString> failure;
                try {
                    QCoro::Task<> loading = engine->loadModel(locale);
                    co_await loading;
                } catch (const OperationCancelled &) {
                    co_return; // only when the engine's owner is gone
                } catch (const std::exception &error) {
                    failure = describeError(error);
                }
                if (self && failure) {
                    self->setIsModelLoading(false);
                    self->setErrorMessage(*failure);
                }
            });
    }
    // A load already under way is awaited, never abandoned or started twice.
    TaskHandle loading = m_loadTask;
    QCoro::Task<> loaded = loading->finished();
    co_await loaded;
}

QCoro::Task<> ListeningController::reloadEngine() {
    scheduleReload();
    TaskHandle reloading = m_toggleTask;
    QCoro::Task<> reloaded = reloading->finished();
    co_await reloaded;
}

void ListeningController::scheduleReload() {
    QPointer<ListeningController> self(this);
    schedule(
        [self](CancellationToken) -> QCoro::Task<> {
            if (!self)
                co_return;
            QCoro::Task<> reloading = self->reload();
            co_await reloading;
        },
        /*afterPrevious=*/true);
}

void ListeningController::followPreferences() {
    // A new recognition language needs a new engine.
    connect(&m_preferences, &Preferences::selectedLocaleChanged, this,
            &ListeningController::scheduleReload);
    // Choosing the microphone asks the sound server once, so the panel can
    // show the device picker or the reason straight away.
    connect(&m_preferences, &Preferences::selectedSourceChanged, this, [this] {
        if (m_preferences.selectedSource() == AudioSourceType::microphone &&
            m_micPermission == MicPermission::notDetermined)
            askForMicrophoneAccess();
    });
}

void ListeningController::askForMicrophoneAccess() {
    QPointer<ListeningController> self(this);
    m_permissionTask = CancellableTask::start([self](CancellationToken) -> QCoro::Task<> {
        if (!self)
            co_return;
        QCoro::Task<> asking = self->requestMicPermission();
        co_await asking;
    });
}

QCoro::Task<> ListeningController::reload() {
    QPointer<ListeningController> self(this);
    // No start or stop may slip in while the engine is replaced.
    setIsTransitioning(true);
    if (TaskHandle loading = m_loadTask) {
        QCoro::Task<> loaded = loading->finished();
        co_await loaded;
        if (!self)
            co_return;
    }
    if (m_isListening) {
        QCoro::Task<> stopping = stopRun(/*playStopSound=*/false);
        co_await stopping;
        if (!self)
            co_return;
    }
    setIsTransitioning(false);
    setIsModelLoaded(false);
    m_transcriptionEngine.reset();
    QCoro::Task<> preparing = prepareEngine();
    co_await preparing;
}

QCoro::Task<> ListeningController::requestMicPermission() {
    QPointer<ListeningController> self(this);
    std::shared_ptr<AudioCaptureBackend> audio = m_services.audio;
    if (!audio || !m_services.soundServer) {
        setMicPermission(MicPermission::denied);
        co_return;
    }
    // A server that cannot be asked at all says nothing about permission:
    // the status stays undetermined and the reason is kept for the banner.
    std::optional<MicPermission> permission;
    QString failure;
    try {
        std::function<MicrophoneAccess()> probe = [audio] {
            return audio->requestMicrophoneAccess();
        };
        QCoro::Task<MicrophoneAccess> asking = runOn(m_services.soundServer, std::move(probe));
        const MicrophoneAccess access = co_await asking;
        permission =
            access == MicrophoneAccess::granted ? MicPermission::authorized : MicPermission::denied;
    } catch (const OperationCancelled &) {
        co_return;
    } catch (const std::exception &error) {
        failure = describeError(error);
    }
    if (!self)
        co_return;
    if (permission) {
        m_micProbeFailure.reset();
        setMicPermission(*permission);
    } else {
        qCWarning(lcAppState, "Microphone probe failed: %s", qUtf8Printable(failure));
        m_micProbeFailure = failure;
    }
}

// --- Shown state ---------------------------------------------------------------------

void ListeningController::endApplicationRun() {
    m_runApplication.clear();
    assignNotifying(this, m_waitingForApplication, false,
                    &ListeningController::waitingStatusChanged);
}

void ListeningController::setIsListening(bool listening) {
    assignNotifying(this, m_isListening, listening, &ListeningController::isListeningChanged);
}

void ListeningController::setIsTransitioning(bool transitioning) {
    assignNotifying(this, m_isTransitioning, transitioning,
                    &ListeningController::isTransitioningChanged);
}

void ListeningController::setMicPermission(MicPermission permission) {
    assignNotifying(this, m_micPermission, permission, &ListeningController::micPermissionChanged);
}

void ListeningController::setRecordingElapsed(double seconds) {
    assignNotifying(this, m_recordingElapsed, seconds,
                    &ListeningController::recordingElapsedChanged);
}

void ListeningController::setMenuBarIconFrame(int frame) {
    assignNotifying(this, m_menuBarIconFrame, frame, &ListeningController::menuBarIconFrameChanged);
}

void ListeningController::startRecordingClock() {
    cancelTask(m_recordingTimer);
    QPointer<ListeningController> self(this);
    const auto period = m_services.timings.recordingClock;
    m_recordingTimer =
        CancellableTask::start([self, period](CancellationToken token) -> QCoro::Task<> {
            while (self && !token.isCancelled()) {
                if (self->m_recordingStartTime)
                    self->setRecordingElapsed(currentTimestamp() - *self->m_recordingStartTime);
                if (!co_await token.sleep(period))
                    co_return;
            }
        });
}

void ListeningController::stopRecordingClock() {
    cancelTask(m_recordingTimer);
    m_recordingStartTime.reset();
    setRecordingElapsed(0);
}

QString ListeningController::formattedRecordingTime() const {
    return formatRecordingTime(m_recordingElapsed);
}

void ListeningController::restartIconAnimation() {
    stopIconAnimation();
    QPointer<ListeningController> self(this);
    const auto period = m_services.timings.iconFrame;
    m_iconAnimationTask =
        CancellableTask::start([self, period](CancellationToken token) -> QCoro::Task<> {
            while (self && !token.isCancelled()) {
                self->setMenuBarIconFrame((self->m_menuBarIconFrame + 1) % 12);
                if (!co_await token.sleep(period))
                    co_return;
            }
        });
}

void ListeningController::stopIconAnimation() {
    cancelTask(m_iconAnimationTask);
    setMenuBarIconFrame(0);
}

void ListeningController::playSound(SoundPlayer::Sound sound) {
    if (m_preferences.soundEnabled() && m_services.sounds)
        m_services.sounds->play(sound);
}

} // namespace Orvinta
