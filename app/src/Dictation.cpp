#include <OrvintaApp/Dictation.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/AudioDeviceList.h>
#include <OrvintaApp/ListeningController.h>
#include <OrvintaApp/Observable.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaApp/Transcript.h>

#include <QPointer>

namespace Orvinta {

namespace {

const char *boolText(bool value) {
    return value ? "true" : "false";
}

} // namespace

void Dictation::setIsDictating(bool dictating) {
    assignNotifying(this, m_isDictating, dictating, &Dictation::isDictatingChanged);
}

void Dictation::setTentative(bool tentative) {
    assignNotifying(this, m_isTentative, tentative, &Dictation::isTentativeChanged);
}

void Dictation::setWantsDictating(bool wants) {
    assignNotifying(this, m_wantsDictating, wants, &Dictation::wantsDictatingChanged);
}

void Dictation::setDictationBuffer(const QString &buffer) {
    assignNotifying(this, m_dictationBuffer, buffer, &Dictation::dictationBufferChanged);
}

void Dictation::setDictationInterimText(const QString &text) {
    assignNotifying(this, m_dictationInterimText, text, &Dictation::dictationInterimTextChanged);
}

void Dictation::setDictationState(DictationState state) {
    assignNotifying(this, m_dictationState, state, &Dictation::dictationStateChanged);
}

void Dictation::setLeftOnClipboard(bool left) {
    assignNotifying(this, m_leftOnClipboard, left, &Dictation::leftOnClipboardChanged);
}

DictationController::DictationController(Dictation &dictation, ListeningController &listening,
                                         const Preferences &preferences, Transcript &transcript,
                                         const AudioDeviceList &devices, PasteAction paste,
                                         std::chrono::milliseconds idleDelay, QObject *parent)
    : QObject(parent)
    , m_dictation(dictation)
    , m_listening(listening)
    , m_preferences(preferences)
    , m_transcript(transcript)
    , m_devices(devices)
    , m_paste(std::move(paste))
    , m_idleDelay(idleDelay) {}

DictationController::~DictationController() {
    cancelTask(m_reconcileTask);
    cancelTask(m_idleTask);
}

void DictationController::collect(const QString &text) {
    QString buffer = m_dictation.dictationBuffer();
    if (!buffer.isEmpty())
        buffer += QLatin1Char(' ');
    m_dictation.setDictationBuffer(buffer + text);
    m_dictation.setDictationInterimText(QString());
    qCInfo(lcTranscriptText, "dictation buffer: \"%s\"",
           qUtf8Printable(m_dictation.dictationBuffer()));
}

void DictationController::setupDictation() {
    if (m_preferences.dictationModeEnabled())
        Q_EMIT dictationMonitorRequested(true);
}

void DictationController::holdBegan() {
    if (!m_preferences.dictationModeEnabled())
        return;
    qCInfo(lcAppState) << "[AppState] hold began: recording tentatively";
    m_holdConfirmed = false;
    m_dictation.setWantsDictating(true);
    reconcileDictation();
}

void DictationController::holdStarted() {
    if (!m_preferences.dictationModeEnabled())
        return;
    qCInfo(lcAppState) << "[AppState] hold start";
    m_holdConfirmed = true;
    m_dictation.setWantsDictating(true);
    if (m_recording && m_dictation.isTentative())
        announce();
    reconcileDictation();
}

void DictationController::holdCancelled() {
    qCInfo(lcAppState) << "[AppState] hold cancelled";
    m_holdConfirmed = false;
    m_dictation.setWantsDictating(false);
    reconcileDictation();
}

void DictationController::holdEnded() {
    qCInfo(lcAppState) << "[AppState] hold end";
    m_dictation.setWantsDictating(false);
    reconcileDictation();
}

bool DictationController::toggleDictation() {
    if (!m_preferences.dictationModeEnabled())
        return false;
    if (m_dictation.wantsDictating())
        holdEnded();
    else
        holdStarted();
    return true;
}

bool DictationController::listeningBusy() const {
    // A listening start or stop under way owns the engine as much as a run does.
    return m_listening.isListening() || m_listening.isTransitioning();
}

void DictationController::reconcileDictation() {
    if (m_reconcileTask) {
        qCInfo(lcAppState) << "[AppState] reconcile: already running, will pick up new state";
        return;
    }
    QPointer<DictationController> self(this);
    m_reconcileTask = CancellableTask::start([self](CancellationToken token) -> QCoro::Task<> {
        while (self && !token.isCancelled()) {
            Dictation &d = self->m_dictation;
            if (d.wantsDictating() && !d.isDictating() && !self->listeningBusy()) {
                qCInfo(lcAppState) << "[AppState] reconcile: want=true, starting dictation";
                QCoro::Task<> starting = self->startDictation();
                co_await starting;
                // A start that failed ends this pass: retrying while the key
                // is still held would fail again at once. The next hold tries again.
                if (self && !self->m_dictation.isDictating())
                    break;
                continue;
            }
            if (!d.wantsDictating() && d.isDictating()) {
                qCInfo(lcAppState) << "[AppState] reconcile: want=false, stopping dictation";
                QCoro::Task<> stopping = self->stopDictation();
                co_await stopping;
                continue;
            }
            break;
        }
        if (!self || token.isCancelled())
            co_return;
        qCInfo(lcAppState, "[AppState] reconcile: done (want=%s, isDictating=%s)",
               boolText(self->m_dictation.wantsDictating()),
               boolText(self->m_dictation.isDictating()));
        self->m_reconcileTask.reset();
    });
    // A body that never waited has already finished; its slot must not stay set.
    if (m_reconcileTask && m_reconcileTask->isFinished())
        m_reconcileTask.reset();
}

QCoro::Task<> DictationController::startDictation() {
    QPointer<DictationController> self(this);
    if (listeningBusy() || m_dictation.isDictating()) {
        qCInfo(lcAppState, "[AppState] startDictation skipped (isListening=%s, isDictating=%s)",
               boolText(m_listening.isListening()), boolText(m_dictation.isDictating()));
        co_return;
    }
    qCInfo(lcAppState) << "[AppState] startDictation begin";
    m_listening.setErrorMessage(std::nullopt);

    if (m_listening.micPermission() == MicPermission::notDetermined) {
        QCoro::Task<> asking = m_listening.requestMicPermission();
        co_await asking;
        if (!self)
            co_return;
    }
    if (m_listening.micPermission() != MicPermission::authorized) {
        m_listening.setErrorMessage(QStringLiteral("Microphone access required for dictation."));
        co_return;
    }
    if (!m_listening.isModelLoaded()) {
        QCoro::Task<> preparing = m_listening.prepareEngine();
        co_await preparing;
        if (!self)
            co_return;
    }
    STTEngine *engine = m_listening.transcriptionEngine();
    if (!m_listening.isModelLoaded() || !engine) {
        qCInfo(lcAppState) << "[AppState] Model not ready, aborting dictation";
        co_return;
    }
    // Listening may have started while the permission or the model was awaited.
    if (listeningBusy()) {
        qCInfo(lcAppState, "[AppState] startDictation skipped (isListening=%s, isDictating=%s)",
               boolText(m_listening.isListening()), boolText(m_dictation.isDictating()));
        co_return;
    }

    // A tentative recording leaves the bubble and the tray as they are.
    m_dictation.setTentative(!m_holdConfirmed);
    m_dictation.setIsDictating(true);
    if (!m_dictation.isTentative()) {
        // The previous dictation's return to idle must not land in this one.
        cancelTask(m_idleTask);
        m_dictation.setLeftOnClipboard(false);
        m_dictation.setDictationState(DictationState::recording);
    }
    m_dictation.setDictationBuffer(QString());
    m_dictation.setDictationInterimText(QString());
    m_transcript.setInterimText(QString());

    qCInfo(lcAppState) << "[AppState] startDictation: calling engine.startTranscribing";
    std::optional<QString> failure;
    try {
        // Dictation always listens to the microphone, whatever listening uses.
        QCoro::Task<> starting =
            engine->startTranscribing(AudioSourceType::microphone, m_devices.selectedDeviceID());
        co_await starting;
    } catch (const OperationCancelled &) {
        failure = QString(); // the engine went away with a language change
    } catch (const std::exception &error) {
        failure = QString::fromStdString(describe(error));
    }
    if (!self)
        co_return;
    if (failure) {
        if (!failure->isEmpty()) {
            qCCritical(lcAppState, "[AppState] Dictation failed: %s", qUtf8Printable(*failure));
            m_listening.setErrorMessage(*failure);
        }
        const bool shown = !m_dictation.isTentative();
        m_dictation.setIsDictating(false);
        m_dictation.setTentative(false);
        if (shown)
            m_dictation.setDictationState(DictationState::idle);
        co_return;
    }
    qCInfo(lcAppState) << "[AppState] startDictation: engine started successfully";
    m_recording = true;
    // The hold may have been confirmed while the engine started.
    if (m_holdConfirmed)
        announce();
    qCInfo(lcAppState) << "[AppState] startDictation complete";
}

void DictationController::clearDictation() {
    m_dictation.setIsDictating(false);
    m_dictation.setTentative(false);
    m_dictation.setDictationBuffer(QString());
    m_dictation.setDictationInterimText(QString());
    m_transcript.setInterimText(QString());
}

void DictationController::announce() {
    m_dictation.setTentative(false);
    cancelTask(m_idleTask);
    m_dictation.setLeftOnClipboard(false);
    m_dictation.setDictationState(DictationState::recording);
    // Shown once the microphone really runs, so a start that fails shows nothing.
    Q_EMIT bubbleShowRequested();
    m_listening.restartIconAnimation();
    m_listening.playSound(SoundPlayer::Sound::start);
    qCInfo(lcAppState) << "[AppState] Dictation announced: start tone and bubble";
}

QCoro::Task<> DictationController::stopDictation() {
    QPointer<DictationController> self(this);
    if (!m_dictation.isDictating()) {
        qCInfo(lcAppState) << "[AppState] stopDictation skipped (not dictating)";
        co_return;
    }
    qCInfo(lcAppState) << "[AppState] stopDictation begin";
    // A tentative recording was never shown: it goes without a trace.
    const bool discard = m_dictation.isTentative();
    m_recording = false;
    if (!discard)
        m_dictation.setDictationState(DictationState::processing);

    qCInfo(lcAppState) << "[AppState] stopDictation: calling engine.stopTranscribing";
    if (STTEngine *engine = m_listening.transcriptionEngine()) {
        try {
            QCoro::Task<> stopping = engine->stopTranscribing();
            co_await stopping;
        } catch (const std::exception &error) {
            qCWarning(lcAppState, "[AppState] stopDictation: %s", describe(error).c_str());
        }
        if (!self)
            co_return;
    }
    qCInfo(lcAppState) << "[AppState] stopDictation: engine stopped";

    if (discard) {
        clearDictation();
        qCInfo(lcAppState) << "[AppState] Dictation discarded: the hold was no dictation";
        co_return;
    }

    QString finalText = m_dictation.dictationBuffer();
    const QString interim = m_transcript.interimText().trimmed();
    if (!interim.isEmpty()) {
        if (!finalText.isEmpty())
            finalText += QLatin1Char(' ');
        finalText += interim;
    }
    const bool produced = !finalText.isEmpty();
    bool pasted = false;
    if (produced) {
        const PasteResult result =
            m_paste ? m_paste(finalText) : PasteResult{QStringLiteral("nothing pastes"), false};
        pasted = result.pasted();
        // Before "done", so that the bubble says at once where the text is.
        m_dictation.setLeftOnClipboard(!pasted && result.onClipboard);
        m_dictation.setDictationState(DictationState::done);
    }
    Q_EMIT bubbleHideRequested(produced);
    m_listening.playSound(SoundPlayer::Sound::stop);
    m_listening.stopIconAnimation();
    clearDictation();

    cancelTask(m_idleTask);
    const auto delay = m_idleDelay;
    m_idleTask = CancellableTask::start([self, delay](CancellationToken token) -> QCoro::Task<> {
        QCoro::Task<bool> sleeping = token.sleep(delay);
        const bool slept = co_await sleeping;
        // Only a new dictation cancels the wait, and it sets its own state:
        // going idle then would show a running dictation as idle.
        if (slept && self && self->m_dictation.dictationState() != DictationState::idle)
            self->m_dictation.setDictationState(DictationState::idle);
    });
    qCInfo(lcAppState, "[AppState] Dictation stopped, pasted: %s%s", boolText(pasted),
           m_dictation.leftOnClipboard() && produced ? " (the text is on the clipboard)" : "");
    Q_EMIT dictationFinished(finalText);
}

} // namespace Orvinta
