#include <OrvintaUi/LanguageChoices.h>
#include <OrvintaUi/MenuBarViewModel.h>

#include <OrvintaApp/AppState.h>

#include <OrvintaEngine/LocaleData.h>

#include <QVariantMap>

#include <algorithm>

namespace Orvinta {

MenuBarViewModel::ErrorSettings errorSettingsFor(const QString &message) {
    // "screen" covers the capture errors of the reference platform; "System
    // audio" those of the sound server.
    if (message.contains(QLatin1String("Screen recording permission")) ||
        message.contains(QLatin1String("screen")) ||
        message.contains(QLatin1String("Screen & System Audio")) ||
        message.contains(QLatin1String("System audio")))
        return MenuBarViewModel::ErrorSettings::privacy;
    if (message.contains(QLatin1String("microphone")) ||
        message.contains(QLatin1String("Microphone")))
        return MenuBarViewModel::ErrorSettings::microphone;
    return MenuBarViewModel::ErrorSettings::none;
}

MenuBarViewModel::MenuBarViewModel(AppState &state, QObject *parent)
    : MenuBarViewModel(state, Options{}, parent) {}

MenuBarViewModel::MenuBarViewModel(AppState &state, Options options, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_options(std::move(options)) {
    ListeningController &listening = *state.listening();
    Preferences &preferences = *state.preferences();
    Dictation &dictation = *state.dictation();

    m_copyConfirmTimer.setSingleShot(true);
    m_copyConfirmTimer.setInterval(m_options.copyConfirmDuration);
    connect(&m_copyConfirmTimer, &QTimer::timeout, this, [this] { setShowCopyConfirm(false); });

    const auto activityMoved = [this] {
        Q_EMIT activityChanged();
        Q_EMIT statusTextChanged();
        Q_EMIT pulseActiveChanged();
        Q_EMIT listeningStateChanged();
    };
    connect(&listening, &ListeningController::isListeningChanged, this, activityMoved);
    connect(&dictation, &Dictation::isDictatingChanged, this, activityMoved);
    connect(&listening, &ListeningController::recordingElapsedChanged, this,
            &MenuBarViewModel::statusTextChanged);
    for (auto changed :
         {&ListeningController::isTransitioningChanged, &ListeningController::isModelLoadedChanged,
          &ListeningController::isModelLoadingChanged,
          &ListeningController::modelLoadingStatusChanged})
        connect(&listening, changed, this, &MenuBarViewModel::listeningStateChanged);
    connect(&listening, &ListeningController::errorMessageChanged, this,
            &MenuBarViewModel::errorMessageChanged);
    connect(&listening, &ListeningController::micPermissionChanged, this,
            &MenuBarViewModel::micAccessChanged);
    connect(&preferences, &Preferences::selectedSourceChanged, this,
            &MenuBarViewModel::micAccessChanged);

    connect(&preferences, &Preferences::selectedLocaleChanged, this, [this] {
        Q_EMIT languagesChanged();
        reloadEngine();
    });
    connect(&preferences, &Preferences::targetLanguageChanged, this,
            &MenuBarViewModel::languagesChanged);
    connect(&preferences, &Preferences::selectedSourceChanged, this, [this] {
        Q_EMIT sourceChanged();
        if (microphoneSelected() &&
            m_state.listening()->micPermission() == MicPermission::notDetermined)
            requestMicrophoneAccess();
    });
    connect(&preferences, &Preferences::showOverlayChanged, this,
            &MenuBarViewModel::overlayShownChanged);
    connect(&preferences, &Preferences::autoCopyToClipboardChanged, this,
            &MenuBarViewModel::autoCopyChanged);
    connect(&preferences, &Preferences::autoPasteAtCursorChanged, this,
            &MenuBarViewModel::autoPasteChanged);
    connect(&preferences, &Preferences::autoPasteSourceChanged, this,
            &MenuBarViewModel::pasteTranslationChanged);
    connect(&preferences, &Preferences::dictationModeEnabledChanged, this,
            &MenuBarViewModel::dictationModeEnabledChanged);

    AudioDeviceList *deviceList = state.audioDevices();
    connect(deviceList, &AudioDeviceList::selectedDeviceIDChanged, this,
            &MenuBarViewModel::deviceIndexChanged);
    connect(deviceList, &QAbstractItemModel::modelReset, this,
            &MenuBarViewModel::deviceIndexChanged);
    connect(deviceList, &QAbstractItemModel::rowsInserted, this,
            &MenuBarViewModel::deviceIndexChanged);
    connect(deviceList, &QAbstractItemModel::rowsRemoved, this,
            &MenuBarViewModel::deviceIndexChanged);

    refreshShortcutText();
}

MenuBarViewModel::~MenuBarViewModel() {
    cancelTask(m_reloadTask);
    cancelTask(m_permissionTask);
}

void MenuBarViewModel::setReducedMotion(bool reduced) {
    if (m_reducedMotion == reduced)
        return;
    m_reducedMotion = reduced;
    Q_EMIT reducedMotionChanged();
    Q_EMIT pulseActiveChanged();
}

void MenuBarViewModel::setShowCopyConfirm(bool show) {
    if (m_showCopyConfirm == show)
        return;
    m_showCopyConfirm = show;
    Q_EMIT showCopyConfirmChanged();
}

void MenuBarViewModel::setShowClearConfirm(bool show) {
    if (m_showClearConfirm == show)
        return;
    m_showClearConfirm = show;
    Q_EMIT showClearConfirmChanged();
}

// --- Header -------------------------------------------------------------------------

MenuBarViewModel::Activity MenuBarViewModel::activity() const {
    if (m_state.listening()->isListening())
        return Activity::listening;
    if (m_state.dictation()->isDictating())
        return Activity::dictating;
    return Activity::idle;
}

QString MenuBarViewModel::statusText() const {
    switch (activity()) {
    case Activity::listening:
        return m_state.listening()->formattedRecordingTime();
    case Activity::dictating:
        return QStringLiteral("Dictating");
    case Activity::idle:
        break;
    }
    return {};
}

bool MenuBarViewModel::pulseActive() const {
    return activity() != Activity::idle && !m_reducedMotion;
}

// --- Languages ----------------------------------------------------------------------

QVariantList MenuBarViewModel::sourceLanguages() const {
    return languageChoices(LocaleData::supportedLocales());
}

QVariantList MenuBarViewModel::targetLanguages() const {
    return languageChoices(LocaleData::translationTargets());
}

int MenuBarViewModel::sourceLanguageIndex() const {
    return languageIndex(LocaleData::supportedLocales(), m_state.preferences()->selectedLocale());
}

int MenuBarViewModel::targetLanguageIndex() const {
    return languageIndex(LocaleData::translationTargets(), m_state.preferences()->targetLanguage());
}

bool MenuBarViewModel::canSwapLanguages() const {
    const QString source = m_state.preferences()->selectedLocale();
    const QString target = m_state.preferences()->targetLanguage();
    return languageIndex(LocaleData::translationTargets(), source) >= 0 &&
           languageIndex(LocaleData::supportedLocales(), target) >= 0 && source != target;
}

bool MenuBarViewModel::sameLanguage() const {
    return m_state.preferences()->selectedLocale() == m_state.preferences()->targetLanguage();
}

void MenuBarViewModel::selectSourceLanguage(int index) {
    const auto &table = LocaleData::supportedLocales();
    if (index >= 0 && index < static_cast<int>(table.size()))
        m_state.preferences()->setSelectedLocale(QString::fromStdString(table[index].id));
}

void MenuBarViewModel::selectTargetLanguage(int index) {
    const auto &table = LocaleData::translationTargets();
    if (index >= 0 && index < static_cast<int>(table.size()))
        m_state.preferences()->setTargetLanguage(QString::fromStdString(table[index].id));
}

void MenuBarViewModel::swapLanguages() {
    if (!canSwapLanguages())
        return;
    Preferences &preferences = *m_state.preferences();
    const QString source = preferences.selectedLocale();
    preferences.setSelectedLocale(preferences.targetLanguage());
    preferences.setTargetLanguage(source);
}

void MenuBarViewModel::reloadEngine() {
    QPointer<AppState> state(&m_state);
    m_reloadTask = CancellableTask::start([state](CancellationToken) -> QCoro::Task<> {
        if (!state)
            co_return;
        QCoro::Task<> reloading = state->listening()->reloadEngine();
        co_await reloading;
    });
}

// --- Audio source -------------------------------------------------------------------

bool MenuBarViewModel::microphoneSelected() const {
    return m_state.preferences()->selectedSource() == AudioSourceType::microphone;
}

bool MenuBarViewModel::sourcePickerEnabled() const {
    return !m_state.listening()->isListening();
}

MenuBarViewModel::MicAccess MenuBarViewModel::micAccess() const {
    switch (m_state.listening()->micPermission()) {
    case MicPermission::authorized:
        return MicAccess::authorized;
    case MicPermission::notDetermined:
        return MicAccess::notDetermined;
    case MicPermission::denied:
    case MicPermission::restricted:
        break;
    }
    return MicAccess::denied;
}

bool MenuBarViewModel::showsDevicePicker() const {
    return microphoneSelected() && micAccess() == MicAccess::authorized;
}

bool MenuBarViewModel::showsGrantButton() const {
    return microphoneSelected() && micAccess() == MicAccess::notDetermined;
}

bool MenuBarViewModel::showsMicDenied() const {
    return microphoneSelected() && micAccess() == MicAccess::denied;
}

QString MenuBarViewModel::sourceDescription() const {
    return microphoneSelected() ? QStringLiteral("Captures audio from your microphone")
                                : QStringLiteral("Captures all audio playing on your computer");
}

AudioDeviceList *MenuBarViewModel::devices() const {
    return m_state.audioDevices();
}

int MenuBarViewModel::deviceIndex() const {
    const auto selected = m_state.audioDevices()->selectedDeviceID();
    if (!selected)
        return -1;
    const auto &list = m_state.audioDevices()->availableDevices();
    const auto found = std::find_if(list.begin(), list.end(),
                                    [&](const AudioDevice &d) { return d.id == *selected; });
    return found == list.end() ? -1 : static_cast<int>(found - list.begin());
}

void MenuBarViewModel::selectMicrophone(bool microphone) {
    if (!sourcePickerEnabled())
        return;
    m_state.preferences()->setSelectedSource(microphone ? AudioSourceType::microphone
                                                        : AudioSourceType::systemAudio);
}

void MenuBarViewModel::selectDevice(int index) {
    if (!sourcePickerEnabled())
        return;
    const auto &list = m_state.audioDevices()->availableDevices();
    if (index >= 0 && index < static_cast<int>(list.size()))
        m_state.audioDevices()->setSelectedDeviceID(list[index].id);
}

void MenuBarViewModel::requestMicrophoneAccess() {
    QPointer<AppState> state(&m_state);
    m_permissionTask = CancellableTask::start([state](CancellationToken) -> QCoro::Task<> {
        if (!state)
            co_return;
        QCoro::Task<> asking = state->listening()->requestMicPermission();
        co_await asking;
    });
}

// --- Controls -----------------------------------------------------------------------

bool MenuBarViewModel::modelLoading() const {
    return m_state.listening()->isModelLoading();
}

QString MenuBarViewModel::modelLoadingStatus() const {
    return m_state.listening()->modelLoadingStatus();
}

bool MenuBarViewModel::listening() const {
    return m_state.listening()->isListening();
}

bool MenuBarViewModel::startStopEnabled() const {
    const ListeningController &listening = *m_state.listening();
    return listening.isModelLoaded() && !listening.isTransitioning() &&
           !m_state.dictation()->isDictating();
}

void MenuBarViewModel::toggleListening() {
    if (startStopEnabled())
        m_state.listening()->toggleListening();
}

QString MenuBarViewModel::errorMessage() const {
    return m_state.listening()->errorMessageText();
}

MenuBarViewModel::ErrorSettings MenuBarViewModel::errorSettings() const {
    return errorMessage().isEmpty() ? ErrorSettings::none : errorSettingsFor(errorMessage());
}

QString MenuBarViewModel::errorSettingsText() const {
    switch (errorSettings()) {
    case ErrorSettings::privacy:
        return QStringLiteral("Open Privacy Settings");
    case ErrorSettings::microphone:
        return QStringLiteral("Open Microphone Settings");
    case ErrorSettings::none:
        break;
    }
    return {};
}

void MenuBarViewModel::openSoundSettings() {
    Q_EMIT soundSettingsRequested();
}

bool MenuBarViewModel::overlayShown() const {
    return m_state.preferences()->showOverlay();
}

void MenuBarViewModel::toggleOverlay() {
    m_state.toggleOverlay();
}

void MenuBarViewModel::copyAllWithFeedback() {
    m_state.transcript()->copyAllTranscript();
    setShowCopyConfirm(true);
    m_copyConfirmTimer.start();
}

void MenuBarViewModel::exportTranscript(ExportFormat format) {
    m_state.transcript()->exportTranscript(format);
}

void MenuBarViewModel::requestClear() {
    setShowClearConfirm(true);
}

void MenuBarViewModel::confirmClear() {
    if (!m_showClearConfirm)
        return;
    m_state.transcript()->clearAll();
    setShowClearConfirm(false);
}

void MenuBarViewModel::cancelClear() {
    setShowClearConfirm(false);
}

// --- Clipboard and dictation --------------------------------------------------------

bool MenuBarViewModel::autoCopy() const {
    return m_state.preferences()->autoCopyToClipboard();
}

void MenuBarViewModel::setAutoCopy(bool on) {
    m_state.preferences()->setAutoCopyToClipboard(on);
}

bool MenuBarViewModel::autoPaste() const {
    return m_state.preferences()->autoPasteAtCursor();
}

void MenuBarViewModel::setAutoPaste(bool on) {
    m_state.preferences()->setAutoPasteAtCursor(on);
}

bool MenuBarViewModel::pasteTranslation() const {
    return m_state.preferences()->autoPasteSource() == AutoPasteSource::translation;
}

void MenuBarViewModel::setPasteTranslation(bool translation) {
    m_state.preferences()->setAutoPasteSource(translation ? AutoPasteSource::translation
                                                          : AutoPasteSource::original);
}

bool MenuBarViewModel::dictationModeEnabled() const {
    return m_state.preferences()->dictationModeEnabled();
}

void MenuBarViewModel::setDictationModeEnabled(bool on) {
    m_state.preferences()->setDictationModeEnabled(on);
}

void MenuBarViewModel::setHoldKeyName(const QString &name) {
    if (m_holdKeyName == name)
        return;
    m_holdKeyName = name;
    Q_EMIT holdKeyNameChanged();
}

// --- Settings, footer, panel --------------------------------------------------------

void MenuBarViewModel::openSettings() {
    m_state.showSettings();
}

void MenuBarViewModel::quit() {
    Q_EMIT quitRequested();
}

void MenuBarViewModel::openSetupGuide() {
    Q_EMIT setupGuideRequested();
}

void MenuBarViewModel::refreshShortcutText() {
    QString text;
    if (m_options.hotkeys && m_options.hotkeys->isRegistered(HotkeyAction::toggleListening))
        text = m_options.hotkeys->combo(HotkeyAction::toggleListening).displayString();
    if (text == m_shortcutText)
        return;
    m_shortcutText = text;
    Q_EMIT shortcutTextChanged();
}

void MenuBarViewModel::panelShown() {
    refreshShortcutText();
    m_state.setupOverlay();
}

} // namespace Orvinta
