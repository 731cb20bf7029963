// orvinta-cli as a user runs it: translate, export, and listen saving into
// the same transcript as the application.

#include "AppTestSupport.h"
#include "CliProcess.h"
#include "Librivox.h"

#include <QDir>
#include <QStandardPaths>
#include <QtEndian>

#include <sys/stat.h>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace OrvintaTest;

namespace {

CliResult cli(const PrivateHome &home, const QStringList &arguments) {
    return runCli(arguments, 30000, home.environment());
}

const QString librivox = librivoxFile("0880");

/// A 16-bit mono WAV file of 8 bytes of sound that claims `rate` samples a second.
QByteArray waveHeaderClaiming(quint32 rate) {
    QByteArray wav("RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0", 24);
    for (const quint32 value : {qToLittleEndian(rate), qToLittleEndian(rate * 2)})
        wav.append(reinterpret_cast<const char *>(&value), 4);
    return wav + QByteArray("\x02\0\x10\0data\x08\0\0\0", 12) + QByteArray(8, '\x10');
}

/// Starts `listen` and returns its first line on standard error.
QString firstComplaint(QProcess &listener, const PrivateHome &home) {
    startCli(listener, {"listen", "--source", "system"}, home.environment());
    QString errors;
    readErrorsUntil(listener, "\n", errors);
    return errors;
}

} // namespace

TEST(Cli, listenSavesIntoTheTranscriptAndOneWriterAtATime) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") || !QFile::exists(librivox))
        GTEST_SKIP() << "needs the test sound server (./test.sh) and pocketsphinx-testdata";
    PrivateHome home;
    QProcess listener;
    const QStringList listen{"listen", "--source", "system", "--verbose"};
    startCli(listener, listen, home.environment());
    QString log;
    ASSERT_TRUE(readErrorsUntil(listener, "Listening started", log)) << log.toStdString();

    // A second saving run is refused while this one holds the transcript,
    // also when it has no runtime folder; one without saving may run.
    QProcessEnvironment noRuntime = home.environment();
    noRuntime.remove("XDG_RUNTIME_DIR");
    const CliResult second = runCli(listen, 30000, noRuntime); // Qt warns on its own lines
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.errors.contains("--no-save")) << second.errors.toStdString();

    // Another user's run whose reader goes away after the first line (as
    // with `| head -1`): it ends by itself and keeps every line it heard.
    PrivateHome otherHome;
    QProcess headOnly;
    headOnly.setProcessEnvironment(otherHome.environment());
    headOnly.start(
        "bash", QStringList{"-c", "set -o pipefail; \"$0\" \"$@\" | head -1", cliPath()} + listen);
    QString headLog;
    ASSERT_TRUE(readErrorsUntil(headOnly, "Listening started", headLog)) << headLog.toStdString();

    play("orvinta_speakers", {"0880", "0890"});
    ASSERT_TRUE(waitUntil([&] { return headOnly.state() == QProcess::NotRunning; },
                          std::chrono::seconds(10)))
        << "a run whose output closed went on listening";
    EXPECT_EQ(headOnly.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(headOnly.exitCode(), 0) << headOnly.readAllStandardError().toStdString();
    EXPECT_EQ(headOnly.readAllStandardOutput().count('\n'), 1);
    const std::optional<SessionData> heard = SessionStore(otherHome.dataHome()).read();
    ASSERT_TRUE(heard);
    EXPECT_GE(heard->lines.size(), 2); // the line that could not be printed is saved too
    const CliResult stopped = interrupt(listener);
    EXPECT_EQ(stopped.exitCode, 0);
    const QStringList printed = stopped.lines;
    ASSERT_FALSE(printed.isEmpty());
    EXPECT_TRUE(printed.front().contains(QRegularExpression("^\\[\\d\\d:\\d\\d:\\d\\d\\] \\S")));

    // What was printed is what was saved, and export gives it back.
    const std::optional<SessionData> saved = SessionStore(home.dataHome()).read();
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->lines.size(), printed.size());
    EXPECT_TRUE(printed.back().endsWith(saved->lines.back().text));
    EXPECT_EQ(cli(home, {"export", "txt"}).output.trimmed(), printed.join('\n'));
}

