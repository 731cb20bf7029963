#include <OrvintaApp/ListeningController.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/AudioDeviceList.h>
#include <OrvintaApp/ConfirmedLine.h>
#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/Observable.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaApp/Transcript.h>

#include <OrvintaEngine/MainThread.h>

#include <QCoreApplication>
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

/// Starts a run of `engine`, if there is one; why it did not start, if it did not.
QCoro::Task<std::optional<QString>> startRunOf(STTEngine *engine, AudioSourceType source,
                                               std::optional<std::uint32_t> deviceID,
                                               QString application) {
    std::optional<QString> failure;
    if (!engine)
        co_return failure;
    try {
        QCoro::Task<> starting =
            engine->startTranscribing(source, deviceID, std::move(application));
        co_await starting;
    } catch (const std::exception &error) {
        // OperationCancelled too: its owner is gone, and finds out.
        failure = describeError(error);
    }
    co_return failure;
}

QCoro::Task<> stopRunOf(STTEngine *engine) {
    if (!engine)
        co_return;
    QCoro::Task<> stopping = engine->stopTranscribing();
    co_await stopping;
}

} // namespace

QString reconnectingText() {
    return QStringLiteral("Reconnecting to the sound server…");
}

/// The delegate of the engine that records the computer in a run on both:
/// its lines and interim text are the computer's; its model state stays its own.
class ListeningController::ComputerSide : public STTEngineDelegate {
public:
    explicit ComputerSide(ListeningController &owner)
        : m_owner(owner) {}

    bool isLoaded() const { return m_isLoaded; }

    QString selectedLocale() const override { return m_owner.selectedLocale(); }
    void setIsModelLoading(bool) override {}
    void setIsModelLoaded(bool loaded) override { m_isLoaded = loaded; }
    void setModelLoadingStatus(const QString &) override {}
    void setErrorMessage(const std::optional<QString> &message) override {
        m_owner.setErrorMessage(message);
    }
    void setInterimText(const QString &text) override { m_owner.interimFrom(computer, text); }
    void addConfirmedLine(const QString &text) override { addHeardLine(text, {}); }
    void addHeardLine(const QString &text, const std::vector<TextRun> &words) override {
        m_owner.lineFrom(computer, text, m_owner.stretchOf(text, words));
    }
    void captureDidFail(const QString &description) override {
        m_owner.captureDidFail(description);
    }
    void setIsReconnecting(bool reconnecting) override {
        m_owner.reconnectingFrom(computer, reconnecting);
    }
    void captureDeviceChanged(const QString &notice) override {
        m_owner.captureDeviceChanged(notice);
    }

private:
    ListeningController &m_owner;
    bool m_isLoaded = false;
};

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
    , m_sink(sink)
    , m_computerSide(std::make_unique<ComputerSide>(*this)) {
    // Quitting mid-run keeps the microphone's lines that waited for the computer's.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &ListeningController::releaseHeldLines);
}

ListeningController::~ListeningController() {
    for (TaskHandle *task : {&m_toggleTask, &m_loadTask, &m_permissionTask, &m_recordingTimer,
                             &m_iconAnimationTask, &m_errorDismissTask, &m_holdTask})
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
    interimFrom(primary, text);
}

void ListeningController::addConfirmedLine(const QString &text) {
    addHeardLine(text, {});
}

void ListeningController::addHeardLine(const QString &text, const std::vector<TextRun> &words) {
    lineFrom(primary, text, stretchOf(text, words));
}

// --- Lines of a run on both ------------------------------------------------------

void ListeningController::interimFrom(Side side, const QString &text) {
    m_interims[side] = text;
    if (!text.isEmpty())
        m_latestInterim = side;
    showInterim();
    // The computer's recogniser ended what it heard without a line: nothing
    // held can be its echo any more.
    if (side == computer && text.isEmpty() && !m_heldLines.isEmpty())
        releaseHeldLines();
}

