#pragma once

#include <OrvintaEngine/AudioCapture.h>
#include <OrvintaEngine/AudioFeed.h>
#include <OrvintaEngine/ResultConfirmation.h>
#include <OrvintaEngine/STTEngine.h>
#include <OrvintaEngine/SpeechRecognizer.h>

#include <QPointer>

#include <memory>
#include <optional>

namespace Orvinta {

class ResultsTask;

/// The engine on an on-device recogniser: prepares the model, runs capture
/// into the analyzer and confirms its results towards the delegate.
class OnDeviceSpeechEngine : public STTEngine {
    Q_OBJECT
public:
    /// The delegate is held weakly when it is a QObject.
    OnDeviceSpeechEngine(STTEngineDelegate *delegate, std::shared_ptr<SpeechRecognizer> recognizer,
                         std::shared_ptr<AudioCaptureBackend> capture, QObject *parent = nullptr);
    ~OnDeviceSpeechEngine() override;

    QCoro::Task<> loadModel(QString locale) override;
    QCoro::Task<> startTranscribing(AudioSourceType source,
                                    std::optional<std::uint32_t> deviceID) override;
    QCoro::Task<> stopTranscribing() override;

    /// Buffers waiting for the analyzer; lets a file source keep pace with it.
    std::size_t queuedInputBuffers() const { return m_feed->queuedBuffers(); }
    const std::optional<AudioFormat> &targetFormat() const { return m_targetFormat; }

    static constexpr std::chrono::milliseconds boundedWait{3000};

private:
    STTEngineDelegate *delegate() const;
    std::string currentLocale() const;
    void handleResult(const RecognitionResult &result);
    QCoro::Task<> finishAnalyzer(std::shared_ptr<SpeechAnalyzer> analyzer);
    QCoro::Task<> startMicrophoneCapture(std::optional<std::uint32_t> deviceID);
    QCoro::Task<> startSystemAudioCapture();
    void stopMicrophone();

    STTEngineDelegate *m_delegate;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject;
    std::shared_ptr<SpeechRecognizer> m_recognizer;
    std::shared_ptr<AudioCaptureBackend> m_capture;
    std::shared_ptr<SpeechTranscriber> m_speechTranscriber;
    std::shared_ptr<SpeechAnalyzer> m_analyzer;
    std::shared_ptr<AudioFeed> m_feed = std::make_shared<AudioFeed>();
    std::unique_ptr<SystemAudioCapture> m_systemAudio;
    std::unique_ptr<MicrophoneCapture> m_microphone;
    std::shared_ptr<ResultsTask> m_resultsTask;
    std::optional<AudioFormat> m_targetFormat;
    ResultConfirmation m_confirmation;
};

} // namespace Orvinta
