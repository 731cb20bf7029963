#pragma once

// Runs orvinta-cli and the sound server's tools as child processes.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace OrvintaTest {

inline QString cliPath() {
    return QStringLiteral(ORVINTA_CLI_PATH);
}

/// A home of its own: settings, transcript and lock apart from the user's.
struct PrivateHome {
    QTemporaryDir folder;
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", folder.path());
        env.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        env.insert("XDG_DATA_HOME", folder.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", folder.path());
        return env;
    }
    QString dataHome() const { return folder.filePath("data"); }
    QString sessionPath() const { return folder.filePath("data/Orvinta/session.json"); }
};

struct CliResult {
    int exitCode = -1;
    bool crashed = false;
    QString output;    // standard output as written
    QStringList lines; // its non-empty lines
    QString errors;    // standard error
};

inline void startCli(QProcess &process, const QStringList &arguments,
                     const QProcessEnvironment &environment) {
    process.setProcessEnvironment(environment);
    process.start(cliPath(), arguments);
}

/// Reads the process's standard error onto `errors` until it holds `text`,
/// the process ends or 30 s pass; true when it holds `text`.
inline bool readErrorsUntil(QProcess &process, const QString &text, QString &errors) {
    QElapsedTimer timer;
    timer.start();
    while (!errors.contains(text) && process.state() != QProcess::NotRunning &&
           timer.elapsed() < 30000) {
        process.waitForReadyRead(50);
        errors += QString::fromUtf8(process.readAllStandardError());
    }
    return errors.contains(text);
}

/// Waits until the run ends (a failure after `timeoutMs`) and collects what
/// it wrote; `errors`: what was read of its standard error already.
inline CliResult finished(QProcess &process, const QString &errors = {}, int timeoutMs = 15000) {
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(timeoutMs))
        ADD_FAILURE() << "orvinta-cli did not stop";
    CliResult result;
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    result.lines = result.output.split('\n', Qt::SkipEmptyParts);
    result.errors = errors + QString::fromUtf8(process.readAllStandardError());
    return result;
}

/// Ends a run as Ctrl-C does and collects it.
inline CliResult interrupt(QProcess &process, const QString &errors = {}) {
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    return finished(process, errors);
}

/// Runs orvinta-cli to its end, waiting in the event loop so that a test's
/// own servers go on answering meanwhile.
inline CliResult
runCli(const QStringList &arguments, int timeoutMs = 60000,
       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    startCli(process, arguments, environment);
    if (!process.waitForStarted())
        ADD_FAILURE() << "orvinta-cli did not start: " << process.errorString().toStdString();
    else
        loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        ADD_FAILURE() << "orvinta-cli " << arguments.join(' ').toStdString() << " did not finish";
    }
    return finished(process);
}

/// A run that failed as orvinta-cli should: with `exitCode`, nothing on
/// standard output and one line on standard error that names `mention`.
inline void expectOneLineFailure(const CliResult &run, int exitCode, const QString &mention) {
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, exitCode);
    EXPECT_TRUE(run.output.isEmpty()) << run.output.toStdString();
    EXPECT_EQ(run.errors.count('\n'), 1) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.startsWith("orvinta-cli: ") && run.errors.contains(mention))
        << run.errors.toStdString();
}

/// The texts of confirmed lines, checking their "[HH:mm:ss] text" form.
inline QStringList confirmedTexts(const QStringList &lines) {
    static const QRegularExpression form("^\\[\\d\\d:\\d\\d:\\d\\d\\] (\\S.*)$");
    QStringList texts;
    for (const QString &line : lines) {
        const auto match = form.match(line);
        EXPECT_TRUE(match.hasMatch()) << line.toStdString();
        if (match.hasMatch())
            texts << match.captured(1);
    }
    return texts;
}

/// What `speaker` said, in lines of the form "[HH:mm:ss] SPEAKER: text".
inline QStringList textsOf(const QString &speaker, const QStringList &lines) {
    const QRegularExpression form("^\\[\\d\\d:\\d\\d:\\d\\d\\] " +
                                  QRegularExpression::escape(speaker) + ": (\\S.*)$");
    QStringList texts;
    for (const QString &line : lines)
        if (const auto match = form.match(line); match.hasMatch())
            texts << match.captured(1);
    return texts;
}

} // namespace OrvintaTest