TEST(Cli, translatesThroughApertiumAndBadInputIsOneClearLineAndNothingRunsOrHangs) {
    PrivateHome home;
    // Through Spanish into French: ApertiumTranslatorTest.
    const CliResult spanish = cli(home, {"translate", "--to", "es-ES", "Good", "morning."});
    EXPECT_EQ(spanish.exitCode, 0) << spanish.errors.toStdString();
    EXPECT_EQ(spanish.output, "Buenos días.\n");
    // runCli reports a run that hangs.
    const auto expectRefused = [&](const QStringList &arguments, int exitCode,
                                   const QString &mention,
                                   const QProcessEnvironment &environment = {}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        expectOneLineFailure(
            runCli(arguments, 30000, environment.isEmpty() ? home.environment() : environment),
            exitCode, mention);
    };
    const QString marker = home.folder.filePath("ran");
    ASSERT_TRUE(
        writeFile(home.folder.filePath("x/evil.mode"), ("touch " + marker + "\n").toUtf8()));
    const QString escape = "../../../../../../.." + home.folder.filePath("x/evil");
    expectRefused({"translate", "--from", escape, "--to", "es-ES", "hello"}, 2, "unknown language");
    EXPECT_FALSE(QFile::exists(marker));
    expectRefused({"translate", "--to", "", "hello"}, 2, "unknown language \"\" for --to");
    expectRefused({"translate", "--to", "de-DE", "hello"}, 1,
                  "No translation for English → German");
    expectRefused({"transcribe", "--locale", "xx-YY", librivox}, 2,
                  "unknown language \"xx-YY\" for --locale");
    expectRefused({"transcribe", "--locale", "de-DE", librivox}, 1, "de-DE");

    expectRefused({"transcribe", home.folder.path()}, 1, "it is a folder");
    const QString pipe = home.folder.filePath("pipe.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    expectRefused({"transcribe", pipe}, 1, "it is not a regular file");
    for (const quint32 rate : {1u, 3u, 2147483647u}) {
        const QString wav = home.folder.filePath(QString("rate-%1.wav").arg(rate));
        ASSERT_TRUE(writeFile(wav, waveHeaderClaiming(rate)));
        expectRefused({"transcribe", wav}, 1,
                      QString("its sample rate of %1 Hz is not supported").arg(rate));
    }

    // No sound server. (A missing or corrupt recording, no speech model:
    // transcribesARecordingIntoSubtitlesTimedByItsWords.)
    QProcessEnvironment withoutServer = home.environment();
    withoutServer.insert("PULSE_SERVER", "unix:" + home.folder.filePath("none"));
    for (const QStringList &arguments :
         {QStringList{"devices"}, QStringList{"listen", "--no-save"},
          QStringList{"listen", "--no-save", "--source", "microphone"}})
        expectRefused(arguments, 1, "sound server", withoutServer);
    // A transcript that is a pipe: refused at once (its kinds: FileSafetyTest).
    QDir().mkpath(QFileInfo(home.sessionPath()).path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.sessionPath()).constData(), 0600), 0);
    expectRefused({"export", "txt"}, 1, "is not a regular file");
}

