// bench-listen: `orvinta-cli listen` on the test sound server (run it under
// scripts/test-services.sh: the speakers' null sink and the virtual
// microphone's), with the LibriVox set of pocketsphinx-testdata read in turns
// into the speakers and the microphone, the same script for each run:
//  1. processor time of `--source both` against `--source system`, which
//     hears the computer's side only;
//  2. latency from the end of each utterance, as the sound server carries it
//     (watched on the sink's monitor by parec), to its labelled line on
//     standard output, for each side.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

const QString librivox = QStringLiteral("/usr/share/pocketsphinx/test/data/librivox");
constexpr int sampleRate = 16000;
constexpr int passes = 2;

QElapsedTimer clock_;

double now() {
    return static_cast<double>(clock_.nsecsElapsed()) / 1e9;
}

/// Runs the event loop for a while without spinning.
void waitFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

/// When the sound on a sink last was louder than -40 dBFS, as parec records its monitor.
class LevelWatch {
public:
    explicit LevelWatch(const QString &sink) {
        QObject::connect(&m_parec, &QProcess::readyReadStandardOutput, [this] { read(); });
        m_parec.start(QStringLiteral("parec"),
                      {QStringLiteral("--device=") + sink + QStringLiteral(".monitor"),
                       QStringLiteral("--raw"), QStringLiteral("--format=float32le"),
                       QStringLiteral("--rate=%1").arg(sampleRate), QStringLiteral("--channels=1"),
                       QStringLiteral("--latency-msec=10")});
    }
    ~LevelWatch() {
        m_parec.kill();
        m_parec.waitForFinished();
    }
    bool started() { return m_parec.waitForStarted(); }
    std::optional<double> lastLoud() const { return m_lastLoud; }

private:
    void read() {
        const double arrived = now();
        m_pending += m_parec.readAllStandardOutput();
        const auto count = static_cast<std::size_t>(m_pending.size()) / sizeof(float);
        std::vector<float> samples(count);
        std::memcpy(samples.data(), m_pending.constData(), count * sizeof(float));
        m_pending.remove(0, static_cast<qsizetype>(count * sizeof(float)));
        constexpr std::size_t window = sampleRate / 100; // 10 ms
        std::optional<std::size_t> lastLoudEnd;
        for (std::size_t start = 0; start + window <= count; start += window) {
            double squares = 0;
            for (std::size_t i = start; i < start + window; ++i)
                squares += static_cast<double>(samples[i]) * samples[i];
            if (std::sqrt(squares / window) > 0.01)
                lastLoudEnd = start + window;
        }
        if (lastLoudEnd)
            m_lastLoud = arrived - static_cast<double>(count - *lastLoudEnd) / sampleRate;
    }

    QProcess m_parec;
    QByteArray m_pending;
    std::optional<double> m_lastLoud;
};

struct Line {
    double arrived;
    QString text;
};

/// Processor time of a process so far, in seconds.
double cpuSecondsOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The fields after the command's name, which ends with the last ')'.
    const QString text = QString::fromLatin1(stat.readAll());
    const QStringList fields =
        text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble(); // utime, stime
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Latencies {
    std::vector<double> seconds;
    int missed = 0;

    void print(const char *side) const {
        if (seconds.empty()) {
            std::printf("    %-7s no line\n", side);
            return;
        }
        double sum = 0;
        for (double latency : seconds)
            sum += latency;
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        std::printf("    %-7s mean %.2f s, median %.2f s, worst %.2f s (%zu lines, %d utterances "
                    "without one)\n",
                    side, sum / static_cast<double>(seconds.size()), sorted[sorted.size() / 2],
                    sorted.back(), seconds.size(), missed);
    }
};

struct RunFigures {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    Latencies microphone, computer;
    int echoesDropped = 0;
};

