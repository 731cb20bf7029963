// orvinta-cli as a user runs it: translate, export, and listen saving into
// the same transcript as the application.

#include "AppTestSupport.h"
#include "CliProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace OrvintaTest;

namespace {

CliResult cli(const PrivateHome &home, const QStringList &arguments) {
    return runCli(arguments, 30000, home.environment());
}

const QString librivox = QStringLiteral(
    "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav");
const QString librivoxNext =
    QString(librivox).replace(QStringLiteral("0880"), QStringLiteral("0890"));

/// Waits until a listening run has started, collecting its standard error.
bool waitUntilListening(QProcess &listener, QString &log) {
    waitUntil(
        [&] {
            listener.waitForReadyRead(50);
            log += QString::fromUtf8(listener.readAllStandardError());
            return log.contains(QStringLiteral("Listening started")) ||
                   listener.state() == QProcess::NotRunning;
        },
        std::chrono::seconds(30));
    return log.contains(QStringLiteral("Listening started"));
}

QByteArray waveHeaderClaiming(quint32 rate) {
    QByteArray wav("RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0", 24);
    const auto put32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            wav.append(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    put32(rate);
    put32(rate * 2);
    wav.append("\x02\0\x10\0data\x08\0\0\0", 12);
    wav.append(8, '\x10');
    return wav;
}

} // namespace

TEST(Cli, translatesThroughApertium) {
    PrivateHome home;
    CliResult spanish =
        cli(home, {QStringLiteral("translate"), QStringLiteral("--to"), QStringLiteral("es-ES"),
                   QStringLiteral("Good"), QStringLiteral("morning.")});
    EXPECT_EQ(spanish.exitCode, 0) << spanish.errors.toStdString();
    EXPECT_EQ(spanish.output, QStringLiteral("Buenos días.\n"));
    CliResult french = cli(home, {QStringLiteral("translate"), QStringLiteral("--to"),
                                  QStringLiteral("fr-FR"), QStringLiteral("Good morning.")});
    EXPECT_EQ(french.output, QStringLiteral("Bonjour.\n"));
    CliResult german = cli(home, {QStringLiteral("translate"), QStringLiteral("--to"),
                                  QStringLiteral("de-DE"), QStringLiteral("Good morning.")});
    EXPECT_EQ(german.exitCode, 1);
    EXPECT_TRUE(german.errors.startsWith(
        QStringLiteral("orvinta-cli: No translation for English → German")))
        << german.errors.toStdString();
}

TEST(Cli, exportsTheSavedTranscript) {
    PrivateHome home;
    CliResult empty = cli(home, {QStringLiteral("export"), QStringLiteral("txt")});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_TRUE(empty.output.isEmpty());

    SessionStore store(home.folder.filePath(QStringLiteral("data")));
    SessionData data;
    data.targetLanguage = QStringLiteral("en-US");
    data.lines = {{QUuid::createUuid(), QStringLiteral("First line."), 800000000.0},
                  {QUuid::createUuid(), QStringLiteral("Second line."), 800000001.5}};
    store.save(data);
    CliResult srt = cli(home, {QStringLiteral("export"), QStringLiteral("srt")});
    EXPECT_EQ(srt.output, srtTranscript(data.lines) + QLatin1Char('\n'));
    const QString target = home.folder.filePath(QStringLiteral("out.txt"));
    EXPECT_EQ(cli(home, {QStringLiteral("export"), QStringLiteral("txt"), target}).exitCode, 0);
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), plainTextTranscript(data.lines));

    EXPECT_EQ(cli(home, {QStringLiteral("export"), QStringLiteral("pdf")}).exitCode, 2);
    QFile broken(home.sessionPath());
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("{\"lines\":");
    broken.close();
    CliResult unreadable = cli(home, {QStringLiteral("export"), QStringLiteral("txt")});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_TRUE(unreadable.errors.contains(QStringLiteral("cannot be read")))
        << unreadable.errors.toStdString();
}

