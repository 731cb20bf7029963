// End to end through a real sound server: the private PulseAudio that
// ./test.sh starts (a null sink as speakers, a remapped source as microphone).

#include "CliProcess.h"
#include "Fakes.h"
#include "Librivox.h"
#include "SoundServer.h"

#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngineBackends/PulseAudioCapture.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>
#include <mutex>
#include <numbers>

using namespace OrvintaTest;

namespace {

/// A PipeWire of the test's own with its PulseAudio service, a session bus
/// for WirePlumber and a null sink as default sink.
class PrivatePipeWire {
public:
    PrivatePipeWire() {
        const QString script = QStringLiteral(
            "export XDG_RUNTIME_DIR=$0 HOME=$0 PULSE_SERVER=unix:$0/pulse/native\n"
            "pipewire & sleep 1; wireplumber & pipewire-pulse &\n"
            "for i in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done\n"
            "pactl load-module module-null-sink sink_name=orvinta_pw object.linger=1 "
            "media.class=Audio/Sink >/dev/null\n"
            // without WirePlumber ready this answers "Not supported"
            "for i in $(seq 100); do pactl set-default-sink orvinta_pw 2>/dev/null && break; "
            "sleep 0.1; done\necho ready\nwait\n");
        m_environment.insert("PULSE_SERVER", address());
        // A session of its own, so that the whole group ends with it.
        m_server.start("setsid",
                       {"dbus-run-session", "--", "bash", "-c", script, m_runtime.path()});
        m_server.waitForStarted();
        QElapsedTimer timer;
        timer.start();
        while (!m_ready && m_server.state() == QProcess::Running && timer.elapsed() < 20000) {
            m_server.waitForReadyRead(100);
            m_ready = m_server.readAllStandardOutput().contains("ready");
        }
    }
    ~PrivatePipeWire() {
        if (m_server.state() == QProcess::Running)
            ::kill(-static_cast<pid_t>(m_server.processId()), SIGTERM);
        m_server.waitForFinished();
    }

    static bool available() {
        for (const char *program :
             {"pipewire", "pipewire-pulse", "wireplumber", "dbus-run-session", "setsid"})
            if (QStandardPaths::findExecutable(program).isEmpty())
                return false;
        return true;
    }
    bool isRunning() const { return m_ready && m_server.state() == QProcess::Running; }
    QString address() const { return "unix:" + m_runtime.filePath("pulse/native"); }
    const QProcessEnvironment &environment() const { return m_environment; }

private:
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_server;
    bool m_ready = false;
};

constexpr double toneAmplitude = 0.37;

/// A 16 kHz mono WAV file of a sine tone at the level toneSeconds() expects.
QString toneFile(const QTemporaryDir &folder, double frequency, double seconds) {
    const QString path = folder.filePath(QString("tone-%1.wav").arg(frequency));
    QProcess sox;
    sox.start("sox",
              {"-n", "-r", "16000", "-c", "1", "-b", "16", path, "synth", QString::number(seconds),
               "sine", QString::number(frequency), "vol", QString::number(toneAmplitude)});
    EXPECT_TRUE(sox.waitForFinished() && sox.exitCode() == 0)
        << sox.readAllStandardError().toStdString();
    return path;
}

/// Plays `file` as the application `name`.
void startPlaying(QProcess &player, const QString &name, const QString &file,
                  const QProcessEnvironment &environment) {
    player.setProcessEnvironment(environment);
    player.start("paplay", {"--client-name=" + name, "--property=application.name=" + name, file});
    ASSERT_TRUE(player.waitForStarted());
}

/// The mean power of `samples` at `frequency` (Goertzel), sampled at 16 kHz.
double powerAt(const std::vector<float> &samples, double frequency) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / 16000);
    double previous = 0, beforePrevious = 0;
    for (const float sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    return samples.empty() ? 0 : power / static_cast<double>(samples.size() * samples.size());
}

/// How many seconds of the test tones' level `samples` hold (16 kHz).
double toneSeconds(const std::vector<float> &samples) {
    double energy = 0;
    for (const float sample : samples)
        energy += static_cast<double>(sample) * sample;
    return energy / (toneAmplitude * toneAmplitude / 2) / 16000;
}

/// What one application capture delivered, from the back end's thread.
struct CaptureLog {
    std::mutex lock;
    std::vector<float> samples;
    std::vector<bool> waiting; // each state told, in order
    std::vector<std::string> failures;

