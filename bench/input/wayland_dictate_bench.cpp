// Hold to dictate on a wlroots compositor with no X server (headless sway:
// run it under scripts/test-services.sh, start_test_wayland), as sway's
// bindings drive it: orvinta-cli dictate runs, orvinta-cli hold press starts
// a dictation, a recording plays into the virtual microphone, orvinta-cli
// hold release ends it. From the release command's start until the words
// are in a native Wayland text field (goal: 1 s), and what the hold
// commands cost themselves.

#include "InputBenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Orvinta::Bench::report;
using Orvinta::Bench::waitFor;

QString recording(const char *id) {
    return QStringLiteral(
               "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-") +
           QLatin1String(id) + QStringLiteral(".wav");
}

/// Lines a child prints, read as they come.
struct Lines {
    QProcess &process;
    bool fromErrors;
    QString pending;
    QStringList lines;
    bool has(const std::function<bool(const QString &)> &match) {
        pending += QString::fromUtf8(fromErrors ? process.readAllStandardError()
                                                : process.readAllStandardOutput());
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            lines << pending.left(end);
            pending.remove(0, end + 1);
        }
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (match(lines[i])) {
                lines.remove(0, i + 1);
                return true;
            }
        return false;
    }
    bool has(const QString &part) {
        return has([&](const QString &line) { return line.contains(part); });
    }
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QString compositor = qEnvironmentVariable("ORVINTA_TEST_WAYLAND_DISPLAY");
    if (compositor.isEmpty() || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr, "bench-wayland-dictate needs ORVINTA_TEST_WAYLAND_DISPLAY and the "
                             "test sound server: run it under scripts/test-services.sh after "
                             "start_test_wayland\n");
        return 1;
    }
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("WAYLAND_DISPLAY", compositor);
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("XDG_RUNTIME_DIR", home.path());

    QProcess target;
    target.setProcessEnvironment(environment);
    target.start(QStringLiteral(ORVINTA_PASTE_TARGET), {});
    Lines field{target, false, {}, {}};
    if (!waitFor([&] { return field.has(QStringLiteral("ready")); }, 20000)) {
        std::fprintf(stderr, "the Wayland paste target did not get the focus\n");
        return 1;
    }
    QProcess dictate;
    dictate.setProcessEnvironment(environment);
    dictate.start(QStringLiteral(ORVINTA_CLI_PATH), {"dictate", "--verbose"});
    Lines log{dictate, true, {}, {}};
    if (!waitFor([&] { return log.has(QStringLiteral("Ready:")); }, 60000)) {
        std::fprintf(stderr, "orvinta-cli dictate did not get ready\n");
        return 1;
    }
    const auto hold = [&](const char *step) {
        QProcess command;
        command.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        command.start(QStringLiteral(ORVINTA_CLI_PATH), {"hold", step});
        waitFor([&] { return command.state() == QProcess::NotRunning; }, 10000);
        const bool done = command.exitStatus() == QProcess::NormalExit && command.exitCode() == 0;
        return done ? static_cast<double>(timer.nsecsElapsed()) / 1e6 : -1.0;
    };

    std::vector<double> presses;
    std::vector<double> releases;
    // Released after the sentence, and in the middle of it (the recogniser
    // then finishes an utterance under way).
    std::vector<double> afterSentence;
    std::vector<double> midSentence;
    constexpr int runs = 5;
    QString lastText;
    for (int i = 0; i < 2 * runs; ++i) {
        const bool mid = i % 2 == 1;
        target.write("clear\n");
        waitFor([&] { return field.has([](const QString &line) { return line == "text: "; }); },
                5000);
        const double press = hold("press");
        if (press < 0 || !waitFor([&] { return log.has("startDictation complete"); }, 20000)) {
            std::fprintf(stderr, "run %d: the dictation did not start\n", i + 1);
            continue;
        }
        presses.push_back(press);
        QProcess player;
        // 3 s of the 6 s sentence, or the whole 3 s one.
        player.start("paplay", {"--device=orvinta_mic_feed", recording(mid ? "0920" : "0880")});
        if (mid)
            waitFor([] { return false; }, 3000);
        else
            player.waitForFinished(30000);

        QElapsedTimer timer;
        timer.start();
        QProcess release;
        release.setProcessEnvironment(environment);
        release.start(QStringLiteral(ORVINTA_CLI_PATH), {"hold", "release"});
        double arrived = -1;
        waitFor(
            [&] {
                if (arrived < 0 && field.has([&](const QString &line) {
                        if (!line.startsWith("text: ") || line.size() <= 6)
                            return false;
                        lastText = line.mid(6);
                        return true;
                    }))
                    arrived = static_cast<double>(timer.nsecsElapsed()) / 1e6;
                return arrived >= 0 && release.state() == QProcess::NotRunning;
            },
            20000);
        player.waitForFinished(30000);
        if (arrived < 0) {
            std::fprintf(stderr, "run %d: nothing arrived in the field\n", i + 1);
            continue;
        }
        (mid ? midSentence : afterSentence).push_back(arrived);
        waitFor([&] { return log.has("Dictation stopped"); }, 10000);
        waitFor([] { return false; }, 700); // the recording's end, out of the next run
    }
    // The commands alone: taps too short to dictate.
    for (int i = 0; i < runs; ++i) {
        if (hold("press") >= 0)
            releases.push_back(hold("release"));
        waitFor([] { return false; }, 700);
    }
    std::printf("last words in the field: %s\n", lastText.toUtf8().constData());
    report("hold release after the sentence -> words in field", afterSentence, "1000 ms");
    report("hold release mid-sentence -> words in field", midSentence, "1000 ms");
    report("  orvinta-cli hold press, wall time", presses, "-");
    report("  orvinta-cli hold release, wall time", releases, "-");

    dictate.terminate();
    dictate.waitForFinished(10000);
    target.write("quit\n");
    target.waitForFinished(3000);
    return afterSentence.size() + midSentence.size() == 2 * runs ? 0 : 1;
}
