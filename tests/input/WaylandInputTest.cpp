// Orvinta on headless sway with no X server: orvinta-cli pastes into a native Wayland window and
// gives the clipboard back in every format; dictate holds through orvinta-cli hold, as sway's
// bindings run it; doctor names what this compositor offers.

#include "CliProcess.h"
#include "InputTestSupport.h"

#include <OrvintaInput/WaylandKeyboard.h>

#include <QBuffer>
#include <QImage>

#include <csignal>

using namespace Orvinta;
using namespace Orvinta::InputTesting;

namespace {

#define REQUIRE_WAYLAND()                                                                          \
    if (qEnvironmentVariableIsEmpty("ORVINTA_TEST_WAYLAND_DISPLAY"))                               \
    GTEST_SKIP() << "needs a Wayland compositor (./test.sh starts headless sway)"

struct Finished {
    int exitCode = -1;
    QString errors;
};

Finished run(const QString &program, const QStringList &arguments,
             const QProcessEnvironment &environment, const QByteArray &input = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    Finished result;
    if (process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

/// Only the compositor: no X server, settings and runtime folder of their own.
QProcessEnvironment waylandOnly(const QString &compositor, const QTemporaryDir &home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("WAYLAND_DISPLAY", compositor);
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("XDG_RUNTIME_DIR", home.path());
    return environment;
}

/// Every type the clipboard offers, with its content, as wl-paste reads it.
std::map<QString, QByteArray> clipboardContent(const QProcessEnvironment &environment) {
    QProcess list;
    list.setProcessEnvironment(environment);
    list.start("wl-paste", {"--list-types"});
    list.waitForFinished(10000);
    std::map<QString, QByteArray> content;
    for (const QByteArray &type : list.readAllStandardOutput().split('\n'))
        if (!type.isEmpty()) {
            QProcess paste;
            paste.setProcessEnvironment(environment);
            paste.start("wl-paste", {"--no-newline", "--type", QString::fromUtf8(type)});
            paste.waitForFinished(10000);
            content[QString::fromUtf8(type)] = paste.readAllStandardOutput();
        }
    return content;
}

} // namespace

TEST(WaylandPaste, theCliPastesIntoANativeWindowAndEveryClipboardFormatComesBack) {
    REQUIRE_WAYLAND();
    const QString compositor = qEnvironmentVariable("ORVINTA_TEST_WAYLAND_DISPLAY");
    {
        // What the compositor offers, as the back end reports it.
        qputenv("WAYLAND_DISPLAY", compositor.toUtf8());
        const WaylandKeyboard keyboard = openWaylandKeyboard();
        qunsetenv("WAYLAND_DISPLAY");
        EXPECT_TRUE(keyboard.connected && keyboard.virtualKeyboard && keyboard.dataControl);
        EXPECT_EQ(keyboard.unavailableReason, "");
    }

    // No X server: the children know only the compositor, and the user's settings are their own.
    QTemporaryDir home;
    QProcessEnvironment environment = waylandOnly(compositor, home);
    PasteTarget target({}, environment);
    ASSERT_TRUE(target.waitUntilReady());

    QByteArray png;
    QBuffer buffer(&png);
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
    // An image from one program, then text (wl-copy offers it under five names) from another.
    for (const auto &[copyOptions, content] :
         {std::pair<QStringList, QByteArray>{{"--type", "image/png"}, png},
          {{}, QByteArray("before")}}) {
        ASSERT_EQ(run("wl-copy", copyOptions, environment, content).exitCode, 0);
        const std::map<QString, QByteArray> before = clipboardContent(environment);
        ASSERT_FALSE(before.empty());

        const Finished paste =
            run(QStringLiteral(ORVINTA_CLI_PATH), {"paste", "héllo wörld"}, environment);
        EXPECT_EQ(paste.exitCode, 0) << paste.errors.toStdString();
        EXPECT_EQ(paste.errors, "");
        ASSERT_TRUE(target.waitForLine("text: héllo wörld")) << target.lastText().toStdString();
        EXPECT_EQ(clipboardContent(environment), before);
        target.send("clear");
        ASSERT_TRUE(target.waitForLine("text: "));
    }
    // A window busy for seconds (a loaded machine) still gets the text, not
    // the content restored meanwhile.
    ::kill(static_cast<pid_t>(target.processId()), SIGSTOP);
    QProcess busy;
    busy.setProcessEnvironment(environment);
    busy.start(QStringLiteral(ORVINTA_CLI_PATH), {"paste", "late but whole"});
    spin(std::chrono::milliseconds(2500));
    ::kill(static_cast<pid_t>(target.processId()), SIGCONT);
    ASSERT_TRUE(busy.waitForFinished(20000));
    EXPECT_EQ(busy.exitCode(), 0) << busy.readAllStandardError().toStdString();
    EXPECT_TRUE(target.waitForLine("text: late but whole")) << target.lastText().toStdString();

    // The program that serves the restored content ends with its clipboard.
    run("wl-copy", {"--clear"}, environment);

    // A compositor that cannot be reached: exit 1 with one line that says so.
    environment.insert("WAYLAND_DISPLAY", home.filePath("no-such-wayland"));
    const Finished unreachable =
        run(QStringLiteral(ORVINTA_CLI_PATH), {"paste", "lost"}, environment);
    EXPECT_EQ(unreachable.exitCode, 1);
    EXPECT_TRUE(unreachable.errors.startsWith("orvinta-cli: cannot connect to the Wayland display"))
        << unreachable.errors.toStdString();
    EXPECT_EQ(unreachable.errors.count('\n'), 1);
}

// Hold to dictate where only the compositor's bindings see the key: sway runs orvinta-cli hold,
// the recording played into the virtual microphone is pasted into the native Wayland field
// through the virtual keyboard; toggle dictation reaches the same run; doctor says what works.
TEST(WaylandDictation, holdCommandsFromTheCompositorsBindingsDictateIntoANativeWindow) {
    REQUIRE_WAYLAND();
    REQUIRE_DICTATION_AUDIO();
    QTemporaryDir home;
    QProcessEnvironment environment =
        waylandOnly(qEnvironmentVariable("ORVINTA_TEST_WAYLAND_DISPLAY"), home);
    environment.insert("XDG_CURRENT_DESKTOP", "sway");
    const auto cli = [&](const QStringList &arguments) {
        return run(QStringLiteral(ORVINTA_CLI_PATH), arguments, environment);
    };

    // Nothing running yet: one line, exit 1.
    const Finished nobody = cli({"hold", "press"});
    EXPECT_EQ(nobody.exitCode, 1);
    EXPECT_EQ(nobody.errors,
              "orvinta-cli: Orvinta is not running (start orvinta, or orvinta-cli dictate)\n");

    QProcess doctor;
    doctor.setProcessEnvironment(environment);
    doctor.start(QStringLiteral(ORVINTA_CLI_PATH), {"doctor"});
    ASSERT_TRUE(doctor.waitForFinished(30000));
    EXPECT_EQ(doctor.exitCode(), 0);
    const QString report = QString::fromUtf8(doctor.readAllStandardOutput());
    EXPECT_TRUE(report.contains("Paste at the cursor: Wayland virtual keyboard "
                                "(zwp_virtual_keyboard_v1)\n"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("Clipboard: Wayland data control")) << report.toStdString();
    EXPECT_TRUE(report.contains("bindsym --release Control_R exec orvinta-cli hold release\n"))
        << report.toStdString();

    PasteTarget target({}, environment);
    ASSERT_TRUE(target.waitUntilReady());
    QProcess dictate;
    OrvintaTest::startCli(dictate, {"dictate", "--verbose"}, environment);
    QString log;
    ASSERT_TRUE(OrvintaTest::readErrorsUntil(dictate, "Ready: orvinta-cli hold press", log))
        << log.toStdString();

    EXPECT_EQ(cli({"hold", "press"}).exitCode, 0);
    ASSERT_TRUE(OrvintaTest::readErrorsUntil(dictate, "[AppState] startDictation complete", log))
        << log.toStdString();
    OrvintaTest::play("orvinta_mic_feed", {"0880"});
    EXPECT_EQ(cli({"hold", "release"}).exitCode, 0);
    ASSERT_TRUE(
        OrvintaTest::readErrorsUntil(dictate, "[AppState] Dictation stopped, pasted: true", log))
        << log.toStdString();
    ASSERT_TRUE(target.waitForLine([](const QString &line) { return line.startsWith("text: "); }));
    const QString pasted = target.lastText();
    std::printf("pasted: %s\n", pasted.toUtf8().constData());
    EXPECT_GE(wordsHeard(pasted, "0880"), 4) << pasted.toStdString();

    // A second release, as a binding may send, changes nothing; toggle dictation starts and
    // ends a dictation of this run; the application's other toggles are not this run's.
    EXPECT_EQ(cli({"hold", "release"}).exitCode, 0);
    log.clear();
    EXPECT_EQ(cli({"toggle", "dictation"}).exitCode, 0);
    ASSERT_TRUE(OrvintaTest::readErrorsUntil(dictate, "Dictation announced", log))
        << log.toStdString();
    log.clear();
    EXPECT_EQ(cli({"toggle", "dictation"}).exitCode, 0);
    ASSERT_TRUE(OrvintaTest::readErrorsUntil(dictate, "[AppState] hold end", log))
        << log.toStdString();
    const Finished other = cli({"toggle", "overlay"});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_EQ(other.errors, "orvinta-cli: orvinta-cli dictate only dictates: start orvinta to "
                            "toggle overlay\n");

    const OrvintaTest::CliResult stopped = OrvintaTest::interrupt(dictate, log);
    EXPECT_EQ(stopped.exitCode, 0);
    EXPECT_EQ(stopped.lines.value(0), pasted);
    EXPECT_EQ(cli({"hold", "press"}).exitCode, 1);
}