    std::vector<float> takeSamples() {
        const std::lock_guard<std::mutex> guard(lock);
        return std::exchange(samples, {});
    }
    bool saysWaiting(bool state) {
        const std::lock_guard<std::mutex> guard(lock);
        return !waiting.empty() && waiting.back() == state;
    }
};

/// Alpha and Beta play tones into one sink; only Alpha's is recorded, and
/// Alpha's next stream is recorded after its first ended, with a wait between.
void expectOneApplicationFollowed(const QString &server, const QProcessEnvironment &environment) {
    QTemporaryDir tones;
    const QString alphaTone = toneFile(tones, 440, 2), betaTone = toneFile(tones, 1500, 2),
                  alphaAgain = toneFile(tones, 660, 1);
    PulseAudioCapture backend(server.toStdString());
    CaptureLog log;
    std::unique_ptr<ApplicationAudioCapture> capture = backend.makeApplicationAudioCapture();
    capture->start(
        16000, "alpha",
        [&log](const std::byte *bytes, std::size_t length) {
            const std::lock_guard<std::mutex> guard(log.lock);
            const auto *first = reinterpret_cast<const float *>(bytes);
            log.samples.insert(log.samples.end(), first, first + length / sizeof(float));
        },
        [&log](CaptureFailureKind, std::string reason) {
            const std::lock_guard<std::mutex> guard(log.lock);
            log.failures.push_back(reason);
        },
        [&log](bool waiting) {
            const std::lock_guard<std::mutex> guard(log.lock);
            log.waiting.push_back(waiting);
        });
    ASSERT_TRUE(processEventsUntil([&] { return log.saysWaiting(true); }));

    QProcess alpha, beta;
    startPlaying(alpha, "Alpha", alphaTone, environment);
    startPlaying(beta, "Beta", betaTone, environment);
    ASSERT_TRUE(processEventsUntil([&] { return log.saysWaiting(false); }));
    QStringList names; // once both players have their streams
    EXPECT_TRUE(processEventsUntil([&] {
        names.clear();
        for (const PlayingApplication &application :
             playingApplications(backend.playbackStreams().value_or(std::vector<PlaybackStream>{})))
            names << QString::fromStdString(application.name);
        return names.size() == 2;
    }));
    EXPECT_TRUE(names.contains("Alpha") && names.contains("Beta"))
        << names.join(", ").toStdString();
    ASSERT_TRUE(alpha.waitForFinished(10000) && beta.waitForFinished(10000));
    ASSERT_TRUE(processEventsUntil([&] { return log.saysWaiting(true); }));
    const std::vector<float> first = log.takeSamples();
    std::printf("first stream: %.2f s of tone\n", toneSeconds(first));
    EXPECT_GT(toneSeconds(first), 1.8);                          // its start too
    EXPECT_GT(powerAt(first, 440), 1000 * powerAt(first, 1500)); // Beta is not in it

    // A new stream of the same application, while the capture waited.
    QProcess again;
    startPlaying(again, "Alpha", alphaAgain, environment);
    ASSERT_TRUE(again.waitForFinished(10000));
    ASSERT_TRUE(
        processEventsUntil([&] { return log.saysWaiting(true) && log.waiting.size() >= 4; }));
    const std::vector<float> second = log.takeSamples();
    EXPECT_GT(toneSeconds(second), 0.8);
    EXPECT_GT(powerAt(second, 660), 1000 * powerAt(second, 440));
    capture->stop();
    EXPECT_EQ(log.waiting, (std::vector<bool>{true, false, true, false, true}));
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

#define REQUIRE_SOUND_SERVER()                                                                     \
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))                                               \
        GTEST_SKIP() << "PULSE_SERVER is not set; ./test.sh provides a private sound server";      \
    if (!QFileInfo::exists(librivoxFile("0880")))                                                  \
    GTEST_SKIP() << "pocketsphinx-testdata is not installed"

#define REQUIRE_PRIVATE_SOUND_SERVER()                                                             \
    REQUIRE_SOUND_SERVER();                                                                        \
    if (!PrivateSoundServer::available())                                                          \
    GTEST_SKIP() << "pulseaudio is not installed"

/// One `orvinta-cli listen` run and what it wrote so far.
struct Listener {
    QProcess process;
    QString output, errors;

