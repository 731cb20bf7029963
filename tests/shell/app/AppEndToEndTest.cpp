// orvinta as a user meets it: under a real X server with a tray host
// (trayer), the private sound server and the real recogniser.

#include "CliProcess.h"
#include "DesktopDriver.h"
#include "Librivox.h"

#include <OrvintaApp/SessionStore.h>

#include <QDir>
#include <QFile>

using namespace OrvintaTest;
using namespace OrvintaDesktop;

namespace {

#define REQUIRE_DESKTOP()                                                                          \
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") || qEnvironmentVariableIsEmpty("DISPLAY"))     \
        GTEST_SKIP() << "PULSE_SERVER or DISPLAY is not set; ./test.sh provides both";             \
    if (!QFileInfo::exists(librivoxFile("0880")))                                                  \
    GTEST_SKIP() << "pocketsphinx-testdata is not installed"

QStringList sessionTexts(const PrivateHome &home) {
    QStringList texts;
    for (const Orvinta::ConfirmedLine &line :
         Orvinta::SessionStore(home.dataHome()).read().value_or(Orvinta::SessionData()).lines)
        texts << line.text;
    return texts;
}

} // namespace

TEST(App, trayIconOpensThePanelThatTranscribesSystemAudioAndASecondStartHandsOver) {
    REQUIRE_DESKTOP();
    TrayHost tray;
    ASSERT_TRUE(tray.waitUntilReady()) << "trayer did not start";
    PrivateHome home;
    // Not the first start, which would open the panel by itself.
    QDir().mkpath(home.folder.filePath("config/Orvinta"));
    QFile settings(home.folder.filePath("config/Orvinta/Orvinta.conf"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly) &&
                settings.write("[General]\napp.showOverlay=true\n") > 0);
    settings.close();
    App app(home.environment());

    // The icon appears in the tray host.
    ASSERT_TRUE(waitFor([] { return !trayIcon().isNull(); }, 20000)) << app.log().toStdString();
    const QRect icon = trayIcon();
    std::printf("tray icon at %d,%d (%dx%d), %lld ms after the start\n", icon.x(), icon.y(),
                icon.width(), icon.height(), app.elapsed());
    EXPECT_TRUE(app.waitForLog("Tray app ready — look for the waveform icon in the system tray"));

    // A click opens the 340-wide panel under the icon, inside the screen.
    click(icon.center());
    ASSERT_TRUE(app.waitForLog("Panel shown at", 10000)) << app.log().toStdString();
    const auto panel = app.lastPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->window.width(), 340);
    EXPECT_GT(panel->window.top(), icon.bottom());
    EXPECT_LE(panel->window.right(), 1439);
    EXPECT_TRUE(isViewable(panel->window, 340));
    ASSERT_FALSE(panel->startButton.isEmpty());

    // Start with system audio once the model is ready; the recording's words
    // reach the transcript.
    ASSERT_TRUE(app.waitForLog("[Speech] Model ready", 60000)) << app.log().toStdString();
    const QPoint start = panel->window.topLeft() + panel->startButton.center();
    click(start);
    ASSERT_TRUE(app.waitForLog("[AppState] Listening started", 20000)) << app.log().toStdString();
    play("orvinta_speakers", {"0880", "0890"});
    click(start); // now "Stop"
    ASSERT_TRUE(app.waitForLog("[Speech] stop: complete", 20000)) << app.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return !sessionTexts(home).isEmpty(); }, 10000));
    const double wer = wordErrorRate({"0880", "0890"}, sessionTexts(home));
    std::printf("system audio word error rate: %.3f\n", wer);
    EXPECT_LE(wer, 0.6);
    // The same lines stand in the overlay, which opened with the panel at its
    // first frame: 600 x 280, centred, 80 px above the bottom of the screen.
    EXPECT_TRUE(isViewable(QRect(420, 540, 600, 280), 600));
    EXPECT_TRUE(app.waitForLog(QString("Overlay shows %1 lines").arg(sessionTexts(home).size())))
        << app.log().toStdString();

    // A second start opens the first one's panel and ends.
    const int shown = app.count("Panel shown at");
    App second(home.environment());
    ASSERT_TRUE(second.process().waitForFinished(20000));
    EXPECT_EQ(second.process().exitCode(), 0) << second.log().toStdString();
    EXPECT_TRUE(second.log().contains("Orvinta is already running: its panel opens"));
    EXPECT_TRUE(app.waitForLog("Panel shown at", 10000));
    EXPECT_TRUE(waitFor([&] { return app.count("Panel shown at") > shown; }, 10000));
    EXPECT_TRUE(isViewable(panel->window, 340));
}

