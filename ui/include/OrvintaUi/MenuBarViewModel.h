#pragma once

#include <OrvintaApp/AppEnums.h>
#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/AudioDeviceList.h>
#include <OrvintaApp/CancellableTask.h>
#include <OrvintaApp/KeyTable.h>

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <memory>

namespace Orvinta {

class AppState;

/// The tray panel's state and actions: what each section shows, which
/// controls are enabled, and which AppState operation each control calls.
class MenuBarViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell creates the panel's view model")

    // Panel-wide
    Q_PROPERTY(bool setupRequired READ setupRequired CONSTANT)
    Q_PROPERTY(
        bool reducedMotion READ reducedMotion WRITE setReducedMotion NOTIFY reducedMotionChanged)
    Q_PROPERTY(bool showCopyConfirm READ showCopyConfirm NOTIFY showCopyConfirmChanged)
    Q_PROPERTY(bool showClearConfirm READ showClearConfirm NOTIFY showClearConfirmChanged)

    // Header
    Q_PROPERTY(Activity activity READ activity NOTIFY activityChanged)
    Q_PROPERTY(bool dictating READ dictating NOTIFY activityChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(bool pulseActive READ pulseActive NOTIFY pulseActiveChanged)

    // Languages
    Q_PROPERTY(QVariantList sourceLanguages READ sourceLanguages CONSTANT)
    Q_PROPERTY(QVariantList targetLanguages READ targetLanguages CONSTANT)
    Q_PROPERTY(int sourceLanguageIndex READ sourceLanguageIndex NOTIFY languagesChanged)
    Q_PROPERTY(int targetLanguageIndex READ targetLanguageIndex NOTIFY languagesChanged)
    Q_PROPERTY(bool canSwapLanguages READ canSwapLanguages NOTIFY languagesChanged)
    Q_PROPERTY(bool sameLanguage READ sameLanguage NOTIFY languagesChanged)

    // Audio source
    Q_PROPERTY(bool microphoneSelected READ microphoneSelected NOTIFY sourceChanged)
    Q_PROPERTY(bool sourcePickerEnabled READ sourcePickerEnabled NOTIFY listeningStateChanged)
    Q_PROPERTY(MicAccess micAccess READ micAccess NOTIFY micAccessChanged)
    Q_PROPERTY(bool showsDevicePicker READ showsDevicePicker NOTIFY micAccessChanged)
    Q_PROPERTY(bool showsGrantButton READ showsGrantButton NOTIFY micAccessChanged)
    Q_PROPERTY(bool showsMicDenied READ showsMicDenied NOTIFY micAccessChanged)
    Q_PROPERTY(QString sourceDescription READ sourceDescription NOTIFY sourceChanged)
    Q_PROPERTY(Orvinta::AudioDeviceList *devices READ devices CONSTANT)
    Q_PROPERTY(int deviceIndex READ deviceIndex NOTIFY deviceIndexChanged)

    // Controls
    Q_PROPERTY(bool modelLoading READ modelLoading NOTIFY listeningStateChanged)
    Q_PROPERTY(QString modelLoadingStatus READ modelLoadingStatus NOTIFY listeningStateChanged)
    Q_PROPERTY(bool listening READ listening NOTIFY listeningStateChanged)
    Q_PROPERTY(bool startStopEnabled READ startStopEnabled NOTIFY listeningStateChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(ErrorSettings errorSettings READ errorSettings NOTIFY errorMessageChanged)
    /// The label of the error banner's settings button; empty for none.
    Q_PROPERTY(QString errorSettingsText READ errorSettingsText NOTIFY errorMessageChanged)
    Q_PROPERTY(bool overlayShown READ overlayShown NOTIFY overlayShownChanged)

    // Clipboard and dictation
    Q_PROPERTY(bool autoCopy READ autoCopy WRITE setAutoCopy NOTIFY autoCopyChanged)
    Q_PROPERTY(bool autoPaste READ autoPaste WRITE setAutoPaste NOTIFY autoPasteChanged)
    Q_PROPERTY(bool pasteTranslation READ pasteTranslation WRITE setPasteTranslation NOTIFY
                   pasteTranslationChanged)
    Q_PROPERTY(bool dictationModeEnabled READ dictationModeEnabled WRITE setDictationModeEnabled
                   NOTIFY dictationModeEnabledChanged)
    Q_PROPERTY(QString holdKeyName READ holdKeyName WRITE setHoldKeyName NOTIFY holdKeyNameChanged)

    // Footer
    Q_PROPERTY(QString shortcutText READ shortcutText NOTIFY shortcutTextChanged)

public:
    enum class Activity { idle, listening, dictating };
    Q_ENUM(Activity)
    /// Which settings button an error banner offers.
    enum class ErrorSettings { none, privacy, microphone };
    Q_ENUM(ErrorSettings)
    /// The microphone row: a device picker, a grant button, or the denial note.
    enum class MicAccess { authorized, notDetermined, denied };
    Q_ENUM(MicAccess)

    struct Options {
        /// The recogniser's model is missing: the panel explains the setup instead.
        bool setupRequired = false;
        /// Reads the start/stop shortcut; none leaves the footer hint empty.
        std::shared_ptr<HotkeyService> hotkeys;
        std::chrono::milliseconds copyConfirmDuration{1500};
    };

    explicit MenuBarViewModel(AppState &state, QObject *parent = nullptr);
    MenuBarViewModel(AppState &state, Options options, QObject *parent = nullptr);
    ~MenuBarViewModel() override;

    bool setupRequired() const { return m_options.setupRequired; }
    bool reducedMotion() const { return m_reducedMotion; }
    void setReducedMotion(bool reduced);
    bool showCopyConfirm() const { return m_showCopyConfirm; }
    bool showClearConfirm() const { return m_showClearConfirm; }

    Activity activity() const;
    bool dictating() const { return activity() == Activity::dictating; }
    QString statusText() const;
    bool pulseActive() const;

    QVariantList sourceLanguages() const;
    QVariantList targetLanguages() const;
    int sourceLanguageIndex() const;
    int targetLanguageIndex() const;
    bool canSwapLanguages() const;
    bool sameLanguage() const;

    bool microphoneSelected() const;
    bool sourcePickerEnabled() const;
    MicAccess micAccess() const;
    bool showsDevicePicker() const;
    bool showsGrantButton() const;
    bool showsMicDenied() const;
    QString sourceDescription() const;
    AudioDeviceList *devices() const;
    int deviceIndex() const;

    bool modelLoading() const;
    QString modelLoadingStatus() const;
    bool listening() const;
    bool startStopEnabled() const;
    QString errorMessage() const;
    ErrorSettings errorSettings() const;
    QString errorSettingsText() const;
    bool overlayShown() const;

    bool autoCopy() const;
    void setAutoCopy(bool on);
    bool autoPaste() const;
    void setAutoPaste(bool on);
    bool pasteTranslation() const;
    void setPasteTranslation(bool translation);
    bool dictationModeEnabled() const;
    void setDictationModeEnabled(bool on);
    QString holdKeyName() const { return m_holdKeyName; }
    void setHoldKeyName(const QString &name);

    QString shortcutText() const { return m_shortcutText; }

    /// The panel became visible: the overlay is set up the first time, and
    /// the shortcut hint is read again (the settings may have changed it).
    Q_INVOKABLE void panelShown();
    Q_INVOKABLE void selectSourceLanguage(int index);
    Q_INVOKABLE void selectTargetLanguage(int index);
    Q_INVOKABLE void swapLanguages();
    Q_INVOKABLE void selectMicrophone(bool microphone);
    Q_INVOKABLE void selectDevice(int index);
    Q_INVOKABLE void requestMicrophoneAccess();
    Q_INVOKABLE void toggleListening();
    Q_INVOKABLE void openSoundSettings();
    Q_INVOKABLE void toggleOverlay();
    Q_INVOKABLE void copyAllWithFeedback();
    Q_INVOKABLE void exportTranscript(Orvinta::ExportFormat format);
    Q_INVOKABLE void requestClear();
    Q_INVOKABLE void confirmClear();
    Q_INVOKABLE void cancelClear();
    Q_INVOKABLE void openSettings();
    Q_INVOKABLE void quit();
    Q_INVOKABLE void openSetupGuide();

    /// The recogniser reload that follows a language change, if one runs.
    const TaskHandle &reloadTask() const { return m_reloadTask; }

Q_SIGNALS:
    void reducedMotionChanged();
    void showCopyConfirmChanged();
    void showClearConfirmChanged();
    void activityChanged();
    void statusTextChanged();
    void pulseActiveChanged();
    void languagesChanged();
    void sourceChanged();
    void micAccessChanged();
    void deviceIndexChanged();
    void listeningStateChanged();
    void errorMessageChanged();
    void overlayShownChanged();
    void autoCopyChanged();
    void autoPasteChanged();
    void pasteTranslationChanged();
    void dictationModeEnabledChanged();
    void holdKeyNameChanged();
    void shortcutTextChanged();
    /// "Quit" was pressed.
    void quitRequested();
    /// One of the sound-settings buttons was pressed.
    void soundSettingsRequested();
    /// "Setup Guide" was pressed.
    void setupGuideRequested();

private:
    void setShowCopyConfirm(bool show);
    void setShowClearConfirm(bool show);
    void refreshShortcutText();
    void reloadEngine();

    AppState &m_state;
    Options m_options;
    bool m_reducedMotion = false;
    bool m_showCopyConfirm = false;
    bool m_showClearConfirm = false;
    QString m_holdKeyName = holdKeyDisplayName(defaultHoldKey);
    QString m_shortcutText;
    QTimer m_copyConfirmTimer;
    TaskHandle m_reloadTask;
    TaskHandle m_permissionTask;
};

/// Which settings button an error message calls for.
MenuBarViewModel::ErrorSettings errorSettingsFor(const QString &message);

} // namespace Orvinta