TEST(Cli, exportsTheSavedTranscriptAndOutputThatCannotBeWrittenIsAFailure) {
    PrivateHome home;
    const CliResult empty = cli(home, {"export", "txt"});
    EXPECT_TRUE(empty.exitCode == 0 && empty.output.isEmpty()) << empty.errors.toStdString();

    SessionData data;
    data.targetLanguage = "en-US";
    data.lines = {{QUuid::createUuid(), QString("Before%1after.").arg(QChar(0)), 800000000.0}};
    // A conversation's lines are labelled by their side.
    for (int i = 0; i < 100; ++i)
        data.lines.append({QUuid::createUuid(), QString("Line %1 of a long talk.").arg(i),
                           800000001.0 + i, i % 2 ? "Me" : "Others"});
    ASSERT_FALSE(SessionStore(home.dataHome()).save(data).error);
    EXPECT_EQ(cli(home, {"export", "srt"}).output, srtTranscript(data.lines) + '\n');
    // WebVTT as ffmpeg reads it: every line a cue of its own text (its
    // decoder leaves out the voices, which ExportTest reads back).
    const QString subtitles = home.folder.filePath("out.vtt");
    EXPECT_EQ(cli(home, {"export", "vtt", subtitles}).exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(readAll(subtitles)), webVttTranscript(data.lines));
    const std::optional<QString> read = srtByFfmpeg(subtitles);
    EXPECT_TRUE(read) << "ffmpeg (scripts/deps.sh) is not installed";
    QStringList texts;
    for (const ConfirmedLine &line : data.lines)
        texts << QString(line.text).replace(QChar(0), QChar::ReplacementCharacter);
    EXPECT_EQ(srtTexts(read.value_or("")), texts);
    const QString copy = home.folder.filePath("out.txt");
    EXPECT_EQ(cli(home, {"export", "txt", copy}).exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(readAll(copy)), plainTextTranscript(data.lines));
    EXPECT_EQ(cli(home, {"export", "pdf"}).exitCode, 2);

    // Text is written by length: a NUL inside a line does not cut the rest.
    const QString all = cli(home, {"export", "txt"}).output;
    EXPECT_EQ(all, plainTextTranscript(data.lines) + '\n');
    EXPECT_TRUE(all.endsWith("] Me: Line 99 of a long talk.\n"));

    const auto toFullDevice = [&](const QStringList &arguments) {
        QProcess process;
        process.setStandardOutputFile("/dev/full");
        startCli(process, arguments, home.environment());
        EXPECT_TRUE(process.waitForFinished(30000));
        SCOPED_TRACE(arguments.join(' ').toStdString());
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(process.readAllStandardError().contains(
            "cannot write to standard output: No space left on device"));
    };
    toFullDevice({"export", "txt"});
    toFullDevice({"translate", "--to", "es-ES", "Good morning."});

    // A file that cannot be written completely keeps its old content.
    const QString target = home.folder.filePath("export.txt");
    ASSERT_TRUE(writeFile(target, "previous export"));
    QProcess limited;
    limited.setProcessEnvironment(home.environment());
    limited.start("bash", {"-c", "ulimit -f 1; exec \"$0\" export txt \"$1\"", cliPath(), target});
    ASSERT_TRUE(limited.waitForFinished(30000));
    EXPECT_EQ(limited.exitCode(), 1);
    EXPECT_TRUE(limited.readAllStandardError().contains(target.toUtf8()));
    EXPECT_EQ(readAll(target), "previous export");

    // Exporting to a device writes to it, and a full one is an error.
    expectOneLineFailure(cli(home, {"export", "txt", "/dev/full"}), 1, "No space left on device");
    struct stat info {};
    EXPECT_TRUE(::stat("/dev/full", &info) == 0 && S_ISCHR(info.st_mode));

    ASSERT_TRUE(writeFile(home.sessionPath(), "{\"lines\":"));
    expectOneLineFailure(cli(home, {"export", "txt"}), 1, "cannot be read");
}

