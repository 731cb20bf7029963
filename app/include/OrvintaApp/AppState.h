#pragma once

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/CancellableTask.h>
#include <OrvintaApp/ConfirmedLine.h>
#include <OrvintaApp/TranscriptExport.h>

#include <OrvintaEngine/EngineTypes.h>
#include <OrvintaEngine/STTEngine.h>

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace Orvinta {

/// The one central observable object: transcript, listening lifecycle,
/// preferences, session, export. Lives on the main thread.
class AppState : public QObject, public STTEngineDelegate {
    Q_OBJECT
    Q_PROPERTY(bool isListening READ isListening NOTIFY isListeningChanged)
    Q_PROPERTY(bool isTransitioning READ isTransitioning NOTIFY isTransitioningChanged)
    Q_PROPERTY(QString interimText READ interimText WRITE setInterimText NOTIFY interimTextChanged)
    Q_PROPERTY(QList<ConfirmedLine> confirmedLines READ confirmedLines NOTIFY confirmedLinesChanged)
    Q_PROPERTY(int lineCount READ lineCount NOTIFY confirmedLinesChanged)
    Q_PROPERTY(int totalWordCount READ totalWordCount NOTIFY confirmedLinesChanged)
    Q_PROPERTY(bool dictationModeEnabled READ dictationModeEnabled WRITE setDictationModeEnabled
                   NOTIFY dictationModeEnabledChanged)
    Q_PROPERTY(bool isDictating READ isDictating WRITE setIsDictating NOTIFY isDictatingChanged)
    Q_PROPERTY(QString dictationBuffer READ dictationBuffer WRITE setDictationBuffer NOTIFY
                   dictationBufferChanged)
    Q_PROPERTY(QString dictationInterimText READ dictationInterimText WRITE setDictationInterimText
                   NOTIFY dictationInterimTextChanged)
    Q_PROPERTY(Orvinta::DictationState dictationState READ dictationState WRITE setDictationState
                   NOTIFY dictationStateChanged)
    Q_PROPERTY(bool wantsDictating READ wantsDictating WRITE setWantsDictating NOTIFY
                   wantsDictatingChanged)
    Q_PROPERTY(QString selectedLocale READ selectedLocale WRITE setSelectedLocale NOTIFY
                   selectedLocaleChanged)
    Q_PROPERTY(QString selectedSource READ selectedSourceRaw WRITE setSelectedSourceRaw NOTIFY
                   selectedSourceChanged)
    Q_PROPERTY(QVariant selectedDeviceID READ selectedDeviceIDVariant WRITE
                   setSelectedDeviceIDVariant NOTIFY selectedDeviceIDChanged)
    Q_PROPERTY(Orvinta::MicPermission micPermission READ micPermission NOTIFY micPermissionChanged)
    Q_PROPERTY(bool isModelLoaded READ isModelLoaded NOTIFY isModelLoadedChanged)
    Q_PROPERTY(bool isModelLoading READ isModelLoading NOTIFY isModelLoadingChanged)
    Q_PROPERTY(QString modelLoadingStatus READ modelLoadingStatus NOTIFY modelLoadingStatusChanged)
    Q_PROPERTY(
        QVariantList availableDevices READ availableDevicesVariant NOTIFY availableDevicesChanged)
    Q_PROPERTY(bool showOverlay READ showOverlay WRITE setShowOverlay NOTIFY showOverlayChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)
    Q_PROPERTY(QString targetLanguage READ targetLanguage WRITE setTargetLanguage NOTIFY
                   targetLanguageChanged)
    Q_PROPERTY(bool autoCopyToClipboard READ autoCopyToClipboard WRITE setAutoCopyToClipboard NOTIFY
                   autoCopyToClipboardChanged)
    Q_PROPERTY(bool autoPasteAtCursor READ autoPasteAtCursor WRITE setAutoPasteAtCursor NOTIFY
                   autoPasteAtCursorChanged)
    Q_PROPERTY(Orvinta::AutoPasteSource autoPasteSource READ autoPasteSource WRITE
                   setAutoPasteSource NOTIFY autoPasteSourceChanged)
    Q_PROPERTY(bool soundEnabled READ soundEnabled WRITE setSoundEnabled NOTIFY soundEnabledChanged)
    Q_PROPERTY(QVariantMap translations READ translationsVariant NOTIFY translationsChanged)
    Q_PROPERTY(double recordingElapsed READ recordingElapsed NOTIFY recordingElapsedChanged)
    Q_PROPERTY(
        QString formattedRecordingTime READ formattedRecordingTime NOTIFY recordingElapsedChanged)
    Q_PROPERTY(int menuBarIconFrame READ menuBarIconFrame NOTIFY menuBarIconFrameChanged)
    Q_PROPERTY(
        bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)

public:
    /// Builds the state in its fixed order: fields, preferences, session,
    /// shortcuts, dictation, then (asynchronously) devices and the engine.
    explicit AppState(AppServices services, QObject *parent = nullptr);
    ~AppState() override;

    // Transcript
    const QList<ConfirmedLine> &confirmedLines() const { return m_confirmedLines; }
    int lineCount() const { return static_cast<int>(m_confirmedLines.size()); }
    int totalWordCount() const;
    const QHash<QUuid, QString> &translations() const { return m_translations; }
    QVariantMap translationsVariant() const;
    void addConfirmedLine(const QString &text) override;
    Q_INVOKABLE void deleteLine(QUuid id);
    Q_INVOKABLE void clearAll();
    /// Stores one translation; the first one of a line may be auto-pasted.
    void setTranslation(const QString &text, const QUuid &id, bool animated = false);

    // Listening lifecycle
    Q_INVOKABLE void toggleListening();
    QCoro::Task<> prepareEngine();
    QCoro::Task<> reloadEngine();
    QCoro::Task<> requestMicPermission();
    Q_INVOKABLE void toggleOverlay();
    Q_INVOKABLE void setupOverlay();
    Q_INVOKABLE void showSettings();
    /// Completes when the latest toggle request has run to its end.
    QCoro::Task<> toggleFinished() const;
    /// Completes when start-up's device refresh and engine preparation are done.
    QCoro::Task<> startupFinished() const;
    /// Re-reads the input devices (off the main thread); selects the first
    /// when none is selected.
    QCoro::Task<> refreshAudioDevices();

    // Session
    void saveSession();
    /// Runs a pending debounced save now (used at quit, so nothing is lost).
    void flushPendingSave();

    // Export and copy
    Q_INVOKABLE void exportTranscript(Orvinta::ExportFormat format);
    Q_INVOKABLE void copyAllTranscript();

    // STTEngineDelegate and plain fields
    QString selectedLocale() const override { return m_selectedLocale; }
    void setSelectedLocale(const QString &locale);
    void setIsModelLoading(bool loading) override;
    void setIsModelLoaded(bool loaded) override;
    void setModelLoadingStatus(const QString &status) override;
    void setErrorMessage(const std::optional<QString> &message) override;
    void setInterimText(const QString &text) override;
    void captureDidFail(const QString &description) override;

    bool isListening() const { return m_isListening; }
    bool isTransitioning() const { return m_isTransitioning; }
    QString interimText() const { return m_interimText; }
    bool dictationModeEnabled() const { return m_dictationModeEnabled; }
    void setDictationModeEnabled(bool enabled);
    bool isDictating() const { return m_isDictating; }
    void setIsDictating(bool dictating);
    QString dictationBuffer() const { return m_dictationBuffer; }
    void setDictationBuffer(const QString &buffer);
    QString dictationInterimText() const { return m_dictationInterimText; }
    void setDictationInterimText(const QString &text);
    DictationState dictationState() const { return m_dictationState; }
    void setDictationState(DictationState state);
    bool wantsDictating() const { return m_wantsDictating; }
    void setWantsDictating(bool wants);
    /// The dictation flow's pending reconciliation (driven by the input layer).
    TaskHandle &dictationReconcileTask() { return m_dictationReconcileTask; }
    AudioSourceType selectedSource() const { return m_selectedSource; }
    void setSelectedSource(AudioSourceType source);
    QString selectedSourceRaw() const;
    void setSelectedSourceRaw(const QString &raw);
    std::optional<std::uint32_t> selectedDeviceID() const { return m_selectedDeviceID; }
    void setSelectedDeviceID(std::optional<std::uint32_t> id);
    QVariant selectedDeviceIDVariant() const;
    void setSelectedDeviceIDVariant(const QVariant &id);
    MicPermission micPermission() const { return m_micPermission; }
    bool isModelLoaded() const { return m_isModelLoaded; }
    bool isModelLoading() const { return m_isModelLoading; }
    QString modelLoadingStatus() const { return m_modelLoadingStatus; }
    const std::vector<AudioDevice> &availableDevices() const { return m_availableDevices; }
    QVariantList availableDevicesVariant() const;
    bool showOverlay() const { return m_showOverlay; }
    void setShowOverlay(bool show);
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    QString targetLanguage() const { return m_targetLanguage; }
    void setTargetLanguage(const QString &language);
    bool autoCopyToClipboard() const { return m_autoCopyToClipboard; }
    void setAutoCopyToClipboard(bool enabled);
    bool autoPasteAtCursor() const { return m_autoPasteAtCursor; }
    void setAutoPasteAtCursor(bool enabled);
    AutoPasteSource autoPasteSource() const { return m_autoPasteSource; }
    void setAutoPasteSource(AutoPasteSource source);
    bool soundEnabled() const { return m_soundEnabled; }
    void setSoundEnabled(bool enabled);
    double recordingElapsed() const { return m_recordingElapsed; }
    QString formattedRecordingTime() const;
    int menuBarIconFrame() const { return m_menuBarIconFrame; }
    bool launchAtLogin() const;
    void setLaunchAtLogin(bool enabled);

    STTEngine *transcriptionEngine() const { return m_transcriptionEngine.get(); }
    OverlayController *overlayController() const { return m_overlayController.get(); }

Q_SIGNALS:
    void isListeningChanged();
    void isTransitioningChanged();
    void interimTextChanged();
    void confirmedLinesChanged();
    void dictationModeEnabledChanged();
    void isDictatingChanged();
    void dictationBufferChanged();
    void dictationInterimTextChanged();
    void dictationStateChanged();
    void wantsDictatingChanged();
    void selectedLocaleChanged();
    void selectedSourceChanged();
    void selectedDeviceIDChanged();
    void micPermissionChanged();
    void isModelLoadedChanged();
    void isModelLoadingChanged();
    void modelLoadingStatusChanged();
    void availableDevicesChanged();
    void showOverlayChanged();
    void errorMessageChanged();
    void targetLanguageChanged();
    void autoCopyToClipboardChanged();
    void autoPasteAtCursorChanged();
    void autoPasteSourceChanged();
    void soundEnabledChanged();
    void translationsChanged();
    void recordingElapsedChanged();
    void menuBarIconFrameChanged();
    void launchAtLoginChanged();
    /// The dictation key monitor should run (true) or stop (false).
    void dictationMonitorRequested(bool enabled);

private:
    /// Stores a persisted field: notifies only on change, writes every time.
    template <class T, class Write>
    void assignPersisted(T &field, const T &value, void (AppState::*changed)(), Write write);
    QCoro::Task<> startListeningAction(CancellationToken token);
    QCoro::Task<> stopListeningAction(CancellationToken token);
    QCoro::Task<> runStartup();
    void loadPreferences();
    void restoreSession();
    void installHotkeyActions();
    void setIsListening(bool listening);
    void setIsTransitioning(bool transitioning);
    void setMicPermission(MicPermission permission);
    void setRecordingElapsed(double seconds);
    void setMenuBarIconFrame(int frame);
    void startRecordingClock();
    void stopRecordingClock();
    void restartIconAnimation();
    void stopIconAnimation();
    void scheduleDebouncedSave();
    void playSound(SoundPlayer::Sound sound);
    void copyToClipboard(const QString &text);
    void showOverlayPanel();

    AppServices m_services;

    bool m_isListening = false;
    bool m_isTransitioning = false;
    QString m_interimText;
    QList<ConfirmedLine> m_confirmedLines;
    bool m_dictationModeEnabled = false;
    bool m_isDictating = false;
    QString m_dictationBuffer;
    QString m_dictationInterimText;
    DictationState m_dictationState = DictationState::idle;
    QString m_selectedLocale = QStringLiteral("en-US");
    AudioSourceType m_selectedSource = AudioSourceType::systemAudio;
    std::optional<std::uint32_t> m_selectedDeviceID;
    MicPermission m_micPermission = MicPermission::notDetermined;
    std::optional<QString> m_micProbeFailure;
    bool m_isModelLoaded = false;
    bool m_isModelLoading = false;
    QString m_modelLoadingStatus;
    std::vector<AudioDevice> m_availableDevices;
    bool m_showOverlay = true;
    std::optional<QString> m_errorMessage;
    TaskHandle m_errorDismissTask;
    QString m_targetLanguage = QStringLiteral("en-US");
    bool m_autoCopyToClipboard = false;
    bool m_autoPasteAtCursor = false;
    AutoPasteSource m_autoPasteSource = AutoPasteSource::original;
    bool m_soundEnabled = true;
    QHash<QUuid, QString> m_translations;
    TaskHandle m_debouncedSaveTask;
    std::optional<double> m_recordingStartTime;
    double m_recordingElapsed = 0;
    TaskHandle m_recordingTimer;
    int m_menuBarIconFrame = 0;
    TaskHandle m_iconAnimationTask;
    std::unique_ptr<OverlayController> m_overlayController;
    std::unique_ptr<SettingsController> m_settingsController;
    std::unique_ptr<STTEngine> m_transcriptionEngine;
    TaskHandle m_toggleTask;
    bool m_wantsDictating = false;
    TaskHandle m_dictationReconcileTask;
    TaskHandle m_startupTask;
};

/// "m:ss" below an hour, "h:mm:ss" from then on.
QString formatRecordingTime(double elapsedSeconds);

} // namespace Orvinta
