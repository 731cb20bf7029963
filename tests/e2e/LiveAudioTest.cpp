// End to end through a real sound server: the private PulseAudio that
// ./test.sh starts (a null sink as speakers, a remapped source as microphone).

#include "CliProcess.h"
#include "Fakes.h"
#include "Librivox.h"

#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngineBackends/PulseAudioCapture.h>

#include <QFileInfo>
#include <QStandardPaths>

using namespace OrvintaTest;

namespace {

/// A sound server of the test's own, with one null sink as default sink and
/// its monitor as default source, so that killing it leaves the shared one alone.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        QFile config(m_runtime.filePath("default.pa"));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(
            QStringLiteral("load-module module-native-protocol-unix socket=%1 "
                           "auth-anonymous=1\nload-module module-null-sink sink_name=doomed\n"
                           "set-default-sink doomed\nset-default-source doomed.monitor\n")
                .arg(socket())
                .toUtf8());
        config.close();
        m_environment.insert("HOME", m_runtime.path());
        m_environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_environment.insert("PULSE_SERVER", address());
        m_server.setProcessEnvironment(m_environment);
        m_server.start("pulseaudio", {"-n", "-F", config.fileName(), "--exit-idle-time=-1",
                                      "--daemonize=no", "--use-pid-file=no"});
        if (!m_server.waitForStarted())
            return;
        for (int i = 0; i < 50 && !QFileInfo::exists(socket()); ++i)
            QThread::msleep(100);
    }

    ~PrivateSoundServer() { kill(); }

    static bool available() { return !QStandardPaths::findExecutable("pulseaudio").isEmpty(); }
    bool isRunning() const {
        return m_server.state() == QProcess::Running && QFileInfo::exists(socket());
    }
    QString address() const { return "unix:" + socket(); }
    const QProcessEnvironment &environment() const { return m_environment; }

    void kill() {
        m_server.kill(); // nothing to do once it ended
        m_server.waitForFinished();
    }

    /// Unplugs the only sink, and with it the source every stream records from.
    void removeTheDevice() {
        QProcess pactl;
        pactl.setProcessEnvironment(m_environment);
        pactl.start("pactl", {"unload-module", "module-null-sink"});
        pactl.waitForFinished(10000);
        EXPECT_EQ(pactl.exitCode(), 0);
    }

private:
    QString socket() const { return m_runtime.filePath("socket"); }

    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_server;
};

#define REQUIRE_SOUND_SERVER()                                                                     \
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))                                               \
        GTEST_SKIP() << "PULSE_SERVER is not set; ./test.sh provides a private sound server";      \
    if (!QFileInfo::exists(librivoxFile("0880")))                                                  \
    GTEST_SKIP() << "pocketsphinx-testdata is not installed"

/// Starts `orvinta-cli listen` and waits until transcription runs.
bool startListening(
    QProcess &listener, QString &errors, const QStringList &arguments,
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    startCli(listener, QStringList{"listen", "--no-save", "--verbose"} + arguments, environment);
    return readErrorsUntil(listener, "[Speech] Transcription started", errors);
}

TEST(LiveAudio, DeviceListShowsTheVirtualMicrophoneAndNoMonitor) {
    REQUIRE_SOUND_SERVER();
    const CliResult result = runCli({"devices"});
    ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    const QStringList microphones =
        result.lines.filter(QRegularExpression("^\\d+\\tVirtual_Microphone$"));
    EXPECT_EQ(microphones.size(), 1) << result.output.toStdString();
    EXPECT_TRUE(result.lines.filter("onitor").isEmpty()) << result.output.toStdString();

    // An unknown device id is refused with one clear line.
    expectOneLineFailure(
        runCli({"listen", "--no-save", "--source", "microphone", "--device", "4000000"}), 1,
        "orvinta-cli: no input device has the id 4000000 (\"orvinta-cli devices\" lists them)");
}

