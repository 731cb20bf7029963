// orvinta-cli as a user runs it: translate, export, and listen saving into
// the same transcript as the application.

#include "AppTestSupport.h"
#include "CliProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace OrvintaTest;

namespace {

CliResult cli(const PrivateHome &home, const QStringList &arguments) {
    return runCli(arguments, 30000, home.environment());
}

const QString librivox = QStringLiteral(
    "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav");

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
    startCli(listener,
             {QStringLiteral("listen"), QStringLiteral("--source"), QStringLiteral("system"),
              QStringLiteral("--verbose")},
             home.environment());
    QString log;
    ASSERT_TRUE(waitUntil(
        [&] {
            listener.waitForReadyRead(50);
            log += QString::fromUtf8(listener.readAllStandardError());
            return log.contains(QStringLiteral("Listening started")) ||
                   listener.state() == QProcess::NotRunning;
        },
        std::chrono::seconds(30)));
    ASSERT_TRUE(log.contains(QStringLiteral("Listening started"))) << log.toStdString();

    // A second saving run is refused while this one holds the transcript; one without saving may
    // run.
    CliResult second =
        cli(home, {QStringLiteral("listen"), QStringLiteral("--source"), QStringLiteral("system")});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.errors.contains(QStringLiteral("--no-save"))) << second.errors.toStdString();

    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("--device=orvinta_speakers"), librivox});
    ASSERT_TRUE(player.waitForFinished(30000));
    QThread::msleep(800);
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
