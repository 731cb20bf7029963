#pragma once

#include <OrvintaEngineBackends/EngineTypes.h>
#include <OrvintaEngineBackends/SpeechRecognizer.h>

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace Orvinta {

/// What the engine reads from and writes into the application state. Called
/// on the main thread only.
class STTEngineDelegate {
public:
    virtual ~STTEngineDelegate() = default;

    virtual QString selectedLocale() const = 0;
    virtual void setIsModelLoading(bool loading) = 0;
    virtual void setIsModelLoaded(bool loaded) = 0;
    virtual void setModelLoadingStatus(const QString &status) = 0;
    virtual void setErrorMessage(const std::optional<QString> &message) = 0;
    virtual void setInterimText(const QString &text) = 0;
    virtual void addConfirmedLine(const QString &text) = 0;
    /// A confirmed line with the stretches of the recogniser's words it was
    /// heard as, timed on the run's audio timeline where the recogniser times
    /// them. Delegates that keep only the text leave it to addConfirmedLine().
    virtual void addHeardLine(const QString &text, const std::vector<TextRun> & /*words*/) {
        addConfirmedLine(text);
    }
    /// Capture ended on its own mid-run and could not be started again (the
    /// sound server stayed away, or its device is gone with nothing in its
    /// place). At most once per run; the run stays open until the delegate
    /// stops it with stopTranscribing().
    virtual void captureDidFail(const QString &description) = 0;
    /// The sound server went away mid-run and the engine waits for it to come
    /// back (true), or capture runs again (false).
    virtual void setIsReconnecting(bool reconnecting) { (void)reconnecting; }
    /// Capture went on from another device than the chosen one, or back on
    /// it: a sentence for the user.
    virtual void captureDeviceChanged(const QString &notice) { (void)notice; }
    /// A run on one application's sound: whether it waits for the
    /// application to play (true) or records it (false). Told at the start
    /// and at every change.
    virtual void setIsWaitingForApplication(bool waiting) { (void)waiting; }
};

/// The speech-to-text engine. Operations run on the main thread and must not
/// overlap: each is awaited before the next is issued.
class STTEngine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Prepares the language assets. Failures are reported through the
    /// delegate; throws only OperationCancelled, when the engine was destroyed
    /// before it finished.
    virtual QCoro::Task<> loadModel(QString locale) = 0;
    /// Starts one run. `application` names the application that the
    /// application source follows (see playsFor). Throws EngineError
    /// (CaptureError among them; OperationCancelled when the engine was
    /// destroyed before it finished).
    virtual QCoro::Task<> startTranscribing(AudioSourceType source,
                                            std::optional<std::uint32_t> deviceID,
                                            QString application = {}) = 0;
    /// Stops the run, delivering the results of the audio already captured.
    /// Does not fail; it simply completes when the engine is destroyed meanwhile.
    virtual QCoro::Task<> stopTranscribing() = 0;
};

} // namespace Orvinta
