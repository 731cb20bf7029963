// bench-reconnect: how soon a run captures again once the sound server is
// back. A private PulseAudio is killed and started again while the engine
// listens to system audio and then to the microphone; the time from the
// moment its socket accepts a connection to the moment capture runs again
// is printed per source (goal: at most 2 s). Needs pulseaudio and the
// PocketSphinx model.

#include "EngineBenchSupport.h"

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngineBackends/PocketSphinxRecognizer.h>
#include <OrvintaEngineBackends/PulseAudioCapture.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Orvinta;
using Orvinta::Bench::await;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int restartsPerSource = 8;

class ResumeDelegate : public Bench::BenchDelegate {
public:
    void captureDidFail(const QString &description) override { failure = description; }
    void setIsReconnecting(bool reconnecting) override {
        if (!reconnecting)
            resumedAt = Clock::now();
    }

    std::optional<QString> failure;
    std::optional<Clock::time_point> resumedAt;
};

/// Runs the event loop until `done` holds or `limit` passed.
bool runUntil(const std::function<bool()> &done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

bool accepts(const std::string &path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

class SoundServer {
public:
    SoundServer() {
        QFile config(m_runtime.filePath(QStringLiteral("default.pa")));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(
            QStringLiteral("load-module module-native-protocol-unix socket=%1 auth-anonymous=1\n"
                           "load-module module-null-sink sink_name=speakers\n"
                           "load-module module-null-sink sink_name=mic_feed\n"
                           "load-module module-remap-source source_name=mic "
                           "master=mic_feed.monitor\n"
                           "set-default-sink speakers\nset-default-source mic\n")
                .arg(QString::fromStdString(socket()))
                .toUtf8());
        config.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_runtime.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_server.setProcessEnvironment(environment);
    }
    ~SoundServer() { kill(); }

    std::string socket() const {
        return m_runtime.filePath(QStringLiteral("socket")).toStdString();
    }

    /// When its socket first accepted a connection; nothing when it did not start.
    std::optional<Clock::time_point> start() {
        m_server.start(QStringLiteral("pulseaudio"),
                       {QStringLiteral("-n"), QStringLiteral("-F"),
                        m_runtime.filePath(QStringLiteral("default.pa")),
                        QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--daemonize=no"),
                        QStringLiteral("--use-pid-file=no")});
        if (!m_server.waitForStarted())
            return std::nullopt;
        // A thread of its own, so that the engine's retries go on meanwhile.
        std::atomic<bool> up{false}, done{false};
        Clock::time_point at;
        std::thread watcher([&] {
            const auto end = Clock::now() + std::chrono::seconds(10);
            while (!accepts(socket()) && Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            at = Clock::now();
            up = accepts(socket());
            done = true;
        });
        runUntil([&] { return done.load(); }, std::chrono::seconds(11));
        watcher.join();
        if (!up)
            return std::nullopt;
        return at;
    }

    void kill() {
        m_server.kill();
        m_server.waitForFinished();
    }

private:
    QTemporaryDir m_runtime;
    QProcess m_server;
};

void measure(AudioSourceType source, SoundServer &server,
             const std::shared_ptr<PocketSphinxRecognizer> &recognizer) {
    ResumeDelegate delegate;
    OnDeviceSpeechEngine engine(&delegate, recognizer,
                                std::make_shared<PulseAudioCapture>("unix:" + server.socket()),
                                nullptr);
    await(engine.loadModel(QStringLiteral("en-US")));
    await(engine.startTranscribing(source, std::nullopt));
    std::vector<double> delays;
    for (int i = 0; i < restartsPerSource && !delegate.failure; ++i) {
        runUntil([] { return false; }, std::chrono::milliseconds(500));
        server.kill();
        // Away for a while, as in a real restart: the engine is retrying.
        runUntil([] { return false; }, std::chrono::milliseconds(1200));
        delegate.resumedAt.reset();
        const std::optional<Clock::time_point> back = server.start();
        if (!back ||
            !runUntil([&] { return delegate.resumedAt.has_value(); }, std::chrono::seconds(10)))
            break;
        delays.push_back(std::chrono::duration<double>(*delegate.resumedAt - *back).count());
    }
    await(engine.stopTranscribing());
    if (delays.empty()) {
        std::printf("  %-12s no figure: %s\n", std::string(rawValue(source)).c_str(),
                    qPrintable(delegate.failure.value_or(QStringLiteral("capture never resumed"))));
        return;
    }
    double sum = 0;
    for (const double delay : delays)
        sum += delay;
    std::printf("  %-12s mean %.3f s, worst %.3f s over %zu restarts   (goal <= 2 s)\n",
                std::string(rawValue(source)).c_str(), sum / static_cast<double>(delays.size()),
                *std::max_element(delays.begin(), delays.end()), delays.size());
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("com.orvinta.*=false"));
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) {
        std::fprintf(stderr, "bench-reconnect: pulseaudio is not installed\n");
        return 1;
    }
    SoundServer server;
    if (!server.start()) {
        std::fprintf(stderr, "bench-reconnect: the private sound server did not start\n");
        return 1;
    }
    auto recognizer = std::make_shared<PocketSphinxRecognizer>();
    std::printf("From the sound server's return (its socket accepts) to capture running again:\n");
    for (const AudioSourceType source : {AudioSourceType::systemAudio, AudioSourceType::microphone})
        measure(source, server, recognizer);
    return 0;
}
