// bench-soak: a long listening run. The LibriVox set of pocketsphinx-testdata,
// read over and over for MINUTES (default 30), plays at real time into the
// sound server's default sink while `orvinta-cli listen --source system`
// and, where there is a display, orvinta itself (overlay shown, translating
// into Spanish) listen to it. Every minute it prints each one's resident
// memory (and of it the anonymous part: heap and other private memory, not
// mapped files), processor use and lines so far; at the end the growth of
// resident memory from minute 5 on. Run it against the tests' private services:
//   source scripts/test-services.sh; start_test_services; build/bench/shell/cli/bench-soak 30

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

const QString librivox = QStringLiteral("/usr/share/pocketsphinx/test/data/librivox");

bool run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

/// Resident memory in MB and processor seconds so far of a running process.
struct Usage {
    double rssMb = 0;
    double anonMb = 0; // the heap and other private memory, not mapped files
    double cpuSeconds = 0;
};

std::optional<Usage> usageOf(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!status.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    Usage usage;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            usage.rssMb = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
        else if (line.startsWith("RssAnon:"))
            usage.anonMb = line.mid(8).trimmed().split(' ').value(0).toDouble() / 1024;
    // utime and stime: fields 14 and 15, counted after the command name.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    usage.cpuSeconds =
        (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return usage;
}

/// One listening program under watch.
struct Listener {
    QString name;
    std::unique_ptr<QProcess> process;
    std::function<long()> lines;
    std::vector<Usage> samples;
};

/// orvinta with a home of its own: overlay shown, the computer's sound,
/// translated into Spanish; started listening through its socket.
std::unique_ptr<QProcess> startApp(const QString &home) {
    QDir().mkpath(home + QStringLiteral("/config/Orvinta"));
    QFile preferences(home + QStringLiteral("/config/Orvinta/Orvinta.conf"));
    if (!preferences.open(QIODevice::WriteOnly))
        return nullptr;
    preferences.write("[General]\napp.selectedSource=systemAudio\napp.showOverlay=true\n"
                      "app.targetLanguage=es\napp.soundEnabled=false\n");
    preferences.close();
    auto app = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app->setProcessEnvironment(environment);
    app->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app->start(QStringLiteral(ORVINTA_APP_PATH), {});
    if (!app->waitForStarted())
        return nullptr;
    // The socket answers once the application runs; the recogniser may load a while.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        QProcess toggle;
        toggle.setProcessEnvironment(environment);
        toggle.start(QStringLiteral(ORVINTA_CLI_PATH),
                     {QStringLiteral("toggle"), QStringLiteral("recording")});
        if (toggle.waitForFinished(10000) && toggle.exitCode() == 0)
            return app;
        QThread::msleep(500);
    }
    std::fprintf(stderr, "bench-soak: orvinta did not start listening\n");
    return nullptr;
}