/// One `listen` run with the script played: utterances in turns, first into
/// the speakers, then into the microphone.
std::optional<RunFigures> listenRun(const QString &source, const QStringList &recordings) {
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    QProcess listener;
    listener.setProcessEnvironment(environment);
    std::vector<Line> lines;
    QByteArray pending;
    QObject::connect(&listener, &QProcess::readyReadStandardOutput, [&] {
        const double arrived = now();
        pending += listener.readAllStandardOutput();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            lines.push_back({arrived, QString::fromUtf8(pending.left(end))});
    });
    QString errors;
    QObject::connect(&listener, &QProcess::readyReadStandardError,
                     [&] { errors += QString::fromUtf8(listener.readAllStandardError()); });
    listener.start(QStringLiteral(ORVINTA_CLI_PATH),
                   {QStringLiteral("listen"), QStringLiteral("--no-save"),
                    QStringLiteral("--verbose"), QStringLiteral("--source"), source});
    for (int i = 0; i < 300 && !errors.contains(QStringLiteral("[AppState] Listening started")) &&
                    listener.state() != QProcess::NotRunning;
         ++i)
        waitFor(100);
    if (!errors.contains(QStringLiteral("[AppState] Listening started"))) {
        std::fprintf(stderr, "bench-listen: listen --source %s did not start:\n%s\n",
                     qPrintable(source), qPrintable(errors));
        return std::nullopt;
    }

    LevelWatch speakers(QStringLiteral("orvinta_speakers"));
    LevelWatch microphone(QStringLiteral("orvinta_mic_feed"));
    if (!speakers.started() || !microphone.started()) {
        std::fprintf(stderr, "bench-listen: parec did not start\n");
        return std::nullopt;
    }
    waitFor(1000);

    RunFigures figures;
    const double cpuBefore = cpuSecondsOf(listener.processId());
    const double wallBefore = now();
    const bool twoSided = source == QLatin1String("both");
    for (int pass = 0; pass < passes; ++pass) {
        for (qsizetype i = 0; i < recordings.size(); ++i) {
            for (const bool toMicrophone : {false, true}) {
                const QString sink = toMicrophone ? QStringLiteral("orvinta_mic_feed")
                                                  : QStringLiteral("orvinta_speakers");
                // The microphone reads another recording than the one just heard.
                const QString recording =
                    recordings[(i + (toMicrophone ? 2 : 0)) % recordings.size()];
                const std::size_t before = lines.size();
                QProcess player;
                player.start(QStringLiteral("paplay"),
                             {QStringLiteral("--device=") + sink, recording});
                while (player.state() != QProcess::NotRunning)
                    waitFor(20);
                if (toMicrophone && !twoSided) {
                    waitFor(1500);
                    continue; // nobody listens to it
                }
                const QString label = !twoSided      ? QString()
                                      : toMicrophone ? QStringLiteral("Me: ")
                                                     : QStringLiteral("Others: ");
                const LevelWatch &watch = toMicrophone ? microphone : speakers;
                // Its last line, which a busy machine may delay: the first
                // after the end of the speech, and what follows it closely.
                const auto lastLine = [&]() -> std::optional<double> {
                    std::optional<double> arrived;
                    for (std::size_t l = before; l < lines.size(); ++l)
                        if (lines[l].text.section(QLatin1Char(' '), 1).startsWith(label))
                            arrived = lines[l].arrived;
                    return arrived;
                };
                const double waitStart = now();
                while (now() - waitStart < 5 &&
                       !(lastLine() && watch.lastLoud() && *lastLine() > *watch.lastLoud()))
                    waitFor(20);
                waitFor(700);
                const std::optional<double> end = watch.lastLoud();
                const std::optional<double> arrived = lastLine();
                Latencies &side = toMicrophone ? figures.microphone : figures.computer;
                if (end && arrived && *arrived > *end)
                    side.seconds.push_back(*arrived - *end);
                else
                    ++side.missed;
            }
        }
    }
    figures.cpuSeconds = cpuSecondsOf(listener.processId()) - cpuBefore;
    figures.wallSeconds = now() - wallBefore;
    ::kill(static_cast<pid_t>(listener.processId()), SIGINT);
    listener.waitForFinished(15000);
    figures.echoesDropped = static_cast<int>(
        errors.count(QStringLiteral("Dropped a microphone line that echoes the computer")));
    return figures;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    clock_.start();
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr, "bench-listen: run it under scripts/test-services.sh (its sound "
                             "server has the speakers and the virtual microphone)\n");
        return 1;
    }
    QStringList recordings;
    for (const QString &name :
         QDir(librivox).entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name))
        recordings << librivox + QLatin1Char('/') + name;
    if (recordings.isEmpty()) {
        std::fprintf(stderr, "bench-listen: the LibriVox set of pocketsphinx-testdata is not "
                             "installed\n");
        return 1;
    }

    const std::optional<RunFigures> one = listenRun(QStringLiteral("system"), recordings);
    const std::optional<RunFigures> both = listenRun(QStringLiteral("both"), recordings);
    if (!one || !both)
        return 1;
    std::printf("orvinta-cli listen, %lld utterances read in turns into the speakers and the "
                "microphone:\n",
                static_cast<long long>(2 * passes * recordings.size()));
    std::printf("  processor time, --source system: %.1f s in %.0f s (%.1f %% of one core)\n",
                one->cpuSeconds, one->wallSeconds, 100 * one->cpuSeconds / one->wallSeconds);
    std::printf("  processor time, --source both:   %.1f s in %.0f s (%.1f %% of one core), "
                "%.2f x one source   (goal < 2 x)\n",
                both->cpuSeconds, both->wallSeconds, 100 * both->cpuSeconds / both->wallSeconds,
                both->cpuSeconds / one->cpuSeconds);
    std::printf(
        "  latency, end of speech to its labelled line, --source both   (goal <= 0.35 s):\n");
    both->microphone.print("Me");
    both->computer.print("Others");
    std::printf("    microphone lines dropped as echoes: %d   (none played: each side reads its "
                "own recording)\n",
                both->echoesDropped);
    std::printf("  latency, end of speech to its line, --source system:\n");
    one->computer.print("Others");
    return 0;
}
