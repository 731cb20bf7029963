#pragma once

// Helpers of the keyboard tests: the paste target client, XTest and xdotool.

#include "AppTestSupport.h"
#include "Librivox.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace Orvinta::InputTesting {

using namespace Orvinta::Testing;

#define REQUIRE_DISPLAY()                                                                          \
    if (qEnvironmentVariableIsEmpty("DISPLAY"))                                                    \
    GTEST_SKIP() << "needs an X display (./test.sh starts Xvfb)"

/// Skips without the test sound server or the recording the dictation tests play into it.
#define REQUIRE_DICTATION_AUDIO()                                                                  \
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") ||                                             \
        !QFileInfo::exists(OrvintaTest::librivoxFile("0880")))                                     \
    GTEST_SKIP() << "needs the test sound server (./test.sh starts one) and pocketsphinx-testdata"

/// Presses (or releases) exactly the key of `keysym` through XTest, as a
/// keyboard would; xdotool also presses Control_L for Control_R.
bool fakeKey(const char *keysym, bool down);
/// Presses (or releases) mouse button `button` through XTest.
bool fakeButton(unsigned int button, bool down);

/// xdotool with its arguments; true when it ran fine.
inline bool xdotool(const QStringList &arguments) {
    QProcess process;
    process.start("xdotool", arguments);
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

/// How many of `pasted`'s words the reader of recording `id` says.
inline int wordsHeard(QString pasted, const QString &id) {
    const QStringList reference = OrvintaTest::librivoxReference(id).split(' ');
    return int(
        std::ranges::count_if(pasted.toLower().remove(QRegularExpression("[^a-z ]")).split(' '),
                              [&](const QString &word) { return reference.contains(word); }));
}

/// A child process that prints lines, each read once and in order, and
/// takes commands on its standard input.
class LineProcess {
public:
    /// Waits for the next line for which `match` holds; that line.
    std::optional<QString>
    waitForLine(const std::function<bool(const QString &)> &match,
                std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::optional<QString> found;
        waitUntil(
            [&] {
                read();
                for (; checked < lines.size() && !found; ++checked)
                    if (match(lines[checked]))
                        found = lines[checked];
                return found.has_value();
            },
            timeout);
        return found;
    }
    bool waitForLine(const QString &exact) {
        return waitForLine([&](const QString &line) { return line == exact; }).has_value();
    }
    void read() {
        while (process.canReadLine())
            lines << QString::fromUtf8(process.readLine()).chopped(1);
    }
    void send(const QByteArray &command) {
        process.write(command + '\n');
        process.waitForBytesWritten(3000); // out now, also when the test next blocks
    }

    QProcess process;
    QStringList lines;
    qsizetype checked = 0;
};

/// The paste target client, running until destroyed.
class PasteTarget : public LineProcess {
public:
    explicit PasteTarget(
        const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(ORVINTA_PASTE_TARGET), arguments);
    }
    ~PasteTarget() {
        if (process.state() != QProcess::NotRunning && process.write("quit\n") &&
            !process.waitForFinished(3000))
            process.kill();
        process.waitForFinished();
    }
    bool waitUntilReady() { return waitForLine(QStringLiteral("ready")); }
    /// The lines of a "dump", keyed by their label.
    QMap<QString, QString> dumpClipboard() {
        send("dump");
        QMap<QString, QString> dump;
        waitForLine([&](const QString &line) {
            if (const qsizetype colon = line.indexOf(": "); colon > 0)
                dump.insert(line.left(colon), line.mid(colon + 2));
            return line == "end";
        });
        return dump;
    }
    /// The text of the last "text: " line printed so far.
    QString lastText() {
        read();
        const QStringList texts = lines.filter(QRegularExpression("^text: "));
        return texts.isEmpty() ? QString() : texts.last().mid(6);
    }
    qint64 processId() const { return process.processId(); }
};

} // namespace Orvinta::InputTesting
