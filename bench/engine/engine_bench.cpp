// bench-engine: the speech engine's speed and footprint, printed as figures.
//
//  1. real-time factor of file transcription over the LibriVox test set, on
//     one core (the process is pinned to one CPU for this part);
//  2. latency from the end of an utterance, as it reaches the system-audio
//     capture, to its confirmed line, in a live run;
//  3. CPU share while listening to silence;
//  4. peak memory of the process.
//
// Parts 2 and 3 need a sound server: the one in PULSE_SERVER, or else a
// private one that the benchmark starts (pulseaudio must be installed).

#include "EngineBenchSupport.h"

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngineBackends/FileAudioSource.h>
#include <OrvintaEngineBackends/PocketSphinxRecognizer.h>
#include <OrvintaEngineBackends/PulseAudioCapture.h>

#include <TranscriptionCore/Scoring.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <sched.h>
#include <sys/resource.h>

using namespace Orvinta;
using Orvinta::Bench::await;
using Clock = std::chrono::steady_clock;

namespace {

const QString librivox = QStringLiteral("/usr/share/pocketsphinx/test/data/librivox");

class RecordingDelegate : public Bench::BenchDelegate {
public:
    void setErrorMessage(const std::optional<QString> &message) override { error = message; }
    void addConfirmedLine(const QString &text) override {
        lines << text;
        confirmedAt.push_back(Clock::now());
    }
    void captureDidFail(const QString &description) override { error = description; }

