// bench-app-start: how soon orvinta's tray icon appears after the process
// starts, how much memory the running application holds while it listens
// with 500 lines in the overlay, and how much processor time it takes while
// nothing is said. Needs an X server with no other tray host and the sound server
// (./test.sh's, or scripts/test-services.sh).

#include "DesktopDriver.h"

#include <OrvintaApp/SessionStore.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

using namespace OrvintaDesktop;

namespace {

QProcessEnvironment privateHome(const QTemporaryDir &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", home.path());
    return env;
}

/// A memory figure of a process in MiB ("Rss:" or "Pss:" of its rollup); 0
/// when it cannot be read.
double memoryMiB(qint64 pid, const QByteArray &field) {
    QFile status(QString("/proc/%1/smaps_rollup").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

/// Processor time the process has used (user and system), in seconds.
double cpuSeconds(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The fields after the command name, which is in parentheses: utime is
    // the 12th of them and stime the 13th.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

/// The share of one core the process uses over `seconds`.
double cpuShare(qint64 pid, int seconds) {
    const double before = cpuSeconds(pid);
    QThread::sleep(seconds);
    return (cpuSeconds(pid) - before) / seconds;
}

/// A saved transcript of 500 lines, which the overlay shows at start.
bool seedTranscript(const QTemporaryDir &home) {
    Orvinta::SessionData session;
    for (int i = 1; i <= 500; ++i)
        session.lines.append({QUuid::createUuid(),
                              QString("Line %1 of a long session, as a talk would give it.").arg(i),
                              780000000.0 + i});
    return !Orvinta::SessionStore(home.filePath("data")).save(session).error;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::printf("bench-app-start: needs DISPLAY and PULSE_SERVER (source "
                    "scripts/test-services.sh; start_test_services)\n");
        return 0;
    }
    TrayHost tray;
    if (!tray.waitUntilReady()) {
        std::fprintf(stderr, "bench-app-start: trayer did not start\n");
        return 1;
    }

    constexpr int runs = 7;
    std::vector<qint64> iconTimes;
    for (int i = 0; i < runs; ++i) {
        QTemporaryDir home;
        App orvinta(privateHome(home));
        if (!waitFor([] { return !trayIcon().isNull(); }, 20000)) {
            std::fprintf(stderr, "bench-app-start: no tray icon\n%s\n", qPrintable(orvinta.log()));
            return 1;
        }
        iconTimes.push_back(orvinta.elapsed());
        orvinta.process().terminate();
        orvinta.process().waitForFinished(5000);
        waitFor([] { return trayIcon().isNull(); }, 5000);
    }
    std::sort(iconTimes.begin(), iconTimes.end());
    std::printf("process start -> tray icon shown (%d runs, polled every ~20 ms): min %lld ms, "
                "median %lld ms, max %lld ms (goal: 500 ms)\n",
                runs, iconTimes.front(), iconTimes[runs / 2], iconTimes.back());

    QTemporaryDir home;
    if (!seedTranscript(home)) {
        std::fprintf(stderr, "bench-app-start: cannot write the transcript\n");
        return 1;
    }
    App orvinta(privateHome(home));
    const qint64 pid = orvinta.process().processId();
    if (!waitFor([] { return !trayIcon().isNull(); }, 20000) ||
        !orvinta.waitForLog("[Speech] Model ready", 60000))
        return 1;
    click(trayIcon().center());
    if (!orvinta.waitForLog("Panel shown at", 10000))
        return 1;
    const double idle = memoryMiB(pid, "Rss:");
    const auto panel = orvinta.lastPanel();
    click(panel->window.topLeft() + panel->startButton.center());
    if (!orvinta.waitForLog("[AppState] Listening started", 20000))
        return 1;
    QProcess player;
    player.start("paplay",
                 {"--device=orvinta_speakers", "/usr/share/pocketsphinx/test/data/librivox/"
                                               "sense_and_sensibility_01_austen_64kb-0890.wav"});
    double peak = 0;
    double peakProportional = 0;
    while (!player.waitForFinished(100)) {
        peak = std::max(peak, memoryMiB(pid, "Rss:"));
        peakProportional = std::max(peakProportional, memoryMiB(pid, "Pss:"));
    }
    // Shared libraries count whole in the resident figure (under Xvfb that
    // includes Mesa's software renderer with LLVM); the proportional one
    // divides them among the processes that map them.
    std::printf("resident memory with 500 lines in the overlay: %.1f MiB with the panel open, at "
                "most %.1f MiB while listening to system audio (proportional: %.1f MiB) (goal: < "
                "250 MB)\n",
                idle, peak, peakProportional);

    // Nothing said: first still listening to silence, then stopped.
    QThread::sleep(2);
    const double listeningToSilence = cpuShare(pid, 10);
    click(panel->window.topLeft() + panel->startButton.center());
    if (!orvinta.waitForLog("[AppState] stopListening", 20000))
        return 1;
    QThread::sleep(2);
    const double stopped = cpuShare(pid, 10);
    std::printf("processor while nothing is said, overlay shown: %.2f %% of a core listening to "
                "silence, %.2f %% stopped (goal: < 2 %%)\n",
                100 * listeningToSilence, 100 * stopped);
    return 0;
}