// System audio: the end-to-end App test, through the panel.
TEST(LiveAudio, MicrophoneRunConfirmsWhatTheMicrophoneHears) {
    REQUIRE_SOUND_SERVER();
    QProcess listener;
    QString errors;
    ASSERT_TRUE(startListening(listener, errors, {"--source", "microphone"}))
        << errors.toStdString();
    play("orvinta_mic_feed", {"0890", "0880"});
    const CliResult result = interrupt(listener, errors);
    EXPECT_FALSE(result.crashed);
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_TRUE(result.errors.contains("[Speech] stop: complete"));
    const QStringList texts = confirmedTexts(result.lines);
    ASSERT_FALSE(texts.isEmpty()) << result.errors.toStdString();
    const double wer = wordErrorRate({"0890", "0880"}, texts);
    std::printf("microphone word error rate: %.3f\n", wer);
    EXPECT_LE(wer, 0.6);
}

TEST(LiveAudio, SoundServerDyingMidRunEndsTheRunWithItsReason) {
    REQUIRE_SOUND_SERVER();
    if (!PrivateSoundServer::available())
        GTEST_SKIP() << "pulseaudio is not installed";

    for (const QString source : {"system", "microphone"}) {
        PrivateSoundServer server;
        ASSERT_TRUE(server.isRunning());
        QProcess listener;
        QString errors;
        ASSERT_TRUE(startListening(listener, errors, {"--source", source}, server.environment()))
            << errors.toStdString();
        QThread::msleep(300);
        QElapsedTimer timer;
        timer.start();
        server.kill();
        // The run notices by itself.
        const CliResult result = finished(listener, errors, 12000);
        EXPECT_FALSE(result.crashed) << source.toStdString();
        EXPECT_EQ(result.exitCode, 1) << result.errors.toStdString();
        EXPECT_TRUE(
            result.errors.contains("orvinta-cli: The sound server stopped: Connection terminated"))
            << result.errors.toStdString();
        EXPECT_TRUE(result.errors.contains("[Speech] stop: complete"));
        EXPECT_LT(timer.elapsed(), 10000);
    }
}

// The engine on the real PulseAudio back end (and a scripted recogniser): a
// recording stream that loses its device reaches the delegate once, and the
// run still stops in order. (A dead server is SoundServerDyingMidRun's case.)
TEST(LiveAudio, CaptureFailureMidRunReachesTheDelegate) {
    REQUIRE_SOUND_SERVER();
    if (!PrivateSoundServer::available())
        GTEST_SKIP() << "pulseaudio is not installed";

    for (const AudioSourceType source :
         {AudioSourceType::systemAudio, AudioSourceType::microphone}) {
        SCOPED_TRACE(std::string(rawValue(source)));
        PrivateSoundServer server;
        ASSERT_TRUE(server.isRunning());
        LogCapture log;
        FakeDelegate delegate;
        OnDeviceSpeechEngine engine(
            &delegate, std::make_shared<ScriptedRecognizer>(),
            std::make_shared<PulseAudioCapture>(server.address().toStdString()),
            std::make_shared<SerialWorker>("live-test"),
            EngineTimings{std::chrono::milliseconds(500), std::chrono::milliseconds(5000)});
        await(engine.loadModel(delegate.locale));
        await(engine.startTranscribing(source, std::nullopt));
        server.removeTheDevice();
        ASSERT_TRUE(processEventsUntil([&] { return !delegate.captureFailures.isEmpty(); }));
        EXPECT_TRUE(delegate.captureFailures.first().startsWith("Audio capture failed: "))
            << delegate.captureFailures.first().toStdString();
        EXPECT_FALSE(delegate.failureOffMainThread);

        QElapsedTimer timer;
        timer.start();
        await(engine.stopTranscribing());
        EXPECT_LT(timer.elapsed(), 5000);
        processEvents();
        EXPECT_EQ(delegate.captureFailures.size(), 1);
        EXPECT_TRUE(log.speech().contains("[Speech] stop: complete"));
    }
}

} // namespace