TEST(Cli, transcribesARecordingIntoSubtitlesTimedByItsWords) {
    if (!QFile::exists(librivox) || QStandardPaths::findExecutable("ffmpeg").isEmpty())
        GTEST_SKIP() << "needs pocketsphinx-testdata and ffmpeg (scripts/deps.sh)";
    PrivateHome home;
    // Two readings after 3 s of quiet noise each: speech at 3.3-9.9 s and 13.3-15.9 s.
    const QString noise = home.folder.filePath("noise.wav");
    const QString recording = home.folder.filePath("talk.wav");
    ASSERT_EQ(QProcess::execute("sox", {"-R", "-n", "-r", "16000", "-c", "1", "-b", "16", noise,
                                        "synth", "3", "whitenoise", "vol", "0.002"}),
              0);
    ASSERT_EQ(QProcess::execute("sox", {noise, librivoxFile("0870"), noise, librivox, recording}),
              0);

    const CliResult vtt = cli(home, {"transcribe", "--format", "vtt", recording});
    ASSERT_EQ(vtt.exitCode, 0) << vtt.errors.toStdString();
    EXPECT_TRUE(vtt.errors.isEmpty()) << "no progress without a terminal";
    ASSERT_TRUE(vtt.output.startsWith("WEBVTT\n\n"));
    static const QRegularExpression timing(
        "^(\\d\\d):(\\d\\d):(\\d\\d\\.\\d\\d\\d) --> (\\d\\d):(\\d\\d):(\\d\\d\\.\\d\\d\\d)$");
    double previousEnd = 0, spoken = 0;
    int cues = 0;
    for (const QString &line : vtt.lines) {
        const QRegularExpressionMatch match = timing.match(line);
        if (!match.hasMatch())
            continue;
        const auto seconds = [&](int first) {
            return match.captured(first).toInt() * 3600 + match.captured(first + 1).toInt() * 60 +
                   match.captured(first + 2).toDouble();
        };
        const double start = seconds(1), end = seconds(4);
        SCOPED_TRACE(line.toStdString());
        EXPECT_GE(start, previousEnd);
        EXPECT_GT(end - start, 0.3);
        EXPECT_LE(end - start, 7.0);
        EXPECT_TRUE((start > 3 && end < 10.2) || (start > 13 && end < 16.09)) << "in the noise";
        previousEnd = end;
        spoken += end - start;
        ++cues;
    }
    EXPECT_GE(cues, 2);
    EXPECT_GT(spoken, 7.0) << vtt.output.toStdString();

    // ffmpeg reads the same cues from the subtitles in either format.
    const QString written = home.folder.filePath("talk.vtt");
    EXPECT_TRUE(writeFile(written, "previous"));
    EXPECT_EQ(cli(home, {"transcribe", recording, "-o", written}).exitCode, 0);
    EXPECT_EQ(readAll(written), vtt.output.toUtf8());
    const CliResult srt = cli(home, {"transcribe", "--format", "srt", recording});
    EXPECT_EQ(srtByFfmpeg(written).value_or("none"), srt.output + '\n');
    EXPECT_EQ(srtTexts(srt.output).size(), cues);

    // On a terminal, one line of progress on standard error.
    QProcess terminal;
    terminal.start("script",
                   {"-qec", cliPath() + " transcribe --format txt " + librivox, "/dev/null"});
    ASSERT_TRUE(terminal.waitForFinished(30000));
    const QString shown = QString::fromUtf8(terminal.readAllStandardOutput());
    EXPECT_TRUE(shown.contains("\rTranscribing " + librivox + ": 100 %\r\n[00:00:0"))
        << shown.toStdString();

    // Bad input: one line, and what -o names stays as it was.
    const QString corrupt = home.folder.filePath("corrupt.wav");
    ASSERT_TRUE(writeFile(corrupt, "RIFF\x10\x00\x00\x00WAVEjunk that is not audio"));
    QProcessEnvironment withoutModel = home.environment();
    withoutModel.insert("ORVINTA_POCKETSPHINX_MODEL_DIR", home.folder.path());
    for (const auto &[file, environment, mention] :
         {std::tuple{home.folder.filePath("missing.wav"), home.environment(), "missing.wav"},
          std::tuple{corrupt, home.environment(), "corrupt.wav"},
          std::tuple{recording, withoutModel, "pocketsphinx-en-us"}}) {
        SCOPED_TRACE(file.toStdString());
        expectOneLineFailure(
            runCli({"transcribe", "--format", "srt", "-o", written, file}, 30000, environment), 1,
            mention);
        EXPECT_EQ(readAll(written), vtt.output.toUtf8());
    }
    expectOneLineFailure(cli(home, {"transcribe", "--format", "pdf", recording}), 2, "txt|srt|vtt");
}

TEST(Cli, listenSaysAtOnceWhenTheTranscriptCannotBeReadOrSaved) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "needs the test sound server (./test.sh)";
    PrivateHome home;
    const QString blocker = QDir(home.dataHome()).filePath("Orvinta");
    ASSERT_TRUE(writeFile(blocker, {})); // a file where the folder should be
    QProcess listener;
    const QString errors = firstComplaint(listener, home);
    EXPECT_TRUE(errors.startsWith(
        "orvinta-cli: The transcript cannot be saved: cannot create the folder " + blocker))
        << errors.toStdString();
    EXPECT_EQ(listener.state(), QProcess::Running); // listening goes on
    EXPECT_EQ(interrupt(listener).exitCode, 1);

    PrivateHome damaged;
    ASSERT_TRUE(writeFile(damaged.sessionPath(), "{\"lines\":"));
    QProcess second;
    EXPECT_TRUE(firstComplaint(second, damaged)
                    .startsWith("orvinta-cli: the saved transcript cannot be read"));
    EXPECT_EQ(interrupt(second).exitCode, 0);
}
