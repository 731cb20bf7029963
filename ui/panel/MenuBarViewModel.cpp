#include <OrvintaUi/LanguageSelection.h>
#include <OrvintaUi/MenuBarViewModel.h>

#include <OrvintaApp/AppState.h>

#include <algorithm>

namespace Orvinta {

MenuBarViewModel::ErrorSettings errorSettingsFor(const QString &message) {
    // "screen" covers the capture errors of the reference platform; "System
    // audio" those of the sound server.
    if (message.contains(QLatin1String("Screen recording permission")) ||
        message.contains(QLatin1String("screen")) ||
        message.contains(QLatin1String("Screen & System Audio")) ||
        message.contains(QLatin1String("System audio")))
        return MenuBarViewModel::ErrorSettings::sound;
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
    , m_options(std::move(options))
    , m_languages(std::make_unique<LanguageSelection>(*state.preferences()))
    , m_setup(std::make_unique<SetupNotice>(
          m_options.setupRequired, m_options.setupPackage, m_options.copyConfirmDuration,
          [&state](const QString &text) { state.transcript()->copyText(text); })) {
    ListeningController &listening = *state.listening();
    Preferences &preferences = *state.preferences();
    Dictation &dictation = *state.dictation();

    m_copyConfirmTimer.setSingleShot(true);
    m_copyConfirmTimer.setInterval(m_options.copyConfirmDuration);
    connect(&m_copyConfirmTimer, &QTimer::timeout, this, [this] { setShowCopyConfirm(false); });

    const auto activityMoved = [this] {
        Q_EMIT activityChanged();
        Q_EMIT startStopEnabledChanged();
        refreshStatus();
    };
    connect(&listening, &ListeningController::isListeningChanged, this, activityMoved);
    for (auto changed : {&Dictation::isDictatingChanged, &Dictation::isTentativeChanged})
        connect(&dictation, changed, this, activityMoved);
    connect(&listening, &ListeningController::recordingElapsedChanged, this,
            &MenuBarViewModel::refreshStatus);
    for (auto changed :
         {&ListeningController::isTransitioningChanged, &ListeningController::isModelLoadedChanged})
        connect(&listening, changed, this, &MenuBarViewModel::startStopEnabledChanged);
    connect(&listening, &ListeningController::errorMessageChanged, this,
            &MenuBarViewModel::errorSettingsTextChanged);
    connect(&listening, &ListeningController::micPermissionChanged, this,
            &MenuBarViewModel::sourceRowChanged);
    connect(&preferences, &Preferences::selectedSourceChanged, this,
            &MenuBarViewModel::sourceRowChanged);

    refreshShortcutText();
    refreshStatus();
}

MenuBarViewModel::~MenuBarViewModel() = default;

void MenuBarViewModel::setReducedMotion(bool reduced) {
    if (m_reducedMotion == reduced)
        return;
    m_reducedMotion = reduced;
    Q_EMIT activityChanged();
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
        return Activity::Listening;
    if (m_state.dictation()->isShown())
        return Activity::Dictating;
    return Activity::Idle;
}

QString MenuBarViewModel::statusText() const {
    switch (activity()) {
    case Activity::Listening:
        return m_state.listening()->formattedRecordingTime();
    case Activity::Dictating:
        return QStringLiteral("Dictating");
    case Activity::Idle:
        break;
    }
    return {};
}

void MenuBarViewModel::refreshStatus() {
    QString spoken;
    switch (activity()) {
    case Activity::Listening: {
        const auto minutes =
            static_cast<long long>(std::max(0.0, m_state.listening()->recordingElapsed()) / 60);
        spoken = minutes == 0 ? QStringLiteral("Listening")
                              : QStringLiteral("Listening, %1 minute%2")
                                    .arg(minutes)
                                    .arg(minutes == 1 ? QString() : QStringLiteral("s"));
        break;
    }
    case Activity::Dictating:
        spoken = QStringLiteral("Dictating");
        break;
    case Activity::Idle:
        spoken = QStringLiteral("Idle");
        break;
    }
    m_status->set(statusText(), spoken);
}

bool MenuBarViewModel::pulseActive() const {
    return activity() != Activity::Idle && !m_reducedMotion;
}

// --- Audio source -------------------------------------------------------------------

MenuBarViewModel::SourceRow MenuBarViewModel::sourceRow() const {
    switch (m_state.preferences()->selectedSource()) {
    case AudioSourceType::systemAudio:
        return SourceRow::Hidden;
    case AudioSourceType::application:
        return SourceRow::ApplicationPicker;
    case AudioSourceType::microphone:
    case AudioSourceType::both:
        break;
    }
    switch (m_state.listening()->micPermission()) {
    case MicPermission::authorized:
        return SourceRow::DevicePicker;
    case MicPermission::notDetermined:
        return SourceRow::GrantButton;
    case MicPermission::denied:
    case MicPermission::restricted:
        break;
    }
    return SourceRow::AccessDenied;
}

QString MenuBarViewModel::sourceDescription() const {
    switch (m_state.preferences()->selectedSource()) {
    case AudioSourceType::microphone:
        return QStringLiteral("Captures audio from your microphone");
    case AudioSourceType::application:
        return QStringLiteral("Captures only the sound of the chosen application");
    case AudioSourceType::both:
        return QStringLiteral("Captures your microphone as \"Me\" and your computer's sound as "
                              "\"Others\"");
    case AudioSourceType::systemAudio:
        break;
    }
    return QStringLiteral("Captures all audio playing on your computer");
}

void MenuBarViewModel::selectMicrophone(bool microphone) {
    selectSource(microphone ? QStringLiteral("microphone") : QStringLiteral("systemAudio"));
}

void MenuBarViewModel::selectSource(const QString &raw) {
    if (!m_state.listening()->isListening())
        m_state.preferences()->setSelectedSourceRaw(raw);
}

void MenuBarViewModel::selectApplication(int row) {
    if (!m_state.listening()->isListening())
        m_state.applications()->selectIndex(row);
}

void MenuBarViewModel::selectDevice(int row) {
    if (!m_state.listening()->isListening())
        m_state.audioDevices()->selectIndex(row);
}

// --- Controls -----------------------------------------------------------------------

bool MenuBarViewModel::startStopEnabled() const {
    const ListeningController &listening = *m_state.listening();
    return listening.isModelLoaded() && !listening.isTransitioning() &&
           !m_state.dictation()->isDictating();
}

void MenuBarViewModel::toggleListening() {
    if (startStopEnabled())
        m_state.listening()->toggleListening();
}

QString MenuBarViewModel::errorSettingsText() const {
    switch (errorSettingsFor(m_state.listening()->errorMessageText())) {
    case ErrorSettings::sound:
        return QStringLiteral("Open Sound Settings");
    case ErrorSettings::microphone:
        return QStringLiteral("Open Microphone Settings");
    case ErrorSettings::none:
        break;
    }
    return {};
}

void MenuBarViewModel::copyAllWithFeedback() {
    m_state.transcript()->copyAllTranscript();
    setShowCopyConfirm(true);
    m_copyConfirmTimer.start();
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

void MenuBarViewModel::setHoldKeyName(const QString &name) {
    if (m_holdKeyName == name)
        return;
    m_holdKeyName = name;
    Q_EMIT holdKeyNameChanged();
}

// --- Footer, panel ------------------------------------------------------------------

void MenuBarViewModel::refreshShortcutText() {
    QString text;
    if (m_options.hotkeys && m_options.hotkeys->isRegistered(HotkeyAction::toggleListening))
        text = m_options.hotkeys->combo(HotkeyAction::toggleListening).displayString();
    if (text == m_shortcutText)
        return;
    m_shortcutText = text;
    Q_EMIT shortcutTextChanged();
}

QString MenuBarViewModel::sessionNote() const {
    return m_options.sessionNote;
}

void MenuBarViewModel::panelShown() {
    refreshShortcutText();
    m_state.setupOverlay();
}

} // namespace Orvinta
