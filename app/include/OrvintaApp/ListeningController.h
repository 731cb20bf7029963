#pragma once

#include <OrvintaApp/AppEnums.h>
#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/CancellableTask.h>
#include <OrvintaApp/EchoFilter.h>

#include <OrvintaEngine/STTEngine.h>

#include <QList>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <array>
#include <memory>
#include <optional>

namespace Orvinta {

class AudioDeviceList;
class Dictation;
class Preferences;

/// Where recognised text goes: the transcript, or the dictation buffer.
class RecognizedTextSink {
public:
    virtual ~RecognizedTextSink() = default;
    virtual void setInterimText(const QString &text) = 0;
    /// `speaker` is empty where the run does not tell its sources apart.
    virtual void addConfirmedLine(const QString &text, const QString &speaker) = 0;
};

/// The listening lifecycle: prepares the engine, starts and stops runs, and
/// keeps what the panel shows of them (model status, banner, clock, icon).
/// Starts, stops and reloads share one task slot, so they never overlap.
///
/// A run on both the microphone and the computer's sound has two engines,
/// each with its own recogniser, confirmation and dedup: the one of
/// transcriptionEngine() records the microphone, a second one the computer.
/// Their lines meet here, labelled microphoneSpeaker() and computerSpeaker(),
/// in the order they are confirmed; a microphone line that echoes what the
/// computer just said is dropped (EchoFilter). A run on one application
/// labels its lines with the application's name.
class ListeningController : public QObject, public STTEngineDelegate {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The listening lifecycle belongs to AppState")
    Q_PROPERTY(bool isListening READ isListening NOTIFY isListeningChanged)
    Q_PROPERTY(bool isTransitioning READ isTransitioning NOTIFY isTransitioningChanged)
    Q_PROPERTY(bool isModelLoaded READ isModelLoaded NOTIFY isModelLoadedChanged)
    Q_PROPERTY(bool isModelLoading READ isModelLoading NOTIFY isModelLoadingChanged)
    Q_PROPERTY(QString modelLoadingStatus READ modelLoadingStatus NOTIFY modelLoadingStatusChanged)
    Q_PROPERTY(Orvinta::MicPermission micPermission READ micPermission NOTIFY micPermissionChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)
    Q_PROPERTY(double recordingElapsed READ recordingElapsed NOTIFY recordingElapsedChanged)
    Q_PROPERTY(
        QString formattedRecordingTime READ formattedRecordingTime NOTIFY recordingElapsedChanged)
    Q_PROPERTY(int menuBarIconFrame READ menuBarIconFrame NOTIFY menuBarIconFrameChanged)
    /// "Waiting for APP to play sound" while a run on one application's
    /// sound waits for it; empty otherwise.
    Q_PROPERTY(QString waitingStatus READ waitingStatus NOTIFY waitingStatusChanged)
    /// A run waits for the sound server to come back.
    Q_PROPERTY(bool isReconnecting READ isReconnecting NOTIFY isReconnectingChanged)

public:
    ListeningController(const AppServices &services, const Preferences &preferences,
                        const AudioDeviceList &devices, const Dictation &dictation,
                        RecognizedTextSink &sink, QObject *parent = nullptr);
    ~ListeningController() override;

