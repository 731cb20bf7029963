#pragma once

#include <OrvintaEngine/EngineTypes.h>

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

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
    virtual void captureDidFail(const QString &description) { setErrorMessage(description); }
};

/// The speech-to-text engine. Operations run on the main thread and must not
/// overlap: each is awaited before the next is issued.
class STTEngine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Prepares the language assets; never throws, reports through the delegate.
    virtual QCoro::Task<> loadModel(QString locale) = 0;
    /// Starts one run. Throws EngineError (CaptureError among them).
    virtual QCoro::Task<> startTranscribing(AudioSourceType source,
                                            std::optional<std::uint32_t> deviceID) = 0;
    /// Stops the run, delivering the results of the audio already captured.
    virtual QCoro::Task<> stopTranscribing() = 0;
};

} // namespace Orvinta
