#include <OrvintaApp/AppState.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/Clipboard.h>

namespace Orvinta {

AppState::AppState(AppServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    // The parts are members, and children too, so that QML sees one object
    // tree owned by C++; each leaves its parent before the parent goes.
    , m_preferences(m_services.preferences, m_services.loginItems, this)
    , m_transcript(m_services.clipboard, m_services.saveDialog, this)
    , m_audioDevices(m_services.audio, m_services.soundServer, this)
    , m_applications(m_services.audio, m_services.soundServer, m_preferences, this)
    , m_dictation(this)
    , m_listening(m_services, m_preferences, m_audioDevices, m_dictation, *this, this)
    , m_dictationController(
          m_dictation, m_listening, m_preferences, m_transcript, m_audioDevices,
          [this](const QString &text) { return pasteAtCursor(text); },
          m_services.timings.dictationIdle, this)
    , m_sessionSaver(m_services.session, m_transcript, m_preferences,
                     m_services.timings.sessionSaveDebounce, this) {
    connect(&m_preferences, &Preferences::dictationModeAssigned, &m_dictationController,
            &DictationController::dictationMonitorRequested);
    const auto showBanner = [this](const QString &description) {
        m_listening.setErrorMessage(description);
    };
    connect(&m_transcript, &Transcript::exportFailed, &m_listening, showBanner);
    connect(&m_sessionSaver, &SessionSaver::saveFailed, &m_listening, showBanner);

    m_preferences.load();
    m_listening.followPreferences();
    // The list of applications follows the sound server while it can be chosen from.
    const auto watchApplications = [this] {
        m_applications.setWatching(m_preferences.selectedSource() == AudioSourceType::application);
    };
    connect(&m_preferences, &Preferences::selectedSourceChanged, this, watchApplications);
    watchApplications();
    m_sessionSaver.restore();
    installHotkeyActions();
    if (m_services.hotkeys)
        m_services.hotkeys->start();
    if (m_services.setUpDictation)
        m_services.setUpDictation(m_dictationController);
    m_dictationController.setupDictation();

    QPointer<AppState> self(this);
    m_startupTask = CancellableTask::start([self](CancellationToken) -> QCoro::Task<> {
        if (!self)
            co_return;
        QCoro::Task<> devices = self->m_audioDevices.refresh();
        co_await devices;
        if (self)
            self->m_audioDevices.followChanges();
        if (self && self->m_services.speechAnalyzerAvailable) {
            QCoro::Task<> preparing = self->m_listening.prepareEngine();
            co_await preparing;
        }
    });
}

AppState::~AppState() {
    cancelTask(m_startupTask);
}

QCoro::Task<> AppState::startupFinished() const {
    if (auto task = m_startupTask) {
        QCoro::Task<> ended = task->finished();
        co_await ended;
    }
}

// --- Recognised text ------------------------------------------------------------

void AppState::setInterimText(const QString &text) {
    m_transcript.setInterimText(text);
    if (m_dictation.isDictating())
        m_dictation.setDictationInterimText(text);
}

void AppState::addConfirmedLine(const QString &text, const QString &speaker) {
    // QString::trimmed covers the Unicode white-space and line-break characters.
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        qCDebug(lcAppState) << "addConfirmedLine: empty after trim, ignored";
        return;
    }
    if (m_dictation.isDictating()) {
        m_dictationController.collect(trimmed);
        m_transcript.setInterimText(QString());
        return;
    }

    const QString previousInterim = m_transcript.interimText();
    m_transcript.append(trimmed, speaker);
    qCInfo(lcTranscriptText, "addConfirmedLine: \"%s\" (total=%ld)", qUtf8Printable(trimmed),
           static_cast<long>(m_transcript.lineCount()));
    qCDebug(lcTranscriptText, "interimText cleared (was: \"%s\")", qUtf8Printable(previousInterim));
    qCInfo(lcAppState, "addConfirmedLine (total=%ld)", static_cast<long>(m_transcript.lineCount()));

    if (m_preferences.autoPasteAtCursor() &&
        m_preferences.autoPasteSource() == AutoPasteSource::original) {
        pasteAtCursor(trimmed);
        return;
    }
    if (m_preferences.autoCopyToClipboard())
        copyToClipboard(m_services.clipboard.get(), trimmed);
}

void AppState::setTranslation(const QString &text, const QUuid &id) {
    const bool isNew = m_transcript.setTranslation(text, id);
    if (isNew && m_preferences.autoPasteAtCursor() &&
        m_preferences.autoPasteSource() == AutoPasteSource::translation)
        pasteAtCursor(text);
}

PasteResult AppState::pasteAtCursor(const QString &text) {
    if (m_services.paster) {
        // Tried even without a keystroke back end: the text then waits on the clipboard.
        PasteResult result = m_services.paster->pasteTextAtCursor(text);
        if (result.pasted() || result.onClipboard)
            return result;
        if (m_services.paster->isAvailable()) {
            m_listening.setErrorMessage(
                QStringLiteral("Could not paste: %1; the text is in the transcript")
                    .arg(result.failure));
            return result;
        }
    }
    // The paster that cannot paste has said why in its own log.
    qCCritical(lcAppState) << "Auto-paste: paste at the cursor needs a keyboard back end";
    const bool copied = m_preferences.autoCopyToClipboard() && m_services.clipboard;
    if (copied)
        copyToClipboard(m_services.clipboard.get(), text);
    return {QStringLiteral("paste at the cursor needs a keyboard back end"), copied};
}

// --- Shortcuts and windows --------------------------------------------------------

const std::function<void()> &HotkeyActions::forAction(HotkeyAction action) const {
    switch (action) {
    case HotkeyAction::toggleListening:
        return toggleListening;
    case HotkeyAction::toggleAutoCopy:
        return toggleAutoCopy;
    case HotkeyAction::toggleAutoPaste:
        return toggleAutoPaste;
    case HotkeyAction::toggleOverlay:
        return toggleOverlay;
    case HotkeyAction::focusCaptions:
        break;
    }
    return focusCaptions;
}

HotkeyActions AppState::shortcutActions() {
    QPointer<AppState> self(this);
    HotkeyActions actions;
    if (m_services.speechAnalyzerAvailable)
        actions.toggleListening = [self] {
            if (self)
                self->m_listening.toggleListening();
        };
    actions.toggleAutoCopy = [self] {
        if (self)
            self->m_preferences.setAutoCopyToClipboard(!self->m_preferences.autoCopyToClipboard());
    };
    actions.toggleAutoPaste = [self] {
        if (self)
            self->m_preferences.setAutoPasteAtCursor(!self->m_preferences.autoPasteAtCursor());
    };
    actions.toggleOverlay = [self] {
        if (self)
            self->toggleOverlay();
    };
    actions.focusCaptions = [self] {
        if (self)
            self->focusCaptions();
    };
    return actions;
}

void AppState::installHotkeyActions() {
    if (!m_services.hotkeys)
        return;
    QPointer<AppState> self(this);
    m_services.hotkeys->setActions(shortcutActions());
    m_services.hotkeys->setFailureHandler([self](HotkeyAction action, const QString &reason) {
        if (self)
            Q_EMIT self->hotkeyRegistrationFailed(action, reason);
    });
}

void AppState::toggleOverlay() {
    // Before the panel first opened no overlay is on screen, so the
    // shortcut shows it: it is set up now rather than only flipping the flag.
    if (!m_overlaySetUp) {
        m_preferences.setShowOverlay(true);
        setupOverlay();
        return;
    }
    m_preferences.setShowOverlay(!m_preferences.showOverlay());
    Q_EMIT overlayVisibilityRequested(m_preferences.showOverlay());
}

void AppState::focusCaptions() {
    if (!m_overlaySetUp || !m_preferences.showOverlay())
        toggleOverlay();
    Q_EMIT captionsFocusRequested();
}

void AppState::setupOverlay() {
    if (m_overlaySetUp)
        return;
    m_overlaySetUp = true;
    Q_EMIT overlaySetupRequested();
    if (m_preferences.showOverlay())
        Q_EMIT overlayVisibilityRequested(true);
}

void AppState::showSettings() {
    Q_EMIT settingsRequested();
}

} // namespace Orvinta