void ListeningController::showInterim() {
    // One interim text: the side that spoke last, else the other one.
    const QString &latest = m_interims[m_latestInterim];
    m_sink.setInterimText(
        latest.isEmpty() ? m_interims[m_latestInterim == primary ? computer : primary] : latest);
}

EchoFilter::Stretch ListeningController::stretchOf(const QString &text,
                                                   const std::vector<TextRun> &words) const {
    // The recogniser times words from the start of its run, and both sides
    // start together; a line without times ends now, as long as its words
    // take to say.
    std::optional<AudioTimeRange> first, last;
    for (const TextRun &word : words)
        if (word.timeRange) {
            if (!first)
                first = word.timeRange;
            last = word.timeRange;
        }
    const auto seconds = [](MediaTime time) { return std::chrono::duration<double>(time).count(); };
    if (first)
        return {m_runStart + seconds(first->start), m_runStart + seconds(last->end())};
    const double now = currentTimestamp();
    return {now - 0.4 * std::max(1, wordCount(text)), now};
}

void ListeningController::lineFrom(Side side, const QString &text, EchoFilter::Stretch spoken) {
    m_interims[side].clear();
    if (!m_twoSided) {
        deliver(side, text);
        return;
    }
    if (side == computer) {
        m_echo.computerSaid(text, spoken);
        // Held microphone lines were confirmed first: they come first, less
        // those that turn out to be this line's echo.
        releaseHeldLines();
        deliver(computer, text);
        return;
    }
    if (m_echo.isEcho(text, spoken)) {
        droppedEcho(text);
        showInterim();
        return;
    }
    // Through the speakers, the same words may reach the microphone's
    // recogniser before the computer's has confirmed them: while that one
    // hears speech, the line waits for it (two recognisers hear the same
    // sound too differently to tell from its interim text).
    if (!m_heldLines.isEmpty() || !m_interims[computer].isEmpty()) {
        holdMicrophoneLine(text, spoken);
        showInterim();
        return;
    }
    deliver(primary, text);
}

void ListeningController::droppedEcho(const QString &text) {
    qCInfo(lcAppState) << "[AppState] Dropped a microphone line that echoes the computer";
    qCInfo(lcTranscriptText, "Echo dropped: \"%s\"", qUtf8Printable(text));
}

void ListeningController::deliver(Side side, const QString &text) {
    m_sink.addConfirmedLine(text, side == computer ? computerSpeaker() : m_primarySpeaker);
    // The line cleared the interim text; the other side may still be hearing speech.
    if (m_twoSided)
        showInterim();
}

void ListeningController::holdMicrophoneLine(const QString &text, EchoFilter::Stretch spoken) {
    m_heldLines.append({text, spoken});
    if (m_holdTask)
        return;
    m_holdTask = CancellableTask::after(m_services.timings.echoHold, this, [this] {
        m_holdTask.reset();
        releaseHeldLines();
    });
}

void ListeningController::releaseHeldLines() {
    cancelTask(m_holdTask);
    for (const HeldLine &line : std::exchange(m_heldLines, {})) {
        if (m_echo.isEcho(line.text, line.spoken))
            droppedEcho(line.text);
        else
            deliver(primary, line.text);
    }
}

