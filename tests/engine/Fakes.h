#pragma once

// Scripted stand-ins for the recogniser, the capture devices and the
// application state, for testing the engine's logic without devices.

#include <OrvintaEngine/STTEngine.h>
#include <OrvintaEngineBackends/AudioCapture.h>
#include <OrvintaEngineBackends/SpeechRecognizer.h>

#include <QCoroTask>
#include <QDir>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <vector>

#include <sys/resource.h>

inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace OrvintaTest {

using namespace Orvinta;

class FakeDelegate : public QObject, public STTEngineDelegate {
public:
    QString locale = "en-US";
    bool isModelLoading = false;
    bool isModelLoaded = false;
    QStringList statuses;
    std::optional<QString> errorMessage;
    QString interimText;
    QStringList lines;
    QStringList events;     // "interim:…" and "line:…" in call order
    QStringList heardWords; // per line: its words as "text start-end" in ms
    QStringList captureFailures;
    bool failureOffMainThread = false;
    QList<bool> reconnecting; // each state told, in order
    QStringList deviceNotices;

    QString selectedLocale() const override { return locale; }
    void setIsModelLoading(bool loading) override { isModelLoading = loading; }
    void setIsModelLoaded(bool loaded) override { isModelLoaded = loaded; }
    void setModelLoadingStatus(const QString &status) override { statuses << status; }
    void setErrorMessage(const std::optional<QString> &message) override { errorMessage = message; }
    void setInterimText(const QString &text) override {
        interimText = text;
        events << "interim:" + text;
    }
    void addConfirmedLine(const QString &text) override {
        interimText.clear();
        lines << text;
        events << "line:" + text;
    }
    void addHeardLine(const QString &text, const std::vector<TextRun> &words) override {
        QStringList described;
        for (const TextRun &word : words)
            described << QString::fromStdString(word.text) +
                             (word.timeRange ? QString(" %1-%2")
                                                   .arg(word.timeRange->start.count() / 1000)
                                                   .arg(word.timeRange->end().count() / 1000)
                                             : QString());
        heardWords << described.join(", ");
        addConfirmedLine(text);
    }
    void captureDidFail(const QString &description) override {
        failureOffMainThread |= QThread::currentThread() != thread();
        captureFailures << description;
    }
    void setIsReconnecting(bool state) override { reconnecting << state; }
    void captureDeviceChanged(const QString &notice) override { deviceNotices << notice; }
};

/// What the test controls and observes of one analyzer; outlives it.
struct AnalyzerScript {
    std::shared_ptr<AnalyzerInputQueue> queue;
    SpeechAnalyzer::Callbacks callbacks;
    std::optional<EngineError> startFailure;
    bool startsLater = false; // never answers the start
    /// Delivered by finalize, before the results end.
    std::vector<RecognitionResult> finalResults;
    bool finishesOnFinalize = true;
    bool finalized = false;
    bool cancelled = false;
    std::function<void()> pendingDone;

    void deliverResult(RecognitionResult result) { callbacks.result(std::move(result)); }
};

class ScriptedAnalyzer : public SpeechAnalyzer {
public:
    explicit ScriptedAnalyzer(std::shared_ptr<AnalyzerScript> script)
        : m_script(std::move(script)) {}

    void start(std::shared_ptr<AnalyzerInputQueue> input, Callbacks callbacks,
               std::function<void(std::optional<EngineError>)> started) override {
        m_script->queue = std::move(input);
        m_script->callbacks = std::move(callbacks);
        if (!m_script->startsLater)
            started(m_script->startFailure);
    }

    void finalizeAndFinishThroughEndOfInput(std::function<void()> done) override {
        m_script->finalized = true;
        if (!m_script->finishesOnFinalize) {
            m_script->pendingDone = std::move(done);
            return;
        }
        for (auto &result : m_script->finalResults)
            m_script->callbacks.result(result);
        m_script->callbacks.resultsEnded(std::nullopt);
        done();
    }

    void cancelFinalize() override {
        m_script->cancelled = true;
        if (auto done = std::move(m_script->pendingDone))
            done();
    }

private:
    std::shared_ptr<AnalyzerScript> m_script;
};

class ScriptedRecognizer : public SpeechRecognizer {
public:
    std::vector<std::string> transcriberLocales;
    std::set<std::string> installedLocales{"en-US"};
    std::optional<AudioFormat> format = AudioFormat{16000, 1, SampleType::float32, false};
    std::vector<std::shared_ptr<AnalyzerScript>> analyzers;
    /// Settings for the next analyzer made.
    std::function<void(AnalyzerScript &)> prepare;
    /// Runs inside reserveAssets, on the engine's worker.
    std::function<void()> whileReserving;

    std::shared_ptr<SpeechTranscriber> makeTranscriber(const std::string &locale) override;
};

class ScriptedTranscriber : public SpeechTranscriber {
public:
    ScriptedTranscriber(ScriptedRecognizer &recognizer, std::string locale)
        : m_recognizer(recognizer)
        , m_locale(std::move(locale)) {}

    void reserveAssets() override {
        if (m_recognizer.whileReserving)
            m_recognizer.whileReserving();
        if (!m_recognizer.installedLocales.contains(m_locale))
            throw EngineError("test", -1, "No speech model for " + m_locale + " is installed");
    }
    bool assetsNeedInstallation() override { return false; }
    void installAssets() override {}
    std::optional<AudioFormat> bestAvailableAudioFormat() const override {
        return m_recognizer.format;
    }
    std::unique_ptr<SpeechAnalyzer> makeAnalyzer() override {
        auto script = std::make_shared<AnalyzerScript>();
        if (m_recognizer.prepare)
            m_recognizer.prepare(*script);
        m_recognizer.analyzers.push_back(script);
        return std::make_unique<ScriptedAnalyzer>(script);
    }

private:
    ScriptedRecognizer &m_recognizer;
    std::string m_locale;
};

inline std::shared_ptr<SpeechTranscriber>
ScriptedRecognizer::makeTranscriber(const std::string &locale) {
    transcriberLocales.push_back(locale);
    return std::make_shared<ScriptedTranscriber>(*this, locale);
}

struct MicrophoneScript {
    int created = 0;
    std::optional<std::uint32_t> device;
    std::set<std::uint32_t> knownDevices{1, 7};
    AudioFormat format{48000, 2, SampleType::float32, true};
    CapturedBufferHandler tap; // while one is installed
    CaptureFailureHandler onFailure;
    MicrophoneDeviceHandler onDevice;
    std::uint32_t tapFrames = 0;
    bool running = false;
    std::optional<EngineError> startFailure;
    /// Runs inside start, on the engine's worker.
    std::function<void()> whileStarting;

    /// A buffer of the native format at constant level, as the tap would deliver it.
    AudioBuffer buffer(std::uint32_t frames) const {
        AudioBuffer out(format, frames);
        auto *samples = out.floatChannel(0);
        for (std::uint32_t i = 0; i < frames * format.channels; ++i)
            samples[i] = (i / format.channels) % 2 ? 0.25f : -0.25f;
        out.setFrameLength(frames);
        return out;
    }
    void deliver(std::uint32_t frames) const { tap(buffer(frames)); }
};

class FakeMicrophone : public MicrophoneCapture {
public:
    explicit FakeMicrophone(std::shared_ptr<MicrophoneScript> script)
        : m_script(std::move(script)) {}

    bool selectDevice(std::uint32_t id) override {
        if (!m_script->knownDevices.contains(id))
            return false;
        m_script->device = id;
        return true;
    }
    AudioFormat inputFormat() override { return m_script->format; }
    void installTap(std::uint32_t frames, const AudioFormat &, CapturedBufferHandler handler,
                    CaptureFailureHandler onFailure) override {
        m_script->tapFrames = frames;
        m_script->tap = std::move(handler);
        m_script->onFailure = std::move(onFailure);
    }
    void setDeviceHandler(MicrophoneDeviceHandler handler) override {
        m_script->onDevice = std::move(handler);
    }
    void removeTap() override {
        m_script->tap = nullptr;
        m_script->onFailure = nullptr;
        m_script->onDevice = nullptr;
    }
    void start() override {
        if (m_script->whileStarting)
            m_script->whileStarting();
        if (m_script->startFailure)
            throw *m_script->startFailure;
        m_script->running = true;
    }
    void stop() override { m_script->running = false; }

private:
    std::shared_ptr<MicrophoneScript> m_script;
};

struct SystemAudioScript {
    /// Runs inside start, on the engine's worker.
    std::function<void()> whileStarting;
    std::optional<CaptureError> startFailure;
    std::optional<EngineError> stopFailure;
    CapturedSampleHandler handler;
    CaptureFailureHandler onFailure;
    std::uint32_t sampleRate = 0;
    bool running = false;
    int starts = 0; // that succeeded
};

class FakeSystemAudio : public SystemAudioCapture {
public:
    explicit FakeSystemAudio(std::shared_ptr<SystemAudioScript> script)
        : m_script(std::move(script)) {}
    void start(std::uint32_t rate, CapturedSampleHandler handler,
               CaptureFailureHandler onFailure) override {
        if (m_script->whileStarting)
            m_script->whileStarting();
        if (m_script->startFailure)
            throw *m_script->startFailure;
        ++m_script->starts;
        m_script->sampleRate = rate;
        m_script->handler = std::move(handler);
        m_script->onFailure = std::move(onFailure);
        m_script->running = true;
    }
    void stop() override {
        m_script->running = false;
        m_script->handler = nullptr;
        m_script->onFailure = nullptr;
        if (m_script->stopFailure)
            throw *m_script->stopFailure;
    }

private:
    std::shared_ptr<SystemAudioScript> m_script;
};

struct ApplicationAudioScript {
    std::string application;
    ApplicationWaitingHandler onWaiting;
    bool running = false;
};

class FakeApplicationAudio : public ApplicationAudioCapture {
public:
    explicit FakeApplicationAudio(std::shared_ptr<ApplicationAudioScript> script)
        : m_script(std::move(script)) {}
    void start(std::uint32_t, std::string application, CapturedSampleHandler, CaptureFailureHandler,
               ApplicationWaitingHandler onWaiting) override {
        *m_script = {std::move(application), std::move(onWaiting), true};
    }
    void stop() override { *m_script = {}; }

private:
    std::shared_ptr<ApplicationAudioScript> m_script;
};

/// The handler of the one watch of playback streams; the watch drops it when it ends.
struct PlaybackWatchScript {
    std::mutex lock;
    PlaybackStreamsHandler changed;

    void deliver(std::vector<PlaybackStream> streams) {
        const std::lock_guard<std::mutex> guard(lock);
        if (changed)
            changed(std::move(streams));
    }
    bool isWatched() {
        const std::lock_guard<std::mutex> guard(lock);
        return changed != nullptr;
    }
};

class FakePlaybackWatch : public PlaybackWatch {
public:
    explicit FakePlaybackWatch(std::shared_ptr<PlaybackWatchScript> script)
        : m_script(std::move(script)) {}
    ~FakePlaybackWatch() override {
        const std::lock_guard<std::mutex> guard(m_script->lock);
        m_script->changed = nullptr;
    }

private:
    std::shared_ptr<PlaybackWatchScript> m_script;
};

class FakeCapture : public AudioCaptureBackend {
public:
    MicrophoneAccess access = MicrophoneAccess::granted;
    std::shared_ptr<MicrophoneScript> microphone = std::make_shared<MicrophoneScript>();
    std::shared_ptr<SystemAudioScript> systemAudio = std::make_shared<SystemAudioScript>();
    std::optional<std::vector<InputDeviceRecord>> devices = std::vector<InputDeviceRecord>{};
    /// Set: the sound server cannot be reached.
    std::optional<EngineError> unreachable;

    MicrophoneAccess requestMicrophoneAccess() override {
        if (unreachable)
            throw *unreachable;
        return access;
    }
    std::unique_ptr<MicrophoneCapture> makeMicrophoneCapture() override {
        ++microphone->created;
        return std::make_unique<FakeMicrophone>(microphone);
    }
    std::unique_ptr<SystemAudioCapture> makeSystemAudioCapture() override {
        return std::make_unique<FakeSystemAudio>(systemAudio);
    }
    std::optional<std::vector<InputDeviceRecord>> inputDevices() override {
        return unreachable ? std::nullopt : devices;
    }
    /// The handler of the latest device watch.
    std::function<void()> devicesChanged;
    std::unique_ptr<DeviceWatch> watchDevices(std::function<void()> changed) override {
        devicesChanged = std::move(changed);
        return std::make_unique<DeviceWatch>();
    }

    std::shared_ptr<ApplicationAudioScript> applicationAudio =
        std::make_shared<ApplicationAudioScript>();
    std::shared_ptr<PlaybackWatchScript> playbackWatch = std::make_shared<PlaybackWatchScript>();

    std::unique_ptr<ApplicationAudioCapture> makeApplicationAudioCapture() override {
        return std::make_unique<FakeApplicationAudio>(applicationAudio);
    }
    std::unique_ptr<PlaybackWatch> watchPlaybackStreams(PlaybackStreamsHandler changed) override {
        const std::lock_guard<std::mutex> guard(playbackWatch->lock);
        playbackWatch->changed = std::move(changed);
        return std::make_unique<FakePlaybackWatch>(playbackWatch);
    }
};

/// Runs the event loop until `task` completed and rethrows what it threw
/// (QCoro::waitFor alone never returns from a task that threw).
void await(QCoro::Task<> task);
/// Handles what is queued on the main thread now.
void processEvents();
/// Runs the event loop until `done` holds or `timeout` passed; returns `done()`.
bool processEventsUntil(const std::function<bool()> &done,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

/// A job that blocks the thread it runs on until the test opens the gate.
class Gate {
public:
    std::function<void()> job() {
        return [this, opened = m_open.get_future().share()] {
            m_entered = true;
            opened.wait();
        };
    }
    bool waitUntilEntered() {
        return processEventsUntil([this] { return m_entered.load(); });
    }
    void open() { m_open.set_value(); }

private:
    std::atomic<bool> m_entered{false};
    std::promise<void> m_open;
};

/// Collects every log line as "category: message" while alive, with the
/// lines that quote speech (off by default) where asked to.
class LogCapture {
public:
    explicit LogCapture(bool quotedSpeech = false);
    ~LogCapture();
    QStringList lines() const;
    /// The speech engine's messages.
    QStringList speech() const;
    int count(const QString &text) const { return int(lines().filter(text).size()); }
    bool contains(const QString &text) const { return count(text) > 0; }
    QString all() const { return lines().join('\n'); }

private:
    bool m_quotedSpeech;
};

/// Lowers a limit while it lives, as `ulimit` does, a write past RLIMIT_FSIZE failing instead of
/// ending the test; for RLIMIT_NOFILE `value` is how many descriptors it leaves free.
class ResourceLimit {
public:
    ResourceLimit(int resource, rlim_t value)
        : m_resource(resource)
        , m_handler(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(resource, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = value;
        if (resource == RLIMIT_NOFILE) // free above the highest descriptor open now
            for (const QString &fd : QDir("/proc/self/fd").entryList(QDir::Files | QDir::System))
                limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, fd.toULong() + 1 + value);
        setrlimit(resource, &limit);
    }
    ~ResourceLimit() {
        setrlimit(m_resource, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    int m_resource;
    void (*m_handler)(int);
    rlimit m_saved{};
};

/// A timed run of words, ending at `end` seconds.
RecognitionResult
finalResult(const std::vector<std::pair<std::string, std::pair<double, double>>> &words);
RecognitionResult volatileResult(const std::string &text);

} // namespace OrvintaTest
