#include <OrvintaApp/AppState.h>

#include <OrvintaApp/AtomicFile.h>
#include <OrvintaApp/Clipboard.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaApp/SessionStore.h>
#include <OrvintaApp/TranscriptExport.h>

#include <OrvintaEngine/AudioDevices.h>

#include <QCoreApplication>
#include <QCoroFuture>
#include <QPointer>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

Q_LOGGING_CATEGORY(lcAppState, "com.orvinta.AppState")

namespace Orvinta {

namespace {

namespace Key {
const QString selectedLocale = QStringLiteral("app.selectedLocale");
const QString selectedSource = QStringLiteral("app.selectedSource");
const QString showOverlay = QStringLiteral("app.showOverlay");
const QString targetLanguage = QStringLiteral("app.targetLanguage");
const QString autoCopyToClipboard = QStringLiteral("app.autoCopyToClipboard");
const QString autoPasteAtCursor = QStringLiteral("app.autoPasteAtCursor");
const QString autoPasteSource = QStringLiteral("app.autoPasteSource");
const QString soundEnabled = QStringLiteral("app.soundEnabled");
const QString dictationModeEnabled = QStringLiteral("app.dictationModeEnabled");
} // namespace Key

constexpr qsizetype maxRestoredLines = 500;

const QString microphoneAccessRequired = QStringLiteral(
    "Microphone access required. Check that a microphone is connected and that Orvinta may "
    "record from it in your sound settings.");

// Assigns and reports whether observers need telling.
template <class T> bool assign(T &field, const T &value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

QString formatRecordingTime(double elapsedSeconds) {
    const auto s = static_cast<long long>(std::trunc(std::max(0.0, elapsedSeconds)));
    if (s < 3600)
        return QString::asprintf("%lld:%02lld", (s % 3600) / 60, s % 60);
    return QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
}

AppState::AppState(AppServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services)) {
    loadPreferences();
    restoreSession();
    installHotkeyActions();
    if (m_services.hotkeys)
        m_services.hotkeys->start();
    if (m_services.setUpDictation)
        m_services.setUpDictation(*this);
    // A translation that arrived just before quitting is saved, not lost.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AppState::flushPendingSave);
    QPointer<AppState> self(this);
    m_startupTask = CancellableTask::start([self](CancellationToken) -> QCoro::Task<> {
        if (!self)
            co_return;
        QCoro::Task<> devices = self->refreshAudioDevices();
        co_await devices;
        if (!self)
            co_return;
        if (self->m_services.speechAnalyzerAvailable)
            co_await self->prepareEngine();
    });
}

AppState::~AppState() {
    flushPendingSave();
    for (TaskHandle *task :
         {&m_toggleTask, &m_recordingTimer, &m_iconAnimationTask, &m_errorDismissTask,
          &m_debouncedSaveTask, &m_startupTask, &m_dictationReconcileTask})
        cancelTask(*task);
}

// --- Preferences -----------------------------------------------------------

void AppState::loadPreferences() {
    PreferencesStore *prefs = m_services.preferences.get();
    if (!prefs)
        return;
    prefs->registerDefaults({{Key::selectedLocale, QStringLiteral("en-US")},
                             {Key::selectedSource, QStringLiteral("systemAudio")},
                             {Key::showOverlay, true},
                             {Key::targetLanguage, QStringLiteral("en-US")},
                             {Key::autoCopyToClipboard, false},
                             {Key::autoPasteAtCursor, false},
                             {Key::autoPasteSource, QStringLiteral("original")},
                             {Key::soundEnabled, true},
                             {Key::dictationModeEnabled, false}});
    setSelectedLocale(prefs->stringValue(Key::selectedLocale).value_or(QStringLiteral("en-US")));
    if (auto raw = prefs->stringValue(Key::selectedSource))
        if (auto source = audioSourceTypeFromRaw(raw->toStdString()))
            setSelectedSource(*source);
    setShowOverlay(prefs->boolValue(Key::showOverlay));
    setTargetLanguage(prefs->stringValue(Key::targetLanguage).value_or(QStringLiteral("en-US")));
    setAutoCopyToClipboard(prefs->boolValue(Key::autoCopyToClipboard));
    setAutoPasteAtCursor(prefs->boolValue(Key::autoPasteAtCursor));
    if (auto raw = prefs->stringValue(Key::autoPasteSource))
        if (auto source = autoPasteSourceFromRaw(*raw))
            setAutoPasteSource(*source);
    setSoundEnabled(prefs->boolValue(Key::soundEnabled));
    setDictationModeEnabled(prefs->boolValue(Key::dictationModeEnabled));
}

template <class T, class Write>
void AppState::assignPersisted(T &field, const T &value, void (AppState::*changed)(), Write write) {
    const bool differs = assign(field, value);
    if (m_services.preferences)
        write(*m_services.preferences);
    if (differs)
        Q_EMIT(this->*changed)();
}

void AppState::setSelectedLocale(const QString &locale) {
    assignPersisted(m_selectedLocale, locale, &AppState::selectedLocaleChanged,
                    [&](PreferencesStore &p) { p.setString(Key::selectedLocale, locale); });
}

void AppState::setTargetLanguage(const QString &language) {
    assignPersisted(m_targetLanguage, language, &AppState::targetLanguageChanged,
                    [&](PreferencesStore &p) { p.setString(Key::targetLanguage, language); });
}

void AppState::setSelectedSource(AudioSourceType source) {
    assignPersisted(
        m_selectedSource, source, &AppState::selectedSourceChanged,
        [&](PreferencesStore &p) { p.setString(Key::selectedSource, selectedSourceRaw()); });
}

QString AppState::selectedSourceRaw() const {
    return QString::fromUtf8(rawValue(m_selectedSource));
}

void AppState::setSelectedSourceRaw(const QString &raw) {
    if (auto source = audioSourceTypeFromRaw(raw.toStdString()))
        setSelectedSource(*source);
}

void AppState::setAutoPasteSource(AutoPasteSource source) {
    assignPersisted(
        m_autoPasteSource, source, &AppState::autoPasteSourceChanged,
        [&](PreferencesStore &p) { p.setString(Key::autoPasteSource, rawValue(source)); });
}

void AppState::setShowOverlay(bool show) {
    assignPersisted(m_showOverlay, show, &AppState::showOverlayChanged,
                    [&](PreferencesStore &p) { p.setBool(Key::showOverlay, show); });
}

void AppState::setAutoCopyToClipboard(bool enabled) {
    assignPersisted(m_autoCopyToClipboard, enabled, &AppState::autoCopyToClipboardChanged,
                    [&](PreferencesStore &p) { p.setBool(Key::autoCopyToClipboard, enabled); });
}

void AppState::setAutoPasteAtCursor(bool enabled) {
    assignPersisted(m_autoPasteAtCursor, enabled, &AppState::autoPasteAtCursorChanged,
                    [&](PreferencesStore &p) { p.setBool(Key::autoPasteAtCursor, enabled); });
}

void AppState::setSoundEnabled(bool enabled) {
    assignPersisted(m_soundEnabled, enabled, &AppState::soundEnabledChanged,
                    [&](PreferencesStore &p) { p.setBool(Key::soundEnabled, enabled); });
}

void AppState::setDictationModeEnabled(bool enabled) {
    assignPersisted(m_dictationModeEnabled, enabled, &AppState::dictationModeEnabledChanged,
                    [&](PreferencesStore &p) { p.setBool(Key::dictationModeEnabled, enabled); });
    Q_EMIT dictationMonitorRequested(enabled);
}

bool AppState::launchAtLogin() const {
    return m_services.loginItems && m_services.loginItems->isEnabled();
}

void AppState::setLaunchAtLogin(bool enabled) {
    if (!m_services.loginItems)
        return;
    const QString error = m_services.loginItems->setEnabled(enabled);
    if (!error.isEmpty())
        qCCritical(lcAppState, "Launch at login toggle failed: %s", qUtf8Printable(error));
    Q_EMIT launchAtLoginChanged();
}

// --- Plain observable fields -----------------------------------------------

#define ORVINTA_PLAIN_SETTER(Setter, Type, field, signal)                                          \
    void AppState::Setter(Type value) {                                                            \
        if (assign(field, value))                                                                  \
            Q_EMIT signal();                                                                       \
    }

ORVINTA_PLAIN_SETTER(setIsListening, bool, m_isListening, isListeningChanged)
ORVINTA_PLAIN_SETTER(setIsTransitioning, bool, m_isTransitioning, isTransitioningChanged)
ORVINTA_PLAIN_SETTER(setIsDictating, bool, m_isDictating, isDictatingChanged)
ORVINTA_PLAIN_SETTER(setDictationBuffer, const QString &, m_dictationBuffer, dictationBufferChanged)
ORVINTA_PLAIN_SETTER(setDictationInterimText, const QString &, m_dictationInterimText,
                     dictationInterimTextChanged)
ORVINTA_PLAIN_SETTER(setDictationState, DictationState, m_dictationState, dictationStateChanged)
ORVINTA_PLAIN_SETTER(setWantsDictating, bool, m_wantsDictating, wantsDictatingChanged)
ORVINTA_PLAIN_SETTER(setMicPermission, MicPermission, m_micPermission, micPermissionChanged)
ORVINTA_PLAIN_SETTER(setIsModelLoading, bool, m_isModelLoading, isModelLoadingChanged)
ORVINTA_PLAIN_SETTER(setIsModelLoaded, bool, m_isModelLoaded, isModelLoadedChanged)
ORVINTA_PLAIN_SETTER(setModelLoadingStatus, const QString &, m_modelLoadingStatus,
                     modelLoadingStatusChanged)
ORVINTA_PLAIN_SETTER(setRecordingElapsed, double, m_recordingElapsed, recordingElapsedChanged)
ORVINTA_PLAIN_SETTER(setMenuBarIconFrame, int, m_menuBarIconFrame, menuBarIconFrameChanged)
ORVINTA_PLAIN_SETTER(setSelectedDeviceID, std::optional<std::uint32_t>, m_selectedDeviceID,
                     selectedDeviceIDChanged)
#undef ORVINTA_PLAIN_SETTER

void AppState::setInterimText(const QString &text) {
    if (assign(m_interimText, text))
        Q_EMIT interimTextChanged();
    if (m_isDictating)
        setDictationInterimText(text);
}

QVariant AppState::selectedDeviceIDVariant() const {
    return m_selectedDeviceID ? QVariant::fromValue(*m_selectedDeviceID) : QVariant();
}

void AppState::setSelectedDeviceIDVariant(const QVariant &id) {
    bool ok = false;
    const uint value = id.toUInt(&ok);
    setSelectedDeviceID(ok ? std::optional<std::uint32_t>(value) : std::nullopt);
}

QVariantList AppState::availableDevicesVariant() const {
    QVariantList list;
    for (const AudioDevice &device : m_availableDevices)
        list.append(QVariantMap{{QStringLiteral("id"), device.id},
                                {QStringLiteral("name"), QString::fromStdString(device.name)}});
    return list;
}

QVariantMap AppState::translationsVariant() const {
    QVariantMap map;
    for (auto it = m_translations.begin(); it != m_translations.end(); ++it)
        map.insert(it.key().toString(QUuid::WithoutBraces), it.value());
    return map;
}

QCoro::Task<> AppState::refreshAudioDevices() {
    std::shared_ptr<AudioCaptureBackend> audio = m_services.audio;
    if (!audio)
        co_return;
    QPointer<AppState> self(this);
    // Asking the sound server is a round trip; the main thread stays free.
    struct Listing {
        std::vector<AudioDevice> devices;
        std::optional<std::uint32_t> selected;
    };
    const std::optional<std::uint32_t> selectedBefore = m_selectedDeviceID;
    QFuture<Listing> query =
        QtConcurrent::run([audio, listing = Listing{m_availableDevices, selectedBefore}]() mutable {
            Orvinta::refreshAudioDevices(*audio, listing.devices, listing.selected);
            return listing;
        });
    const Listing listing = co_await query;
    if (!self)
        co_return;
    if (m_availableDevices != listing.devices) {
        m_availableDevices = listing.devices;
        Q_EMIT availableDevicesChanged();
    }
    // A device chosen while the server was being asked stays chosen.
    if (m_selectedDeviceID == selectedBefore)
        setSelectedDeviceID(listing.selected);
}

// --- Error banner ------------------------------------------------------------

void AppState::setErrorMessage(const std::optional<QString> &message) {
    cancelTask(m_errorDismissTask);
    if (assign(m_errorMessage, message))
        Q_EMIT errorMessageChanged();
    if (!message)
        return;
    QPointer<AppState> self(this);
    const auto delay = m_services.timings.errorBanner;
    m_errorDismissTask =
        CancellableTask::start([self, delay](CancellationToken token) -> QCoro::Task<> {
            const bool slept = co_await token.sleep(delay);
            if (!slept || !self)
                co_return;
            self->m_errorDismissTask.reset();
            if (assign(self->m_errorMessage, std::optional<QString>()))
                Q_EMIT self->errorMessageChanged();
        });
}

void AppState::captureDidFail(const QString &description) {
    setErrorMessage(description);
}

// --- Transcript ----------------------------------------------------------------

void AppState::addConfirmedLine(const QString &text) {
    // QString::trimmed covers the Unicode white-space and line-break characters.
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        qCDebug(lcAppState) << "addConfirmedLine: empty after trim, ignored";
        return;
    }
    if (m_isDictating) {
        QString buffer = m_dictationBuffer;
        if (!buffer.isEmpty())
            buffer += QLatin1Char(' ');
        setDictationBuffer(buffer + trimmed);
        setDictationInterimText(QString());
        setInterimText(QString());
        qCInfo(lcAppState, "dictation buffer: \"%s\"", qUtf8Printable(m_dictationBuffer));
        return;
    }

