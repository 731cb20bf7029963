// What orvinta-cli paste costs on a wlroots compositor with no X server
// (headless sway: run it under scripts/test-services.sh, start_test_wayland):
// 200 characters into a native Wayland text field, the user's clipboard
// given back. Wall time of the command, and until the text is in the field.

#include "InputBenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using Orvinta::Bench::report;
using Orvinta::Bench::waitFor;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QString compositor = qEnvironmentVariable("ORVINTA_TEST_WAYLAND_DISPLAY");
    if (compositor.isEmpty()) {
        std::fprintf(stderr, "bench-wayland-paste needs ORVINTA_TEST_WAYLAND_DISPLAY: run it under "
                             "scripts/test-services.sh after start_test_wayland\n");
        return 1;
    }
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("WAYLAND_DISPLAY", compositor);
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));

    QProcess target;
    target.setProcessEnvironment(environment);
    target.start(QStringLiteral(ORVINTA_PASTE_TARGET), {});
    QString pending;
    QString lastLine;
    const auto readLines = [&] {
        pending += QString::fromUtf8(target.readAllStandardOutput());
        qsizetype end;
        bool any = false;
        while ((end = pending.indexOf('\n')) >= 0) {
            lastLine = pending.left(end);
            pending.remove(0, end + 1);
            any = true;
        }
        return any;
    };
    if (!waitFor([&] { return readLines() && lastLine == "ready"; }, 20000)) {
        std::fprintf(stderr, "the Wayland paste target did not get the focus\n");
        return 1;
    }
    QProcess copy;
    copy.setProcessEnvironment(environment);
    copy.start("wl-copy", {"the user's clipboard"});
    copy.waitForFinished(10000);

    QString text;
    while (text.size() < 200)
        text += QStringLiteral("héllo wörld, ");
    text.truncate(200);
    std::vector<double> wall;
    std::vector<double> inField;
    for (int i = 0; i < 10; ++i) {
        target.write("clear\n");
        waitFor([&] { return readLines() && lastLine == "text: "; }, 5000);
        QProcess cli;
        cli.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        cli.start(QStringLiteral(ORVINTA_CLI_PATH), {"paste", text});
        double arrived = -1;
        waitFor(
            [&] {
                if (arrived < 0 && readLines() && lastLine == "text: " + text)
                    arrived = static_cast<double>(timer.nsecsElapsed()) / 1e6;
                return cli.state() == QProcess::NotRunning;
            },
            20000);
        const double total = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        waitFor([&] { return arrived >= 0 || (readLines() && lastLine == "text: " + text); }, 2000);
        if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            std::fprintf(stderr, "paste %d failed: %s\n", i + 1,
                         cli.readAllStandardError().constData());
            continue;
        }
        wall.push_back(total);
        if (arrived >= 0)
            inField.push_back(arrived);
    }
    report("orvinta-cli paste (200 chars), wall time", wall, "300 ms");
    report("  of which: until the text is in the field", inField, "-");
    target.write("quit\n");
    target.waitForFinished(3000);
    QProcess clear;
    clear.setProcessEnvironment(environment);
    clear.start("wl-copy", {"--clear"});
    clear.waitForFinished(10000);
    return wall.size() == 10 ? 0 : 1;
}
