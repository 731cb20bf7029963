// End to end through a real sound server: the private PulseAudio that
// ./test.sh starts (a null sink as speakers, a remapped source as microphone).

#include "CliProcess.h"

#include <TranscriptionCore/Scoring.h>

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

using namespace OrvintaTest;

namespace {

bool haveSoundServer() {
    return !qEnvironmentVariableIsEmpty("PULSE_SERVER");
}

#define REQUIRE_SOUND_SERVER()                                                                     \
    if (!haveSoundServer())                                                                        \
        GTEST_SKIP() << "PULSE_SERVER is not set; ./test.sh provides a private sound server";      \
    if (!QFileInfo::exists(librivoxFile(QStringLiteral("0880"))))                                  \
    GTEST_SKIP() << "pocketsphinx-testdata is not installed"

/// A running `orvinta-cli listen`.
class Listener {
public:
    explicit Listener(const QStringList &arguments, const QProcessEnvironment &environment =
                                                        QProcessEnvironment::systemEnvironment()) {
        m_process.setProcessEnvironment(environment);
        m_process.start(cliPath(),
                        QStringList{QStringLiteral("listen"), QStringLiteral("--no-save"),
                                    QStringLiteral("--verbose")} +
                            arguments);
    }

    ~Listener() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    /// Waits until the engine logged that transcription runs.
    bool waitUntilListening(int timeoutMs = 20000) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            m_errors += QString::fromUtf8(m_process.readAllStandardError());
            if (m_errors.contains(QStringLiteral("[Speech] Transcription started")))
                return true;
            if (m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(100);
        }
        return false;
    }

    /// Interrupts as Ctrl-C does and collects what was printed.
    CliResult interrupt(int timeoutMs = 15000) {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGINT);
        CliResult result;
        if (!m_process.waitForFinished(timeoutMs))
            ADD_FAILURE() << "orvinta-cli did not stop after Ctrl-C";
        result.crashed = m_process.exitStatus() == QProcess::CrashExit;
        result.exitCode = m_process.exitCode();
        result.lines =
            QString::fromUtf8(m_process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        result.errors = m_errors + QString::fromUtf8(m_process.readAllStandardError());
        return result;
    }

    QString errors() const { return m_errors; }

private:
    QProcess m_process;
    QString m_errors;
};

void play(const QString &device, const QStringList &ids,
          const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    for (const QString &id : ids) {
        QProcess player;
        player.setProcessEnvironment(environment);
        player.start(QStringLiteral("paplay"),
                     {QStringLiteral("--device=") + device, librivoxFile(id)});
        ASSERT_TRUE(player.waitForFinished(30000));
        ASSERT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
        QThread::msleep(600);
    }
}

double wordErrorRate(const QStringList &ids, const QStringList &texts) {
    QStringList references;
    for (const QString &id : ids)
        references << librivoxReference(id);
    const std::string reference =
        TranscriptionCore::normalizeForScoring(references.join(' ').toStdString());
    const std::string heard = TranscriptionCore::normalizeForScoring(texts.join(' ').toStdString());
    std::printf("heard: %s\n", heard.c_str());
    return static_cast<double>(TranscriptionCore::wordEditDistance(reference, heard)) /
           static_cast<double>(TranscriptionCore::wordCount(reference));
}

void expectTranscribed(const QString &source, const QString &device, const QStringList &ids) {
    Listener listener({QStringLiteral("--source"), source});
    ASSERT_TRUE(listener.waitUntilListening()) << listener.errors().toStdString();
    play(device, ids);
    const CliResult result = listener.interrupt();
    EXPECT_FALSE(result.crashed);
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_TRUE(result.errors.contains(QStringLiteral("[Speech] stop: complete")));
    const QStringList texts = confirmedTexts(result.lines);
    ASSERT_FALSE(texts.isEmpty()) << result.errors.toStdString();
    const double wer = wordErrorRate(ids, texts);
    std::printf("%s word error rate: %.3f\n", source.toUtf8().constData(), wer);
    EXPECT_LE(wer, 0.6);
}

TEST(LiveAudio, DeviceListShowsTheVirtualMicrophoneAndNoMonitor) {
    REQUIRE_SOUND_SERVER();
    const CliResult result = runCli({QStringLiteral("devices")});
    ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_EQ(result.lines.filter(QRegularExpression(QStringLiteral("^\\d+\\tVirtual_Microphone$")))
                  .size(),
              1)
        << result.lines.join('\n').toStdString();
    EXPECT_TRUE(result.lines.filter(QStringLiteral("onitor")).isEmpty())
        << result.lines.join('\n').toStdString();

    // An unknown device id is refused with one clear line.
    const CliResult unknown = runCli({QStringLiteral("listen"), QStringLiteral("--no-save"),
                                      QStringLiteral("--source"), QStringLiteral("microphone"),
                                      QStringLiteral("--device"), QStringLiteral("4000000")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.errors.trimmed(),
              QStringLiteral("orvinta-cli: Could not configure audio input device"));
}

TEST(LiveAudio, SystemAudioRunConfirmsWhatTheSpeakersPlay) {
    REQUIRE_SOUND_SERVER();
    expectTranscribed(QStringLiteral("system"), QStringLiteral("orvinta_speakers"),
                      {QStringLiteral("0880"), QStringLiteral("0890")});
}

TEST(LiveAudio, MicrophoneRunConfirmsWhatTheMicrophoneHears) {
    REQUIRE_SOUND_SERVER();
    expectTranscribed(QStringLiteral("microphone"), QStringLiteral("orvinta_mic_feed"),
                      {QStringLiteral("0890"), QStringLiteral("0880")});
}

TEST(LiveAudio, SoundServerDyingMidRunNeitherCrashesNorHangs) {
    REQUIRE_SOUND_SERVER();
    const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (pulseaudio.isEmpty())
        GTEST_SKIP() << "pulseaudio is not installed";

    for (const QString source : {"system", "microphone"}) {
        // A server of our own, so killing it leaves the shared one alone.
        QTemporaryDir runtime;
        const QString socket = runtime.filePath(QStringLiteral("socket"));
        QFile config(runtime.filePath(QStringLiteral("default.pa")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(
            QStringLiteral("load-module module-native-protocol-unix socket=%1 auth-anonymous=1\n"
                           "load-module module-null-sink sink_name=doomed\n"
                           "set-default-sink doomed\nset-default-source doomed.monitor\n")
                .arg(socket)
                .toUtf8());
        config.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), runtime.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
        QProcess server;
        server.setProcessEnvironment(environment);
        server.start(pulseaudio,
                     {QStringLiteral("-n"), QStringLiteral("-F"), config.fileName(),
                      QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--daemonize=no"),
                      QStringLiteral("--use-pid-file=no")});
        ASSERT_TRUE(server.waitForStarted());
        for (int i = 0; i < 50 && !QFileInfo::exists(socket); ++i)
            QThread::msleep(100);

        Listener listener({QStringLiteral("--source"), source}, environment);
        ASSERT_TRUE(listener.waitUntilListening()) << listener.errors().toStdString();
        QThread::msleep(300);
        server.kill();
        server.waitForFinished();
        QThread::msleep(500);

        QElapsedTimer timer;
        timer.start();
        const CliResult result = listener.interrupt(12000);
        EXPECT_FALSE(result.crashed) << source.toStdString();
        EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
        EXPECT_TRUE(result.errors.contains(QStringLiteral("[Speech] stop: complete")));
        EXPECT_LT(timer.elapsed(), 10000);
    }
}

} // namespace