    const QString previousInterim = m_interimText;
    m_confirmedLines.append(ConfirmedLine::create(trimmed, currentTimestamp()));
    Q_EMIT confirmedLinesChanged();
    setInterimText(QString());
    qCInfo(lcAppState, "addConfirmedLine: \"%s\" (total=%ld)", qUtf8Printable(trimmed),
           static_cast<long>(m_confirmedLines.size()));
    qCDebug(lcAppState, "interimText cleared (was: \"%s\")", qUtf8Printable(previousInterim));

    if (m_autoPasteAtCursor && m_autoPasteSource == AutoPasteSource::original) {
        if (m_services.paster)
            m_services.paster->pasteTextAtCursor(trimmed);
        saveSession();
        return;
    }
    if (m_autoCopyToClipboard)
        copyToClipboard(trimmed);
    saveSession();
}

void AppState::deleteLine(QUuid id) {
    const auto removed =
        m_confirmedLines.removeIf([&](const ConfirmedLine &line) { return line.id == id; });
    if (removed > 0)
        Q_EMIT confirmedLinesChanged();
    if (m_translations.remove(id) > 0)
        Q_EMIT translationsChanged();
    saveSession();
}

void AppState::clearAll() {
    setInterimText(QString());
    if (!m_confirmedLines.isEmpty()) {
        m_confirmedLines.clear();
        Q_EMIT confirmedLinesChanged();
    }
    if (!m_translations.isEmpty()) {
        m_translations.clear();
        Q_EMIT translationsChanged();
    }
    saveSession();
}

int AppState::totalWordCount() const {
    int total = 0;
    for (const ConfirmedLine &line : m_confirmedLines) {
        bool inWord = false;
        for (const QChar c : line.text) {
            const bool space = c.isSpace();
            if (!space && !inWord)
                ++total;
            inWord = !space;
        }
    }
    return total;
}

void AppState::setTranslation(const QString &text, const QUuid &id, bool /*animated*/) {
    const bool isNew = !m_translations.contains(id);
    m_translations.insert(id, text);
    Q_EMIT translationsChanged();
    if (isNew && m_autoPasteAtCursor && m_autoPasteSource == AutoPasteSource::translation &&
        m_services.paster)
        m_services.paster->pasteTextAtCursor(text);
    scheduleDebouncedSave();
}

void AppState::copyToClipboard(const QString &text) {
    if (!m_services.clipboard)
        return;
    m_services.clipboard->clear();
    m_services.clipboard->writeText(text);
}

void AppState::copyAllTranscript() {
    if (m_confirmedLines.isEmpty())
        return;
    QStringList texts;
    for (const ConfirmedLine &line : m_confirmedLines)
        texts << line.text;
    copyToClipboard(texts.join(QLatin1Char('\n')));
}

// --- Session -----------------------------------------------------------------

void AppState::saveSession() {
    if (!m_services.session)
        return;
    SessionData data{m_confirmedLines, {}, m_targetLanguage};
    for (auto it = m_translations.begin(); it != m_translations.end(); ++it)
        data.translations.insert(it.key().toString(QUuid::WithoutBraces).toUpper(), it.value());
    m_services.session->save(data);
}

void AppState::scheduleDebouncedSave() {
    cancelTask(m_debouncedSaveTask);
    QPointer<AppState> self(this);
    const auto delay = m_services.timings.sessionSaveDebounce;
    m_debouncedSaveTask =
        CancellableTask::start([self, delay](CancellationToken token) -> QCoro::Task<> {
            const bool slept = co_await token.sleep(delay);
            if (!slept || !self)
                co_return;
            self->m_debouncedSaveTask.reset();
            self->saveSession();
        });
}

void AppState::flushPendingSave() {
    if (!m_debouncedSaveTask)
        return;
    cancelTask(m_debouncedSaveTask);
    saveSession();
}

void AppState::restoreSession() {
    if (!m_services.session)
        return;
    std::optional<SessionData> data;
    try {
        data = m_services.session->read();
    } catch (const SessionFormatError &error) {
        qCCritical(lcAppState, "Failed to restore session: %s", error.what());
        return;
    }
    if (!data)
        return;
    QList<ConfirmedLine> lines = std::move(data->lines);
    if (lines.size() > maxRestoredLines) {
        qCInfo(lcAppState, "Session truncated from %ld to 500 lines",
               static_cast<long>(lines.size()));
        lines = lines.mid(lines.size() - maxRestoredLines);
    }
    m_confirmedLines = std::move(lines);
    Q_EMIT confirmedLinesChanged();
    if (data->targetLanguage == m_targetLanguage) {
        m_translations = data->uuidTranslations();
        Q_EMIT translationsChanged();
        qCInfo(lcAppState, "Restored %ld translations", static_cast<long>(m_translations.size()));
    } else {
        qCInfo(lcAppState, "Target language changed (%s → %s), skipping translation restore",
               qUtf8Printable(data->targetLanguage), qUtf8Printable(m_targetLanguage));
    }
    qCInfo(lcAppState, "Restored %ld lines from previous session",
           static_cast<long>(m_confirmedLines.size()));
}

// --- Export ------------------------------------------------------------------

void AppState::exportTranscript(ExportFormat format) {
    if (m_confirmedLines.isEmpty() || !m_services.saveDialog)
        return;
    const QString content = exportContent(m_confirmedLines, format);
    QPointer<AppState> self(this);
    m_services.saveDialog->askForLocation(
        suggestedExportFileName(format), format, [self, content](std::optional<QString> path) {
            if (!path)
                return;
            if (const std::optional<QString> error = writeFileAtomically(*path, content.toUtf8())) {
                qCCritical(lcAppState, "Export failed: %s", qUtf8Printable(*error));
                if (self)
                    self->setErrorMessage(QStringLiteral("Export failed: ") + *error);
            }
        });
}

// --- Listening lifecycle -------------------------------------------------------

void AppState::installHotkeyActions() {
    if (!m_services.hotkeys)
        return;
    QPointer<AppState> self(this);
    HotkeyActions actions;
    if (m_services.speechAnalyzerAvailable)
        actions.toggleListening = [self] {
            if (self)
                self->toggleListening();
        };
    actions.toggleAutoCopy = [self] {
        if (self)
            self->setAutoCopyToClipboard(!self->m_autoCopyToClipboard);
    };
    actions.toggleAutoPaste = [self] {
        if (self)
            self->setAutoPasteAtCursor(!self->m_autoPasteAtCursor);
    };
    actions.toggleOverlay = [self] {
        if (self)
            self->toggleOverlay();
    };
    m_services.hotkeys->setActions(std::move(actions));
}

void AppState::toggleListening() {
    cancelTask(m_toggleTask);
    QPointer<AppState> self(this);
    m_toggleTask = CancellableTask::start([self](CancellationToken token) -> QCoro::Task<> {
        if (!self)
            co_return;
        QCoro::Task<> action = self->m_isListening ? self->stopListeningAction(token)
                                                   : self->startListeningAction(token);
        co_await action;
    });
}

QCoro::Task<> AppState::toggleFinished() const {
    if (auto task = m_toggleTask)
        co_await task->finished();
}

QCoro::Task<> AppState::startupFinished() const {
    if (auto task = m_startupTask)
        co_await task->finished();
}

QCoro::Task<> AppState::startListeningAction(CancellationToken token) {
    if (m_isTransitioning || m_isDictating || token.isCancelled())
        co_return;
    QPointer<AppState> self(this);
    setIsTransitioning(true);
    qCInfo(lcAppState, "[AppState] startListening: source=%s", qUtf8Printable(selectedSourceRaw()));
    setErrorMessage(std::nullopt);

    if (m_selectedSource == AudioSourceType::microphone) {
        if (m_micPermission == MicPermission::notDetermined)
            co_await requestMicPermission();
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
    if (!m_isModelLoaded)
        co_await prepareEngine();
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
    try {
        co_await m_transcriptionEngine->startTranscribing(m_selectedSource, m_selectedDeviceID);
    } catch (const std::exception &error) {
        failure = QString::fromStdString(describe(error));
    }
    if (!self)
        co_return;
    if (failure) {
        qCCritical(lcAppState, "[AppState] Failed: %s", qUtf8Printable(*failure));
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

QCoro::Task<> AppState::stopListeningAction(CancellationToken token) {
    if (m_isTransitioning || token.isCancelled())
        co_return;
    QPointer<AppState> self(this);
    setIsTransitioning(true);
    qCInfo(lcAppState) << "[AppState] stopListening";
    if (m_transcriptionEngine)
        co_await m_transcriptionEngine->stopTranscribing();
    if (!self)
        co_return;
    setIsListening(false);
    stopRecordingClock();
    stopIconAnimation();
    playSound(SoundPlayer::Sound::stop);
    setIsTransitioning(false);
}

QCoro::Task<> AppState::prepareEngine() {
    if (m_isModelLoaded || m_isModelLoading || !m_services.makeEngine)
        co_return;
    QPointer<AppState> self(this);
    m_transcriptionEngine = m_services.makeEngine(this);
    std::optional<QString> failure;
    try {
        QCoro::Task<> loading = m_transcriptionEngine->loadModel(m_selectedLocale);
        co_await loading;
    } catch (const std::exception &error) {
        failure = QString::fromStdString(describe(error));
    }
    if (self && failure)
        setErrorMessage(*failure);
}

QCoro::Task<> AppState::reloadEngine() {
    cancelTask(m_toggleTask);
    QPointer<AppState> self(this);
    if (m_isListening) {
        if (m_transcriptionEngine)
            co_await m_transcriptionEngine->stopTranscribing();
        if (!self)
            co_return;
        setIsListening(false);
        stopRecordingClock();
    }
    setIsTransitioning(false);
    setIsModelLoaded(false);
    m_transcriptionEngine.reset();
    co_await prepareEngine();
}

QCoro::Task<> AppState::requestMicPermission() {
    QPointer<AppState> self(this);
    std::shared_ptr<AudioCaptureBackend> audio = m_services.audio;
    if (!audio) {
        setMicPermission(MicPermission::denied);
        co_return;
    }
    // The probe talks to the sound server, so it runs off the main thread.
    // A server that cannot be asked at all says nothing about permission:
    // the status stays undetermined and the reason is kept for the banner.
    struct ProbeResult {
        std::optional<MicPermission> permission;
        QString failure;
    };
    QFuture<ProbeResult> probe = QtConcurrent::run([audio]() -> ProbeResult {
        try {
            return {audio->requestMicrophoneAccess() == MicrophoneAccess::granted
                        ? MicPermission::authorized
                        : MicPermission::denied,
                    {}};
        } catch (const std::exception &error) {
            return {std::nullopt, QString::fromStdString(describe(error))};
        }
    });
    const ProbeResult result = co_await probe;
    if (!self)
        co_return;
    if (result.permission) {
        m_micProbeFailure.reset();
        setMicPermission(*result.permission);
    } else {
        qCWarning(lcAppState, "Microphone probe failed: %s", qUtf8Printable(result.failure));
        m_micProbeFailure = result.failure;
    }
}

void AppState::startRecordingClock() {
    cancelTask(m_recordingTimer);
    QPointer<AppState> self(this);
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

void AppState::stopRecordingClock() {
    cancelTask(m_recordingTimer);
    m_recordingStartTime.reset();
    setRecordingElapsed(0);
}

QString AppState::formattedRecordingTime() const {
    return formatRecordingTime(m_recordingElapsed);
}

void AppState::restartIconAnimation() {
    stopIconAnimation();
    QPointer<AppState> self(this);
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

void AppState::stopIconAnimation() {
    cancelTask(m_iconAnimationTask);
    setMenuBarIconFrame(0);
}

void AppState::playSound(SoundPlayer::Sound sound) {
    if (m_soundEnabled && m_services.sounds)
        m_services.sounds->play(sound);
}

// --- Windows -------------------------------------------------------------------

void AppState::showOverlayPanel() {
    if (!m_overlayController)
        return;
    if (!m_overlayController->hasPanel() && !m_overlayController->ensurePanel())
        return;
    m_overlayController->showPanel();
}

void AppState::toggleOverlay() {
    setShowOverlay(!m_showOverlay);
    if (m_showOverlay)
        showOverlayPanel();
    else if (m_overlayController && m_overlayController->hasPanel())
        m_overlayController->hidePanel();
}

void AppState::setupOverlay() {
    if (m_overlayController || !m_services.makeOverlayController)
        return;
    m_overlayController = m_services.makeOverlayController(*this);
    if (m_showOverlay)
        showOverlayPanel();
}

void AppState::showSettings() {
    if (!m_settingsController && m_services.makeSettingsController)
        m_settingsController = m_services.makeSettingsController(*this);
    if (m_settingsController)
        m_settingsController->showWindow();
}

} // namespace Orvinta