void ListeningController::setErrorMessage(const std::optional<QString> &message) {
    cancelTask(m_errorDismissTask);
    assignNotifying(this, m_errorMessage, message, &ListeningController::errorMessageChanged);
    if (!message)
        return;
    m_errorDismissTask = CancellableTask::after(m_services.timings.errorBanner, this, [this] {
        m_errorDismissTask.reset();
        assignNotifying(this, m_errorMessage, std::optional<QString>(),
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
    reconnectingFrom(primary, reconnecting);
}

void ListeningController::reconnectingFrom(Side side, bool reconnecting) {
    // On both, the banner lasts until both captures run again.
    m_sideReconnecting[side] = reconnecting;
    reconnecting = m_sideReconnecting[primary] || m_sideReconnecting[computer];
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

QCoro::Task<> ListeningController::finishBeforeQuit() {
    QCoro::Task<> pending = toggleFinished();
    co_await pending;
    if (!m_isListening || m_isTransitioning)
        co_return;
    QCoro::Task<> stopping = stopRun(/*playStopSound=*/false);
    co_await stopping;
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
    const bool twoSided = source == AudioSourceType::both;
    if (source == AudioSourceType::microphone || twoSided) {
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
    if (twoSided) {
        QCoro::Task<> preparing = prepareComputerEngine();
        co_await preparing;
        if (!self)
            co_return;
    }
    if (!m_isModelLoaded || !m_transcriptionEngine ||
        (twoSided && (!m_computerEngine || !m_computerSide->isLoaded()))) {
        qCInfo(lcAppState) << "[AppState] Model not ready, aborting start";
        setIsTransitioning(false);
        co_return;
    }

    m_runApplication = application;
    m_twoSided = twoSided;
    m_primarySpeaker = twoSided ? microphoneSpeaker() : application.simplified();
    m_echo.clear();
    m_runStart = currentTimestamp();
    // Both sides start at once, each engine on its own recogniser.
    QCoro::Task<std::optional<QString>> startingOwn =
        startRunOf(m_transcriptionEngine.get(), twoSided ? AudioSourceType::microphone : source,
                   m_devices.selectedDeviceID(), application);
    QCoro::Task<std::optional<QString>> startingComputer =
        startRunOf(twoSided ? m_computerEngine.get() : nullptr, AudioSourceType::systemAudio,
                   std::nullopt, {});
    const std::optional<QString> ownFailure = co_await startingOwn;
    const std::optional<QString> computerFailure = co_await startingComputer;
    if (!self)
        co_return;
    if (ownFailure || computerFailure) {
        // A run on both hears both sides or neither.
        QCoro::Task<> stoppingOwn =
            stopRunOf(twoSided && !ownFailure ? m_transcriptionEngine.get() : nullptr);
        co_await stoppingOwn;
        if (!self)
            co_return;
        QCoro::Task<> stoppingComputer =
            stopRunOf(twoSided && !computerFailure ? m_computerEngine.get() : nullptr);
        co_await stoppingComputer;
        if (!self)
            co_return;
        const QString failure = ownFailure.value_or(computerFailure.value_or(QString()));
        qCCritical(lcAppState, "[AppState] Failed: %s", qUtf8Printable(failure));
        endApplicationRun();
        setErrorMessage(failure);
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
    // Both sides stop at once; their last lines still come through.
    QCoro::Task<> stoppingOwn = stopRunOf(m_transcriptionEngine.get());
    QCoro::Task<> stoppingComputer = stopRunOf(m_twoSided ? m_computerEngine.get() : nullptr);
    co_await stoppingOwn;
    co_await stoppingComputer;
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
        const AudioSourceType source = m_preferences.selectedSource();
        if ((source == AudioSourceType::microphone || source == AudioSourceType::both) &&
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
    m_computerEngine.reset(); // made again by the next run on both
    QCoro::Task<> preparing = prepareEngine();
    co_await preparing;
}

QCoro::Task<> ListeningController::prepareComputerEngine() {
    if ((m_computerEngine && m_computerSide->isLoaded()) || !m_services.makeEngine)
        co_return;
    m_computerEngine = m_services.makeEngine(m_computerSide.get());
    QPointer<ListeningController> self(this);
    try {
        // Failures reach the banner through the delegate.
        QCoro::Task<> loading = m_computerEngine->loadModel(selectedLocale());
        co_await loading;
    } catch (const OperationCancelled &) {
        co_return;
    }
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
    releaseHeldLines();
    m_twoSided = false;
    m_primarySpeaker.clear();
    m_interims = {};
    m_echo.clear();
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
