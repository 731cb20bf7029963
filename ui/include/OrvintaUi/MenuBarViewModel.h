#pragma once

#include <OrvintaUi/LanguageSelection.h>
#include <OrvintaUi/PanelParts.h>

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/AppState.h>
#include <OrvintaApp/KeyTable.h>
#include <OrvintaUpdates/UpdateNotice.h>

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <memory>

namespace Orvinta {

/// What the tray panel derives itself: the header's activity and status,
/// the microphone row, the error banner's button, the two-press Clear and
/// the copy confirmation. Everything else the panel reads from the
/// application's typed parts through `state`.
class MenuBarViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell creates the panel's view model")

    Q_PROPERTY(Orvinta::AppState *state READ state CONSTANT)
    Q_PROPERTY(Orvinta::LanguageSelection *languages READ languages CONSTANT)
    /// In place of the panel while the speech model is missing.
    Q_PROPERTY(Orvinta::SetupNotice *setup READ setup CONSTANT)
    Q_PROPERTY(bool showCopyConfirm READ showCopyConfirm NOTIFY showCopyConfirmChanged)
    Q_PROPERTY(bool showClearConfirm READ showClearConfirm NOTIFY showClearConfirmChanged)
    Q_PROPERTY(Activity activity READ activity NOTIFY activityChanged)
    Q_PROPERTY(Orvinta::PanelStatus *status READ status CONSTANT)
    /// The ring around the icon pulses: listening or dictating, motion not reduced.
    Q_PROPERTY(bool pulseActive READ pulseActive NOTIFY activityChanged)
    Q_PROPERTY(SourceRow sourceRow READ sourceRow NOTIFY sourceRowChanged)
    Q_PROPERTY(QString sourceDescription READ sourceDescription NOTIFY sourceRowChanged)
    Q_PROPERTY(bool startStopEnabled READ startStopEnabled NOTIFY startStopEnabledChanged)
    /// The label of the error banner's settings button; empty for none.
    Q_PROPERTY(QString errorSettingsText READ errorSettingsText NOTIFY errorSettingsTextChanged)
    Q_PROPERTY(QString holdKeyName READ holdKeyName WRITE setHoldKeyName NOTIFY holdKeyNameChanged)
    /// The start/stop shortcut while it is registered; empty otherwise.
    Q_PROPERTY(QString shortcutText READ shortcutText NOTIFY shortcutTextChanged)
    /// What the session keeps from the keyboard features; empty where they reach every app.
    Q_PROPERTY(QString sessionNote READ sessionNote CONSTANT)
    /// A newer version's mark; null without the update service.
    Q_PROPERTY(Orvinta::UpdateNotice *updateNotice READ updateNotice CONSTANT)

public:
    enum class Activity { Idle, Listening, Dictating };
    Q_ENUM(Activity)
    /// Which settings button an error banner offers.
    enum class ErrorSettings { none, sound, microphone };
    Q_ENUM(ErrorSettings)
    /// What stands under the source picker: nothing (system audio), the
    /// device picker, the button that asks for access, or the denial note.
    /// What stands under the source picker.
    enum class SourceRow { Hidden, DevicePicker, GrantButton, AccessDenied, ApplicationPicker };
    Q_ENUM(SourceRow)

    struct Options {
        /// The recogniser's model is missing: the panel explains the setup instead.
        bool setupRequired = false;
        /// Reads the start/stop shortcut; none leaves the footer hint empty.
        std::shared_ptr<HotkeyService> hotkeys;
        /// Under the footer: which keyboard features need a step in this
        /// session (DesktopCapabilities::sessionNote); empty where all work.
        QString sessionNote;
        std::chrono::milliseconds copyConfirmDuration{1500};
        UpdateNotice *updateNotice = nullptr;
        /// The Debian package of the recogniser's model.
        QString setupPackage = QStringLiteral("pocketsphinx-en-us");
    };

    explicit MenuBarViewModel(AppState &state, QObject *parent = nullptr);
    MenuBarViewModel(AppState &state, Options options, QObject *parent = nullptr);
    ~MenuBarViewModel() override;

    AppState *state() const { return &m_state; }
    LanguageSelection *languages() const { return m_languages.get(); }
    bool setupRequired() const { return m_setup->required(); }
    SetupNotice *setup() const { return m_setup.get(); }
    void setReducedMotion(bool reduced);
    bool showCopyConfirm() const { return m_showCopyConfirm; }
    bool showClearConfirm() const { return m_showClearConfirm; }
    Activity activity() const;
    /// The header's status: the recording time while listening.
    QString statusText() const;
    PanelStatus *status() const { return m_status.get(); }
    bool pulseActive() const;
    SourceRow sourceRow() const;
    QString sourceDescription() const;
    bool startStopEnabled() const;
    QString errorSettingsText() const;
    QString holdKeyName() const { return m_holdKeyName; }
    void setHoldKeyName(const QString &name);
    QString shortcutText() const { return m_shortcutText; }
    QString sessionNote() const;
    UpdateNotice *updateNotice() const { return m_options.updateNotice; }

    /// The panel became visible: the overlay is set up the first time, and
    /// the shortcut hint is read again (the settings may have changed it).
    Q_INVOKABLE void panelShown();
    /// The source and the device stay as they are while listening.
    Q_INVOKABLE void selectMicrophone(bool microphone);
    /// "systemAudio", "microphone" or "application".
    Q_INVOKABLE void selectSource(const QString &raw);
    Q_INVOKABLE void selectApplication(int row);
    Q_INVOKABLE void selectDevice(int row);
    Q_INVOKABLE void toggleListening();
    Q_INVOKABLE void copyAllWithFeedback();
    Q_INVOKABLE void requestClear();
    Q_INVOKABLE void confirmClear();
    Q_INVOKABLE void cancelClear();

Q_SIGNALS:
    void showCopyConfirmChanged();
    void showClearConfirmChanged();
    void activityChanged();
    void sourceRowChanged();
    void startStopEnabledChanged();
    void errorSettingsTextChanged();
    void holdKeyNameChanged();
    void shortcutTextChanged();
    /// "Quit" was pressed.
    void quitRequested();
    /// One of the sound-settings buttons was pressed.
    void soundSettingsRequested();
    /// "Setup Guide" was pressed.
    void setupGuideRequested();
    /// "What works here" was pressed: the settings' capabilities page.
    void capabilitiesRequested();

private:
    void setShowCopyConfirm(bool show);
    void setShowClearConfirm(bool show);
    void refreshShortcutText();
    void refreshStatus();

    AppState &m_state;
    Options m_options;
    std::unique_ptr<LanguageSelection> m_languages;
    bool m_reducedMotion = false;
    bool m_showCopyConfirm = false;
    bool m_showClearConfirm = false;
    QString m_holdKeyName = holdKeyDisplayName(defaultHoldKey);
    QString m_shortcutText;
    std::unique_ptr<PanelStatus> m_status = std::make_unique<PanelStatus>();
    std::unique_ptr<SetupNotice> m_setup;
    QTimer m_copyConfirmTimer;
};

/// Which settings button an error message calls for.
MenuBarViewModel::ErrorSettings errorSettingsFor(const QString &message);

} // namespace Orvinta