    /// Starts it; true once transcription runs.
    bool start(const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
        startCli(process, QStringList{"listen", "--no-save", "--verbose"} + arguments, environment);
        return says("[Speech] Transcription started");
    }
    /// Reads on until `done` holds, the run ends or 30 s pass; whether `done` holds.
    bool readUntil(const std::function<bool()> &done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && process.state() != QProcess::NotRunning && timer.elapsed() < 30000) {
            process.waitForReadyRead(50);
            output += QString::fromUtf8(process.readAllStandardOutput());
            errors += QString::fromUtf8(process.readAllStandardError());
        }
        return done();
    }
    /// Whether it says `text` on standard error in time; a failure showing what it said if not.
    bool says(const QString &text) {
        const bool said = readUntil([&] { return errors.contains(text); });
        EXPECT_TRUE(said) << text.toStdString() << " was not said:\n" << errors.toStdString();
        return said;
    }
    /// Ends it as Ctrl-C does, expecting a clean end; its output: all it printed.
    CliResult stop() {
        CliResult result = interrupt(process, errors);
        EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
        result.output = output + result.output;
        result.lines = result.output.split('\n', Qt::SkipEmptyParts);
        return result;
    }
};

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

// One application's sound, through the PulseAudio back end on both sound
// servers a desktop may run.
TEST(LiveAudio, ApplicationCaptureRecordsOneApplicationAndFollowsItsNextStream) {
    REQUIRE_PRIVATE_SOUND_SERVER();
    {
        SCOPED_TRACE("PulseAudio");
        PrivateSoundServer server;
        ASSERT_TRUE(server.isRunning());
        expectOneApplicationFollowed(server.address(), server.environment());
    }
    if (!PrivatePipeWire::available()) {
        std::printf("PipeWire is not installed: its run is left out\n");
        return;
    }
    SCOPED_TRACE("PipeWire");
    PrivatePipeWire server;
    ASSERT_TRUE(server.isRunning());
    expectOneApplicationFollowed(server.address(), server.environment());
}

// orvinta-cli on one application: it waits for it by name, hears it and not
// the application playing beside it, and goes on with its next stream.
TEST(LiveAudio, ListeningToOneApplicationHearsItAloneAndFollowsItsNextStream) {
    REQUIRE_SOUND_SERVER();
    expectOneLineFailure(runCli({"listen", "--no-save", "--source", "app"}), 2, "--app NAME");

    Listener listener;
    ASSERT_TRUE(listener.start({"--source", "app", "--app", "alpha"}));
    const auto waitsFor = [&](qsizetype times) {
        return listener.readUntil(
            [&] { return listener.errors.count("\nWaiting for alpha to play sound\n") == times; });
    };
    ASSERT_TRUE(waitsFor(1)) << listener.errors.toStdString();

    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess alpha, beta;
    startPlaying(alpha, "Alpha", librivoxFile("0880"), environment);
    startPlaying(beta, "Beta", librivoxFile("0890"), environment);
    CliResult apps; // once both players have their streams
    EXPECT_TRUE(processEventsUntil([&] {
        apps = runCli({"apps"});
        return apps.lines.filter(QRegularExpression("^(Alpha|Beta)\t.*playing")).size() == 2;
    })) << apps.output.toStdString()
        << apps.errors.toStdString();
    EXPECT_EQ(apps.exitCode, 0);
    ASSERT_TRUE(alpha.waitForFinished(30000) && beta.waitForFinished(30000));
    ASSERT_TRUE(waitsFor(2)) << listener.errors.toStdString();
    QProcess again;
    startPlaying(again, "Alpha", librivoxFile("0920"), environment);
    ASSERT_TRUE(again.waitForFinished(30000));
    ASSERT_TRUE(waitsFor(3)) << listener.errors.toStdString();

    const CliResult result = listener.stop();
    EXPECT_EQ(result.errors.count("[Speech] calling analyzer.start"), 1); // one recogniser run
    // Each line is labelled with the application's name as it was asked for.
    const QStringList texts = textsOf("alpha", result.lines);
    EXPECT_EQ(texts.size(), result.lines.size()) << result.output.toStdString();
    // Beta said the words left out; Alpha did not.
    expectHeard("one application", {"0880", "0920"}, texts, 0.6,
                {"unless", "rather", "cold", "hearted", "selfish"});
}

// System audio: the end-to-end App test, through the panel.
TEST(LiveAudio, MicrophoneRunConfirmsWhatTheMicrophoneHears) {
    REQUIRE_SOUND_SERVER();
    Listener listener;
    ASSERT_TRUE(listener.start({"--source", "microphone"}));
    play("orvinta_mic_feed", {"0890", "0880"});
    const CliResult result = listener.stop();
    EXPECT_FALSE(result.crashed);
    EXPECT_TRUE(result.errors.contains("[Speech] stop: complete"));
    const QStringList texts = confirmedTexts(result.lines);
    ASSERT_FALSE(texts.isEmpty()) << result.errors.toStdString();
    expectHeard("microphone", {"0890", "0880"}, texts, 0.6);
}