long sessionLines(const QString &dataHome) {
    QFile file(dataHome + QStringLiteral("/Orvinta/session.json"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return QJsonDocument::fromJson(file.readAll())
        .object()
        .value(QStringLiteral("lines"))
        .toArray()
        .size();
}

void stop(QProcess &process) {
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    const int minutes = argc > 1 ? std::max(6, QString::fromLocal8Bit(argv[1]).toInt()) : 30;

    QStringList set;
    for (const QString &name :
         QDir(librivox).entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name))
        set << librivox + QLatin1Char('/') + name;
    if (set.isEmpty()) {
        std::fprintf(stderr, "bench-soak: the LibriVox set of pocketsphinx-testdata is not "
                             "installed\n");
        return 1;
    }
    QTemporaryDir folder;
    const QString once = folder.filePath(QStringLiteral("set.wav"));
    const QString recording = folder.filePath(QStringLiteral("long.wav"));
    // The set again and again, cut to the run's length plus a minute.
    if (!run(QStringLiteral("sox"), set + QStringList{once}) ||
        !run(QStringLiteral("sox"),
             {once, recording, QStringLiteral("repeat"), QStringLiteral("200"),
              QStringLiteral("trim"), QStringLiteral("0"), QString::number((minutes + 1) * 60)})) {
        std::fprintf(stderr, "bench-soak: sox could not join the recording\n");
        return 1;
    }

    std::vector<Listener> listeners;
    {
        Listener cli{QStringLiteral("orvinta-cli listen"), std::make_unique<QProcess>(), {}, {}};
        cli.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        cli.process->start(QStringLiteral(ORVINTA_CLI_PATH),
                           {QStringLiteral("listen"), QStringLiteral("--source"),
                            QStringLiteral("system"), QStringLiteral("--no-save")});
        if (!cli.process->waitForStarted())
            return 1;
        auto lines = std::make_shared<long>(0);
        QProcess *process = cli.process.get();
        QObject::connect(process, &QProcess::readyReadStandardOutput, [process, lines] {
            *lines += process->readAllStandardOutput().count('\n');
        });
        cli.lines = [lines] { return *lines; };
        listeners.push_back(std::move(cli));
    }
    const QString appHome = folder.filePath(QStringLiteral("app"));
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("No DISPLAY: orvinta itself is not measured.\n");
    } else if (std::unique_ptr<QProcess> app = startApp(appHome)) {
        const QString dataHome = appHome + QStringLiteral("/data");
        listeners.push_back({QStringLiteral("orvinta (overlay, translating)"),
                             std::move(app),
                             [dataHome] { return sessionLines(dataHome); },
                             {}});
    } else {
        return 1;
    }
    QThread::sleep(5); // the recogniser loads
    QProcess player;
    player.start(QStringLiteral("paplay"), {recording});
    if (!player.waitForStarted())
        return 1;

    std::printf("%d minutes of speech played at real time; each minute: resident memory (MB) "
                "with its anonymous part, processor use (%% of one core), lines so far\n",
                minutes);
    std::printf("minute");
    for (const Listener &listener : listeners)
        std::printf(" | %-44s", qPrintable(listener.name));
    std::printf("\n");
    std::vector<double> lastCpu(listeners.size(), 0);
    for (int minute = 0; minute <= minutes; ++minute) {
        // Waits in the event loop (the listener's lines arrive there) without
        // spinning: a busy bench would take a core from what it measures.
        if (minute > 0) {
            QEventLoop wait;
            QTimer::singleShot(60000, &wait, &QEventLoop::quit);
            wait.exec();
        }
        std::printf("%6d", minute);
        for (std::size_t i = 0; i < listeners.size(); ++i) {
            Listener &listener = listeners[i];
            const std::optional<Usage> usage = usageOf(listener.process->processId());
            if (!usage || listener.process->state() == QProcess::NotRunning) {
                listener.process->waitForFinished(1000);
                std::fprintf(stderr, "\nbench-soak: %s has ended (%s %d)\n",
                             qPrintable(listener.name),
                             listener.process->exitStatus() == QProcess::CrashExit
                                 ? "killed by a signal or crashed,"
                                 : "exit status",
                             listener.process->exitCode());
                return 1;
            }
            const double cpu = minute > 0 ? (usage->cpuSeconds - lastCpu[i]) / 60 * 100 : 0;
            lastCpu[i] = usage->cpuSeconds;
            listener.samples.push_back(*usage);
            std::printf(" | %6.1f MB (%6.1f anon) %5.1f %% %5ld lines", usage->rssMb, usage->anonMb,
                        cpu, listener.lines());
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    stop(player);
    for (Listener &listener : listeners) {
        const Usage &fifth = listener.samples[5];
        const Usage &last = listener.samples.back();
        std::printf("%s: resident memory %+.1f MB (anonymous %+.1f MB) from minute 5 to minute "
                    "%d (goal < 5 MB); %.1f %% of one core on average; %.1f lines a minute\n",
                    qPrintable(listener.name), last.rssMb - fifth.rssMb, last.anonMb - fifth.anonMb,
                    minutes,
                    (last.cpuSeconds - listener.samples.front().cpuSeconds) / (minutes * 60) * 100,
                    static_cast<double>(listener.lines()) / minutes);
        stop(*listener.process);
    }
    return 0;
}