    std::optional<QString> error;
    QStringList lines;
    std::vector<Clock::time_point> confirmedAt;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QStringList fileIds() {
    QFile file(librivox + QStringLiteral("/fileids"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

QString reference(const QString &id) {
    QFile file(librivox + QStringLiteral("/transcription"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n'))
        if (line.contains(QStringLiteral("(") + id + QStringLiteral(")")))
            return line.section('(', 0, 0)
                .remove(QStringLiteral("<s>"))
                .remove(QStringLiteral("</s>"))
                .trimmed();
    return {};
}

/// Runs the event loop for a while without spinning.
void waitFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

void realTimeFactor(const std::shared_ptr<PocketSphinxRecognizer> &recognizer) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    cpu_set_t all;
    sched_getaffinity(0, sizeof all, &all);
    sched_setaffinity(0, sizeof one, &one);

    double audioSeconds = 0;
    double wallSeconds = 0;
    std::int64_t errors = 0, words = 0;
    for (const QString &id : fileIds()) {
        RecordingDelegate delegate;
        OnDeviceSpeechEngine *enginePointer = nullptr;
        std::atomic<bool> finished{false};
        auto source = std::make_unique<FileAudioSource>(
            (librivox + QLatin1Char('/') + id + QStringLiteral(".wav")).toStdString(),
            [&enginePointer] { return enginePointer && enginePointer->queuedInputBuffers() < 8; },
            [&finished] { finished = true; });
        audioSeconds += source->durationSeconds();
        OnDeviceSpeechEngine engine(&delegate, recognizer,
                                    std::make_shared<FileCaptureBackend>(std::move(source)),
                                    nullptr);
        enginePointer = &engine;
        await(engine.loadModel(QStringLiteral("en-US"))); // the decoder is cached: not timed
        QElapsedTimer timer;
        timer.start();
        await(engine.startTranscribing(AudioSourceType::microphone, std::nullopt));
        while (!finished)
            waitFor(std::chrono::milliseconds(5));
        await(engine.stopTranscribing());
        wallSeconds += static_cast<double>(timer.nsecsElapsed()) / 1e9;
        enginePointer = nullptr;

        const std::string ref = TranscriptionCore::normalizeForScoring(reference(id).toStdString());
        const std::string hyp =
            TranscriptionCore::normalizeForScoring(delegate.lines.join(' ').toStdString());
        errors += TranscriptionCore::wordEditDistance(ref, hyp);
        words += TranscriptionCore::wordCount(ref);
    }
    sched_setaffinity(0, sizeof all, &all);
    std::printf("LibriVox set: %.1f s of audio transcribed in %.2f s on one core\n", audioSeconds,
                wallSeconds);
    std::printf("  real-time factor:   %.3f   (target <= 0.3)\n", wallSeconds / audioSeconds);
    std::printf("  word error rate:    %.3f   (aggregate, after scoring normalisation)\n",
                words ? static_cast<double>(errors) / static_cast<double>(words) : 0.0);
}

/// Notes when loud audio last reached the system-audio capture.
class OnsetWatchingCapture : public AudioCaptureBackend {
public:
    explicit OnsetWatchingCapture(std::shared_ptr<AudioCaptureBackend> inner)
        : m_inner(std::move(inner)) {}

    MicrophoneAccess requestMicrophoneAccess() override {
        return m_inner->requestMicrophoneAccess();
    }
    std::unique_ptr<MicrophoneCapture> makeMicrophoneCapture() override {
        return m_inner->makeMicrophoneCapture();
    }
    std::optional<std::vector<InputDeviceRecord>> inputDevices() override {
        return m_inner->inputDevices();
    }

    std::unique_ptr<SystemAudioCapture> makeSystemAudioCapture() override {
        class Watching : public SystemAudioCapture {
        public:
            Watching(std::unique_ptr<SystemAudioCapture> inner, OnsetWatchingCapture &owner)
                : m_inner(std::move(inner))
                , m_owner(owner) {}
            void start(std::uint32_t rate, CapturedSampleHandler handler,
                       CaptureFailureHandler onFailure) override {
                m_inner->start(
                    rate,
                    [this, rate, handler](const std::byte *bytes, std::size_t length) {
                        m_owner.observe(bytes, length, rate);
                        handler(bytes, length);
                    },
                    std::move(onFailure));
            }
            void stop() override { m_inner->stop(); }

        private:
            std::unique_ptr<SystemAudioCapture> m_inner;
            OnsetWatchingCapture &m_owner;
        };
        return std::make_unique<Watching>(m_inner->makeSystemAudioCapture(), *this);
    }

    std::optional<Clock::time_point> lastLoud() {
        std::lock_guard lock(m_mutex);
        return m_lastLoud;
    }
    void forget() {
        std::lock_guard lock(m_mutex);
        m_lastLoud.reset();
    }

private:
    void observe(const std::byte *bytes, std::size_t length, std::uint32_t rate) {
        const auto now = Clock::now();
        const std::size_t count = length / sizeof(float);
        std::vector<float> samples(count);
        std::memcpy(samples.data(), bytes, count * sizeof(float));
        const std::size_t window = rate / 100; // 10 ms
        std::optional<std::size_t> lastLoudEnd;
        for (std::size_t start = 0; start + window <= count; start += window) {
            double squares = 0;
            for (std::size_t i = start; i < start + window; ++i)
                squares += static_cast<double>(samples[i]) * samples[i];
            if (std::sqrt(squares / static_cast<double>(window)) > 0.01) // above -40 dBFS
                lastLoudEnd = start + window;
        }
        if (!lastLoudEnd)
            return;
        const auto after =
            std::chrono::duration<double>(static_cast<double>(count - *lastLoudEnd) / rate);
        std::lock_guard lock(m_mutex);
        m_lastLoud = now - std::chrono::duration_cast<Clock::duration>(after);
    }

    std::shared_ptr<AudioCaptureBackend> m_inner;
    std::mutex m_mutex;
    std::optional<Clock::time_point> m_lastLoud;
};

void liveFigures(const std::shared_ptr<PocketSphinxRecognizer> &recognizer) {
    auto capture = std::make_shared<OnsetWatchingCapture>(std::make_shared<PulseAudioCapture>());
    RecordingDelegate delegate;
    OnDeviceSpeechEngine engine(&delegate, recognizer, capture, nullptr);
    await(engine.loadModel(QStringLiteral("en-US")));
    await(engine.startTranscribing(AudioSourceType::systemAudio, std::nullopt));

    // Silence first: nothing plays into the default sink.
    waitFor(std::chrono::milliseconds(1000));
    const double cpuBefore = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    waitFor(std::chrono::milliseconds(10000));
    const double idleShare =
        (cpuSeconds() - cpuBefore) / (static_cast<double>(idle.nsecsElapsed()) / 1e9);

    std::vector<double> latencies;
    for (const QString &id : fileIds()) {
        capture->forget();
        const qsizetype before = delegate.lines.size();
        QProcess player;
        player.start(QStringLiteral("paplay"),
                     {librivox + QLatin1Char('/') + id + QStringLiteral(".wav")});
        while (player.state() != QProcess::NotRunning)
            waitFor(std::chrono::milliseconds(20));
        waitFor(std::chrono::milliseconds(2500));
        const auto end = capture->lastLoud();
        if (!end || delegate.lines.size() == before)
            continue;
        const auto confirmed = delegate.confirmedAt.back();
        latencies.push_back(std::chrono::duration<double>(confirmed - *end).count());
    }
    await(engine.stopTranscribing());

    std::printf("Live system audio (%zu utterances played into the default sink):\n",
                latencies.size());
    if (!latencies.empty()) {
        double sum = 0, worst = 0;
        for (double latency : latencies) {
            sum += latency;
            worst = std::max(worst, latency);
        }
        std::printf("  latency, utterance end to confirmed line: mean %.2f s, worst %.2f s   "
                    "(target <= 0.8 s)\n",
                    sum / static_cast<double>(latencies.size()), worst);
    }
    std::printf("  CPU while listening to silence: %.1f %% of one core   (target < 5 %%)\n",
                idleShare * 100);
}

/// A private sound server when none is configured; stopped on destruction.
class PrivateSoundServer {
public:
    bool start() {
        const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (pulseaudio.isEmpty() || !m_runtime.isValid())
            return false;
        const QString socket = m_runtime.filePath(QStringLiteral("socket"));
        QFile config(m_runtime.filePath(QStringLiteral("default.pa")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(
            QStringLiteral("load-module module-native-protocol-unix socket=%1 auth-anonymous=1\n"
                           "load-module module-null-sink sink_name=bench_speakers\n"
                           "set-default-sink bench_speakers\n")
                .arg(socket)
                .toUtf8());
        config.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_runtime.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_server.setProcessEnvironment(environment);
        m_server.start(pulseaudio,
                       {QStringLiteral("-n"), QStringLiteral("-F"), config.fileName(),
                        QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--daemonize=no"),
                        QStringLiteral("--use-pid-file=no")});
        if (!m_server.waitForStarted())
            return false;
        for (int i = 0; i < 50 && !QFile::exists(socket); ++i)
            QThread::msleep(100);
        qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
        return QFile::exists(socket);
    }
    ~PrivateSoundServer() {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            m_server.waitForFinished(3000);
        }
    }

private:
    QTemporaryDir m_runtime;
    QProcess m_server;
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("com.orvinta.*=false"));
    if (fileIds().isEmpty()) {
        std::fprintf(stderr,
                     "bench-engine: the LibriVox set of pocketsphinx-testdata is not installed\n");
        return 1;
    }
    auto recognizer = std::make_shared<PocketSphinxRecognizer>();

    realTimeFactor(recognizer);

    PrivateSoundServer server;
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") && !server.start()) {
        std::printf(
            "Live figures skipped: no sound server (set PULSE_SERVER or install pulseaudio)\n");
    } else {
        liveFigures(recognizer);
    }
    std::printf("Peak memory of the process: %.1f MB   (target < 200 MB)\n",
                static_cast<double>(peakMemoryKiB()) / 1024.0);
    return 0;
}