/// The recording of `ids` whose words `text` has most of, in order; empty
/// where none stands out.
QString nearestRecording(const QString &text, const QStringList &ids) {
    const auto words = [](const QString &line) {
        return QString::fromStdString(TranscriptionCore::normalizeForScoring(line.toStdString()))
            .split(' ', Qt::SkipEmptyParts);
    };
    const QStringList heard = words(text);
    QString nearest;
    qsizetype most = 0;
    for (const QString &id : ids) {
        // The longest common subsequence of words.
        const QStringList said = words(librivoxReference(id));
        std::vector<qsizetype> row(static_cast<std::size_t>(said.size()) + 1, 0);
        for (const QString &word : heard) {
            qsizetype diagonal = 0;
            for (std::size_t j = 0; j < static_cast<std::size_t>(said.size()); ++j) {
                const qsizetype above = row[j + 1];
                row[j + 1] = word == said[static_cast<qsizetype>(j)] ? diagonal + 1
                                                                     : std::max(above, row[j]);
                diagonal = above;
            }
        }
        if (row.back() > most)
            nearest = id;
        else if (row.back() == most)
            nearest.clear();
        most = std::max(most, row.back());
    }
    return nearest;
}

/// What a run on both printed: first the echo, then a conversation.
struct Conversation {
    QStringList lines;
    qsizetype echoLines = 0;
    CliResult result;
};

/// A run on both: first an echo (one recording in both, heard alike by fresh recognisers),
/// then each side speaking, in turn and at once.
void converse(Conversation &run) {
    Listener listener;
    ASSERT_TRUE(listener.start({"--source", "both"}));
    ASSERT_TRUE(listener.says("[AppState] Listening started"));
    EXPECT_EQ(listener.errors.count("[Speech] calling analyzer.start"), 2);
    const auto printed = [&] { return listener.output.split('\n', Qt::SkipEmptyParts); };

    // readUntil's 30 s leave a busy machine's recognisers time to catch up.
    playTogether({{"orvinta_mic_feed", "0920"}, {"orvinta_speakers", "0920"}});
    ASSERT_TRUE(listener.readUntil([&] { return !textsOf("Others", printed()).isEmpty(); }));
    run.echoLines = printed().size();

    play("orvinta_mic_feed", {"0880"});
    play("orvinta_speakers", {"0930"});
    playTogether({{"orvinta_mic_feed", "0890"}, {"orvinta_speakers", "0870"}});
    // The last lines may still be on their way; stopping ends them too.
    listener.readUntil([&] {
        const QStringList conversation = printed().mid(run.echoLines);
        return textsOf("Me", conversation).size() >= 2 &&
               textsOf("Others", conversation).size() >= 2;
    });
    run.result = listener.stop();
    run.lines = run.result.lines;
}