TEST(Cli, listenSavesIntoTheTranscriptAndOneWriterAtATime) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") || !QFile::exists(librivox))
        GTEST_SKIP() << "needs the test sound server (./test.sh) and pocketsphinx-testdata";
    PrivateHome home;
    QProcess listener;
    const QStringList listen{QStringLiteral("listen"), QStringLiteral("--source"),
                             QStringLiteral("system"), QStringLiteral("--verbose")};
    startCli(listener, listen, home.environment());
    QString log;
    ASSERT_TRUE(waitUntilListening(listener, log)) << log.toStdString();

    // A second saving run is refused while this one holds the transcript,
    // also when it has no runtime folder; one without saving may run.
    QProcessEnvironment noRuntime = home.environment();
    noRuntime.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    CliResult second = runCli(listen, 30000, noRuntime);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.errors.contains(QStringLiteral("--no-save"))) << second.errors.toStdString();

    // Another user's run whose reader goes away after the first line (as
    // with `| head -1`): it ends by itself and keeps every line it heard.
    PrivateHome otherHome;
    QProcess headOnly;
    headOnly.setProcessEnvironment(otherHome.environment());
    headOnly.start(QStringLiteral("bash"),
                   QStringList{QStringLiteral("-c"),
                               QStringLiteral("set -o pipefail; \"$0\" \"$@\" | head -1"),
                               cliPath()} +
                       listen);
    QString headLog;
    ASSERT_TRUE(waitUntilListening(headOnly, headLog)) << headLog.toStdString();

    for (const QString &recording : {librivox, librivoxNext}) {
        QProcess player;
        player.start(QStringLiteral("paplay"),
                     {QStringLiteral("--device=orvinta_speakers"), recording});
        ASSERT_TRUE(player.waitForFinished(30000));
    }
    QThread::msleep(800);
    ASSERT_TRUE(waitUntil([&] { return headOnly.state() == QProcess::NotRunning; },
                          std::chrono::seconds(10)))
        << "a run whose output closed went on listening";
    EXPECT_EQ(headOnly.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(headOnly.exitCode(), 0) << headOnly.readAllStandardError().toStdString();
    EXPECT_EQ(headOnly.readAllStandardOutput().count('\n'), 1);
    const std::optional<SessionData> heard = SessionStore(otherHome.dataHome()).read();
    ASSERT_TRUE(heard);
    EXPECT_GE(heard->lines.size(), 2); // the line that could not be printed is saved too
    ::kill(static_cast<pid_t>(listener.processId()), SIGINT);
    ASSERT_TRUE(listener.waitForFinished(15000));
    EXPECT_EQ(listener.exitCode(), 0);
    const QStringList printed =
        QString::fromUtf8(listener.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(printed.isEmpty());
    EXPECT_TRUE(printed.front().contains(
        QRegularExpression(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\] \\S"))));

    // What was printed is what was saved, and export gives it back.
    SessionStore store(home.folder.filePath(QStringLiteral("data")));
    const std::optional<SessionData> saved = store.read();
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->lines.size(), printed.size());
    EXPECT_TRUE(printed.back().endsWith(saved->lines.back().text));
    EXPECT_EQ(cli(home, {QStringLiteral("export"), QStringLiteral("txt")}).output.trimmed(),
              printed.join('\n'));
}

TEST(Cli, badInputIsOneClearLineAndNothingRunsOrHangs) {
    PrivateHome home;
    const auto expectRefused = [&](const QStringList &arguments, int exitCode,
                                   const QString &mention) {
        QElapsedTimer timer;
        timer.start();
        const CliResult result = cli(home, arguments);
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_EQ(result.errors.count(QLatin1Char('\n')), 1) << result.errors.toStdString();
        EXPECT_TRUE(result.errors.contains(mention)) << result.errors.toStdString();
        EXPECT_LT(timer.elapsed(), 10000);
    };
    const QString marker = home.folder.filePath(QStringLiteral("ran"));
    QDir().mkpath(home.folder.filePath(QStringLiteral("x")));
    QFile evil(home.folder.filePath(QStringLiteral("x/evil.mode")));
    ASSERT_TRUE(evil.open(QIODevice::WriteOnly));
    evil.write(("touch " + marker + "\n").toUtf8());
    evil.close();
    const QString escape =
        QStringLiteral("../../../../../../..") + home.folder.filePath(QStringLiteral("x/evil"));
    expectRefused({"translate", "--from", escape, "--to", "es-ES", "hello"}, 2,
                  QStringLiteral("unknown language"));
    EXPECT_FALSE(QFile::exists(marker));
    expectRefused({"translate", "--to", "", "hello"}, 2,
                  QStringLiteral("unknown language \"\" for --to"));
    expectRefused({"transcribe", "--locale", "xx-YY", librivox}, 2,
                  QStringLiteral("unknown language \"xx-YY\" for --locale"));

    expectRefused({"transcribe", home.folder.path()}, 1, QStringLiteral("it is a folder"));
    const QString pipe = home.folder.filePath(QStringLiteral("pipe.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    expectRefused({"transcribe", pipe}, 1, QStringLiteral("it is not a regular file"));
    for (const quint32 rate : {1u, 3u, 2147483647u}) {
        const QString wav = home.folder.filePath(QStringLiteral("rate-%1.wav").arg(rate));
        QFile file(wav);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(waveHeaderClaiming(rate));
        file.close();
        expectRefused({"transcribe", wav}, 1,
                      QStringLiteral("its sample rate of %1 Hz is not supported").arg(rate));
    }

    // A transcript that is a pipe, or an endless device, is refused at once.
    const QString session = home.sessionPath();
    QDir().mkpath(QFileInfo(session).path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(session).constData(), 0600), 0);
    expectRefused({"export", "txt"}, 1, QStringLiteral("is not a regular file"));
    QFile::remove(session);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/urandom"), session));
    expectRefused({"export", "txt"}, 1, QStringLiteral("is not a regular file"));
}

TEST(Cli, outputThatCannotBeWrittenIsAFailure) {
    PrivateHome home;
    SessionData data;
    data.targetLanguage = QStringLiteral("en-US");
    data.lines = {
        {QUuid::createUuid(), QStringLiteral("Before%1after.").arg(QChar(0)), 800000000.0}};
    for (int i = 0; i < 100; ++i)
        data.lines.append({QUuid::createUuid(), QStringLiteral("Line %1 of a long talk.").arg(i),
                           800000001.0 + i});
    ASSERT_FALSE(SessionStore(home.dataHome()).save(data).error);

    // Text is written by length: a NUL inside a line does not cut the rest.
    const CliResult all = cli(home, {"export", "txt"});
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_TRUE(all.output.contains(QStringLiteral("Before%1after.").arg(QChar(0))));
    EXPECT_TRUE(all.output.endsWith(QStringLiteral("Line 99 of a long talk.\n")));

    const auto toFullDevice = [&](const QStringList &arguments) {
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        startCli(process, arguments, home.environment());
        EXPECT_TRUE(process.waitForFinished(30000));
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(process.readAllStandardError().contains(
            "cannot write to standard output: No space left on device"));
    };
    toFullDevice({"export", "txt"});
    toFullDevice({"translate", "--to", "es-ES", "Good morning."});

    // A file that cannot be written completely keeps its old content.
    const QString target = home.folder.filePath(QStringLiteral("export.txt"));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("previous export");
    old.close();
    QProcess limited;
    limited.setProcessEnvironment(home.environment());
    limited.start(QStringLiteral("bash"),
                  {QStringLiteral("-c"),
                   QStringLiteral("ulimit -f 1; exec \"$0\" export txt \"$1\""), cliPath(),
                   target});
    ASSERT_TRUE(limited.waitForFinished(30000));
    EXPECT_EQ(limited.exitCode(), 1);
    EXPECT_TRUE(limited.readAllStandardError().contains(target.toUtf8()));
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("previous export"));

    // Exporting to a device writes to it, and a full one is an error.
    const CliResult full = cli(home, {"export", "txt", "/dev/full"});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.errors.contains(QStringLiteral("No space left on device")));
    struct stat info {};
    ASSERT_EQ(::stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

namespace {

/// Starts `listen` and returns its first line on standard error.
QString firstComplaint(QProcess &listener, const PrivateHome &home) {
    startCli(listener, {"listen", "--source", "system"}, home.environment());
    QString errors;
    waitUntil(
        [&] {
            listener.waitForReadyRead(50);
            errors += QString::fromUtf8(listener.readAllStandardError());
            return errors.contains(QLatin1Char('\n')) || listener.state() == QProcess::NotRunning;
        },
        std::chrono::seconds(30));
    return errors;
}

int interrupt(QProcess &listener) {
    ::kill(static_cast<pid_t>(listener.processId()), SIGINT);
    return listener.waitForFinished(15000) ? listener.exitCode() : -1;
}

} // namespace

TEST(Cli, listenSaysAtOnceWhenTheTranscriptCannotBeReadOrSaved) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "needs the test sound server (./test.sh)";
    PrivateHome home;
    QDir().mkpath(home.dataHome());
    QFile blocker(QDir(home.dataHome()).filePath(QStringLiteral("Orvinta")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    QProcess listener;
    const QString errors = firstComplaint(listener, home);
    EXPECT_TRUE(errors.startsWith(QStringLiteral("orvinta-cli: The transcript cannot be saved: "
                                                 "cannot create the folder %1")
                                      .arg(blocker.fileName())))
        << errors.toStdString();
    EXPECT_EQ(listener.state(), QProcess::Running); // listening goes on
    EXPECT_EQ(interrupt(listener), 1);

    PrivateHome damaged;
    QDir().mkpath(QFileInfo(damaged.sessionPath()).path());
    QFile broken(damaged.sessionPath());
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("{\"lines\":");
    broken.close();
    QProcess second;
    EXPECT_TRUE(
        firstComplaint(second, damaged)
            .startsWith(QStringLiteral("orvinta-cli: the saved transcript cannot be read")));
    EXPECT_EQ(interrupt(second), 0);
}