TEST(App, withoutATrayOrSpeechModelOnWaylandThePanelIsAnXWindowThatExplainsTheSetup) {
    REQUIRE_DESKTOP();
    ASSERT_FALSE(trayerRuns()) << "a tray host is still running";
    PrivateHome home;
    QTemporaryDir noModels;
    QProcessEnvironment environment = home.environment();
    environment.insert("ORVINTA_POCKETSPHINX_MODEL_DIR", noModels.path());
    // A Wayland session whose compositor Orvinta could not use anyway: it
    // runs through X11 by itself.
    environment.insert("WAYLAND_DISPLAY", "orvinta-test-no-compositor");
    environment.insert("XDG_SESSION_TYPE", "wayland");
    App app(environment);
    ASSERT_TRUE(app.waitForLog("Panel shown at", 20000)) << app.log().toStdString();
    EXPECT_TRUE(app.log().contains("The speech model is not installed"));
    EXPECT_TRUE(app.log().contains("Wayland session: Orvinta's windows run through XWayland"));
    const auto panel = app.lastPanel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(isViewable(panel->window, panel->window.width()));
    EXPECT_TRUE(panel->startButton.isEmpty()); // the setup notice instead of the controls
    EXPECT_EQ(app.count("This desktop shows no system tray"), 1);
}

TEST(App, aSecondStartWhileTheCommandLineKeepsTheTranscriptSaysSoAndEnds) {
    REQUIRE_DESKTOP();
    PrivateHome home;
    QProcess listener;
    startCli(listener, {"listen", "--verbose"}, home.environment());
    QString log;
    ASSERT_TRUE(readErrorsUntil(listener, "[Speech] Transcription started", log))
        << log.toStdString();

    App app(home.environment());
    ASSERT_TRUE(app.process().waitForFinished(20000));
    EXPECT_EQ(app.process().exitCode(), 1);
    EXPECT_TRUE(app.log().contains("Another Orvinta program keeps the transcript"))
        << app.log().toStdString();
    listener.terminate();
    EXPECT_TRUE(listener.waitForFinished(20000));
}

TEST(App, withoutADisplayAnswersVersionAndHelpAndSaysWhyItCannotStart) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    const auto orvinta = [&](const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(ORVINTA_APP_PATH, arguments);
        return finished(process, {}, 10000);
    };
    const CliResult version = orvinta({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(QRegularExpression("^orvinta \\d+\\.\\d+\\.\\d+ \\((\\d+|—)\\)\\n$")
                    .match(version.output)
                    .hasMatch())
        << version.output.toStdString();
    const CliResult help = orvinta({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.startsWith("Usage: orvinta")) << help.output.toStdString();
    // Without a display, or with one that does not answer, a start says why
    // in one line and ends instead of dumping core.
    for (const QString &display : {QString(), QString(":987")}) {
        if (!display.isEmpty())
            environment.insert("DISPLAY", display);
        const CliResult refused = orvinta({});
        EXPECT_FALSE(refused.crashed);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(refused.errors.count('\n'), 1) << refused.errors.toStdString();
        EXPECT_TRUE(refused.errors.contains("needs a graphical session"))
            << refused.errors.toStdString();
    }
}