// Microphone and speakers, a recogniser each: lines labelled, the microphone's echo dropped.
TEST(LiveAudio, BothSidesAreHeardLabelledAndTheMicrophonesEchoOfTheComputerIsDropped) {
    REQUIRE_SOUND_SERVER();
    // A recogniser far behind (a busy machine) leaves out sound and proves nothing: run again.
    Conversation run;
    QElapsedTimer elapsed;
    elapsed.start();
    bool complete = false;
    for (int attempt = 1; attempt <= 3 && !complete && (attempt == 1 || elapsed.elapsed() < 60000);
         ++attempt) {
        run = {};
        converse(run);
        if (HasFatalFailure())
            return;
        // Half a second left out moves a line no further than an echo may be.
        complete = true;
        static const QRegularExpression leftOut("fell behind: (\\d+) audio buffers");
        for (auto match = leftOut.globalMatch(run.result.errors); match.hasNext();)
            complete = complete && match.next().captured(1).toInt() <= 10; // of 50 ms
    }
    EXPECT_FALSE(run.result.crashed);
    const QString printed = run.lines.join('\n');
    EXPECT_EQ(textsOf("Me", run.lines).size() + textsOf("Others", run.lines).size(),
              run.lines.size())
        << "every line is labelled:\n"
        << printed.toStdString();

    // Each line of the conversation is nearest a recording of its own side
    // (a late echo would be nearest the computer's).
    const QStringList mine = {"0880", "0890"}, theirs = {"0930", "0870", "0920"};
    QStringList heard;
    for (const QString label : {"Me", "Others"})
        for (const QString &text : textsOf(label, run.lines.mid(run.echoLines))) {
            const QString nearest = nearestRecording(text, mine + theirs);
            std::printf("%s: %s (%s)\n", qPrintable(label), qPrintable(text), qPrintable(nearest));
            EXPECT_TRUE(nearest.isEmpty() || (label == "Me" ? mine : theirs).contains(nearest))
                << label.toStdString() << ": " << text.toStdString();
            heard << nearest;
        }
    if (!complete)
        GTEST_SKIP() << "the recognisers fell behind in every run (a busy machine): the echo "
                        "and what was heard are not judged";
    // Only the computer's line of the echo stays, and each recording is heard.
    EXPECT_TRUE(textsOf("Me", run.lines.mid(0, run.echoLines)).isEmpty()) << printed.toStdString();
    EXPECT_TRUE(run.result.errors.contains("Dropped a microphone line that echoes the computer"))
        << run.result.errors.toStdString();
    for (const QString id : {"0880", "0890", "0930", "0870"})
        EXPECT_TRUE(heard.contains(id)) << id.toStdString() << " was not heard:\n"
                                        << printed.toStdString();
}

const QString reconnecting = "\nReconnecting to the sound server…\n";

// A server restart mid-sentence: the line so far comes before it is back; the run goes on.
TEST(LiveAudio, SoundServerRestartMidRunKeepsTheRunAndEveryLine) {
    REQUIRE_PRIVATE_SOUND_SERVER();
    PrivateSoundServer server;
    ASSERT_TRUE(server.isRunning());
    Listener listener;
    ASSERT_TRUE(listener.start({"--source", "system"}, server.environment()));
    play("speakers", {"0880"}, server.environment());
    QProcess player; // cut off after "unless to be rather cold hearted"
    player.setProcessEnvironment(server.environment());
    player.start("paplay", {"--device=speakers", librivoxFile("0890")});
    QThread::msleep(3000);
    server.kill();
    ASSERT_TRUE(listener.readUntil([&] {
        return listener.errors.contains(reconnecting) &&
               listener.output.contains("rather", Qt::CaseInsensitive);
    })) << listener.output.toStdString()
        << listener.errors.toStdString();
    player.waitForFinished();

    ASSERT_TRUE(server.start());
    ASSERT_TRUE(listener.says("[Speech] capture resumed"));
    play("speakers", {"0920"}, server.environment());
    EXPECT_EQ(listener.process.state(), QProcess::Running);
    const CliResult result = listener.stop();
    EXPECT_EQ(result.errors.count(reconnecting), 1);
    EXPECT_EQ(result.errors.count("[Speech] calling analyzer.start"), 1); // one recogniser run
    // 0890's last words were never played.
    expectHeard("across the restart", {"0880", "0890", "0920"}, confirmedTexts(result.lines), 0.7);
}

// A server that stays away ends the run after the limit with its reason,
// whatever the source; an application source that waits notices all the same.
TEST(LiveAudio, SoundServerThatStaysAwayEndsTheRunAfterTheLimit) {
    REQUIRE_PRIVATE_SOUND_SERVER();
    for (const QStringList &source : {QStringList{"system"}, QStringList{"microphone"},
                                      QStringList{"app", "--app", "Nobody"}}) {
        SCOPED_TRACE(source.join(" ").toStdString());
        PrivateSoundServer server;
        ASSERT_TRUE(server.isRunning());
        QProcessEnvironment environment = server.environment();
        environment.insert("ORVINTA_RECONNECT_LIMIT_MS", "1500");
        Listener listener;
        ASSERT_TRUE(listener.start(QStringList{"--source"} + source, environment));
        QThread::msleep(300);
        QElapsedTimer timer;
        timer.start();
        server.kill();
        const CliResult result = finished(listener.process, listener.errors, 12000);
        EXPECT_FALSE(result.crashed);
        EXPECT_EQ(result.exitCode, 1) << result.errors.toStdString();
        EXPECT_EQ(result.errors.count(reconnecting), 1) << result.errors.toStdString();
        EXPECT_TRUE(
            result.errors.contains("orvinta-cli: The sound server stopped: Connection terminated"))
            << result.errors.toStdString();
        EXPECT_TRUE(result.errors.contains("[Speech] stop: complete"));
        EXPECT_GE(timer.elapsed(), 1500);
        EXPECT_LT(timer.elapsed(), 10000);
    }
}