    bool isListening() const { return m_isListening; }
    bool isTransitioning() const { return m_isTransitioning; }
    bool isModelLoaded() const { return m_isModelLoaded; }
    bool isModelLoading() const { return m_isModelLoading; }
    QString modelLoadingStatus() const { return m_modelLoadingStatus; }
    MicPermission micPermission() const { return m_micPermission; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    double recordingElapsed() const { return m_recordingElapsed; }
    QString formattedRecordingTime() const;
    int menuBarIconFrame() const { return m_menuBarIconFrame; }
    QString waitingStatus() const;
    bool isReconnecting() const { return m_reconnecting; }
    STTEngine *transcriptionEngine() const { return m_transcriptionEngine.get(); }

    Q_INVOKABLE void toggleListening();
    /// Completes when the latest start, stop or reload has run to its end.
    QCoro::Task<> toggleFinished() const;
    /// Ends the run, if there is one, before Orvinta quits: the sentence being
    /// spoken is finished as a line, without the stop sound.
    QCoro::Task<> finishBeforeQuit();
    /// Makes a loaded engine: awaits a load already under way, else starts one.
    QCoro::Task<> prepareEngine();
    /// After the recognition language changed: stops a run, then prepares a
    /// new engine. Waits for a start, stop or load under way to finish first.
    QCoro::Task<> reloadEngine();
    /// The same, without waiting: the reload takes the lifecycle slot.
    void scheduleReload();
    /// Asks the sound server whether recording is allowed (off the main thread).
    QCoro::Task<> requestMicPermission();
    /// The same, without waiting (the panel's grant button).
    Q_INVOKABLE void askForMicrophoneAccess();
    /// From now on a new recognition language reloads the engine, and
    /// choosing the microphone asks for access once. Called after the
    /// stored preferences are read, so reading them reloads nothing.
    void followPreferences();
    /// The tray icon's animation and the start and stop sounds, which a
    /// dictation uses as listening does.
    void restartIconAnimation();
    void stopIconAnimation();
    void playSound(SoundPlayer::Sound sound);

    // STTEngineDelegate
    QString selectedLocale() const override;
    void setIsModelLoading(bool loading) override;
    void setIsModelLoaded(bool loaded) override;
    void setModelLoadingStatus(const QString &status) override;
    /// Shows the banner, which dismisses itself after a while.
    void setErrorMessage(const std::optional<QString> &message) override;
    void setInterimText(const QString &text) override;
    void addConfirmedLine(const QString &text) override;
    void addHeardLine(const QString &text, const std::vector<TextRun> &words) override;
    void captureDidFail(const QString &description) override;
    void setIsWaitingForApplication(bool waiting) override;
    /// The banner says so while it lasts, and goes with it.
    void setIsReconnecting(bool reconnecting) override;
    /// Shown in the banner and told by captureNotice().
    void captureDeviceChanged(const QString &notice) override;

    /// The speaker of the lines of the run's own engine: microphoneSpeaker()
    /// in a run on both, the application's name in a run on one; else empty.
    QString primarySpeaker() const { return m_primarySpeaker; }

Q_SIGNALS:
    void isListeningChanged();
    void isTransitioningChanged();
    void isModelLoadedChanged();
    void isModelLoadingChanged();
    void modelLoadingStatusChanged();
    void micPermissionChanged();
    void errorMessageChanged();
    void recordingElapsedChanged();
    void menuBarIconFrameChanged();
    void waitingStatusChanged();
    void isReconnectingChanged();
    /// Capture went on from another device, or back on the chosen one.
    void captureNotice(const QString &notice);

private:
    using Body = CancellableTask::Body;
    /// Where a line was heard: the run's own engine, or the second engine of
    /// a run on both, which records the computer.
    enum Side { primary = 0, computer = 1 };
    class ComputerSide;
    /// Puts a task in the lifecycle slot, cancelling the one there; with
    /// `afterPrevious` it first waits until that one has ended.
    void schedule(Body body, bool afterPrevious);
    QCoro::Task<> startListeningAction(CancellationToken token);
    QCoro::Task<> stopListeningAction(CancellationToken token);
    QCoro::Task<> stopRun(bool playStopSound);
    QCoro::Task<> reload();
    QCoro::Task<> prepareComputerEngine();
    void interimFrom(Side side, const QString &text);
    void reconnectingFrom(Side side, bool reconnecting);
    /// When the line, confirmed now, was spoken.
    EchoFilter::Stretch stretchOf(const QString &text, const std::vector<TextRun> &words) const;
    void lineFrom(Side side, const QString &text, EchoFilter::Stretch spoken);
    void deliver(Side side, const QString &text);
    void showInterim();
    void holdMicrophoneLine(const QString &text, EchoFilter::Stretch spoken);
    /// Gives the held microphone lines their turn, without the echoes.
    void releaseHeldLines();
    void droppedEcho(const QString &text);
    void setIsListening(bool listening);
    void endApplicationRun();
    void setIsTransitioning(bool transitioning);
    void setMicPermission(MicPermission permission);
    void setRecordingElapsed(double seconds);
    void setMenuBarIconFrame(int frame);
    void startRecordingClock();
    void stopRecordingClock();

    AppServices m_services;
    const Preferences &m_preferences;
    const AudioDeviceList &m_devices;
    const Dictation &m_dictation;
    RecognizedTextSink &m_sink;

    bool m_isListening = false;
    bool m_isTransitioning = false;
    bool m_isModelLoaded = false;
    bool m_isModelLoading = false;
    QString m_modelLoadingStatus;
    MicPermission m_micPermission = MicPermission::notDetermined;
    std::optional<QString> m_micProbeFailure;
    std::optional<QString> m_errorMessage;
    TaskHandle m_errorDismissTask;
    std::optional<double> m_recordingStartTime;
    double m_recordingElapsed = 0;
    TaskHandle m_recordingTimer;
    int m_menuBarIconFrame = 0;
    /// The application the run follows; empty for other sources.
    QString m_runApplication;
    bool m_waitingForApplication = false;
    bool m_reconnecting = false;
    bool m_sideReconnecting[2] = {false, false};
    TaskHandle m_iconAnimationTask;
    bool m_twoSided = false;
    QString m_primarySpeaker;
    std::array<QString, 2> m_interims;
    Side m_latestInterim = primary;
    EchoFilter m_echo;
    /// When the run's engines started, as a timestamp.
    double m_runStart = 0;
    /// Microphone lines that wait for the computer's recogniser to finish
    /// what may be the same words.
    struct HeldLine {
        QString text;
        EchoFilter::Stretch spoken;
    };
    QList<HeldLine> m_heldLines;
    TaskHandle m_holdTask;
    std::unique_ptr<ComputerSide> m_computerSide;
    std::unique_ptr<STTEngine> m_computerEngine;
    std::unique_ptr<STTEngine> m_transcriptionEngine;
    TaskHandle m_loadTask;
    TaskHandle m_toggleTask;
    TaskHandle m_permissionTask;
};

/// What the banner and the overlay say while a run waits for the sound server.
QString reconnectingText();

/// "m:ss" below an hour, "h:mm:ss" from then on.
QString formatRecordingTime(double elapsedSeconds);

} // namespace Orvinta