// The chosen microphone unplugged mid-run: the default one stands in, with a
// notice naming both, until the chosen one is back; every part is heard.
TEST(LiveAudio, ChosenMicrophoneUnpluggedFallsBackToTheDefaultOneAndReturns) {
    REQUIRE_PRIVATE_SOUND_SERVER();
    PrivateSoundServer server;
    ASSERT_TRUE(server.isRunning());
    const QStringList headset{"load-module", "module-remap-source", "source_name=headset",
                              "master=headphones.monitor",
                              "source_properties=device.description=Headset_Microphone"};
    std::optional<QString> module = server.pactl(headset);
    ASSERT_TRUE(module);
    const CliResult devices = runCli({"devices"}, 20000, server.environment());
    const QStringList ids = devices.lines.filter("\tHeadset_Microphone");
    ASSERT_EQ(ids.size(), 1) << devices.output.toStdString();

    Listener listener;
    ASSERT_TRUE(listener.start({"--source", "microphone", "--device", ids[0].section('\t', 0, 0)},
                               server.environment()));
    play("headphones", {"0880"}, server.environment());
    ASSERT_TRUE(server.pactl({"unload-module", module->trimmed()}));
    ASSERT_TRUE(listener.says(
        "\nHeadset_Microphone is gone: listening to Virtual_Microphone until it is back\n"));
    play("mic_feed", {"0890"}, server.environment());
    module = server.pactl(headset);
    ASSERT_TRUE(module);
    ASSERT_TRUE(listener.says("\nListening to Headset_Microphone again\n"));
    play("headphones", {"0920"}, server.environment());
    expectHeard("across the fallback", {"0880", "0890", "0920"},
                confirmedTexts(listener.stop().lines), 0.6);
}

// System audio follows the default output: after the switch to the
// headphones it hears them, and no longer the speakers.
TEST(LiveAudio, SystemAudioFollowsTheDefaultOutput) {
    REQUIRE_PRIVATE_SOUND_SERVER();
    PrivateSoundServer server;
    ASSERT_TRUE(server.isRunning());
    Listener listener;
    ASSERT_TRUE(listener.start({"--source", "system"}, server.environment()));
    play("speakers", {"0880"}, server.environment());
    ASSERT_TRUE(server.pactl({"set-default-sink", "headphones"}));
    QThread::msleep(300);
    play("headphones", {"0920"}, server.environment());
    play("speakers", {"0890"}, server.environment());
    // "cold" and "selfish" were said on the speakers only.
    expectHeard("across the change of output", {"0880", "0920"},
                confirmedTexts(listener.stop().lines), 0.6, {"cold", "selfish"});
}

// logind's word before and after a sleep, on a private bus standing in for
// the system bus: what was heard ends its sentence, capture starts afresh.
TEST(LiveAudio, SleepAndWakeFromLogindStartCaptureAfresh) {
    REQUIRE_SOUND_SERVER();
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(bus.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    QDBusConnection logind = QDBusConnection::connectToBus(address, "logind");
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
    const auto prepareForSleep = [&logind](bool sleeping) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        signal << sleeping;
        return logind.send(signal);
    };

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
    Listener listener;
    ASSERT_TRUE(listener.start({"--source", "system"}, environment));
    ASSERT_TRUE(prepareForSleep(true));
    ASSERT_TRUE(listener.says("[Speech] The computer goes to sleep"));
    ASSERT_TRUE(prepareForSleep(false));
    ASSERT_TRUE(listener.says("[Speech] capture resumed"));
    play("orvinta_speakers", {"0880"});
    expectHeard("after the sleep", {"0880"}, confirmedTexts(listener.stop().lines), 0.6);
    QDBusConnection::disconnectFromBus("logind");
    bus.kill();
    bus.waitForFinished();
}

// A stream losing its device on the real back end reaches the delegate once; the run stops in
// order. (A dead server: SoundServerThatStaysAway.)
TEST(LiveAudio, CaptureFailureMidRunReachesTheDelegate) {
    REQUIRE_PRIVATE_SOUND_SERVER();

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
            EngineTimings{std::chrono::milliseconds(500), std::chrono::milliseconds(5000), {}});
        await(engine.loadModel(delegate.locale));
        await(engine.startTranscribing(source, std::nullopt));
        ASSERT_TRUE(server.removeTheDevice());
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
