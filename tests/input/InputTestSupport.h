#pragma once

// Helpers of the keyboard tests: the paste target client, XTest and xdotool.

#include "AppTestSupport.h"

#include <QProcess>

namespace Orvinta::InputTesting {

using namespace Orvinta::Testing;

#define REQUIRE_DISPLAY()                                                                          \
    if (qEnvironmentVariableIsEmpty("DISPLAY"))                                                    \
    GTEST_SKIP() << "needs an X display (./test.sh starts Xvfb)"

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

/// The paste target client, running until destroyed.
class PasteTarget {
public:
    explicit PasteTarget(
        const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(ORVINTA_PASTE_TARGET), arguments);
    }
    ~PasteTarget() {
        if (m_process.state() != QProcess::NotRunning && m_process.write("quit\n") &&
            !m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished();
    }
    /// Waits until the client printed a line for which `match` holds.
    bool waitForLine(const std::function<bool(const QString &)> &match,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return waitUntil(
            [&] {
                read();
                for (qsizetype i = m_checked; i < m_lines.size(); ++i)
                    if (match(m_lines[i])) {
                        m_checked = i + 1;
                        return true;
                    }
                return false;
            },
            timeout);
    }
    bool waitForLine(const QString &exact) {
        return waitForLine([&](const QString &line) { return line == exact; });
    }
    bool waitUntilReady() { return waitForLine(QStringLiteral("ready")); }
    /// The lines of a "dump", keyed by their label.
    QMap<QString, QString> dumpClipboard() {
        m_process.write("dump\n");
        QMap<QString, QString> dump;
        waitForLine([&](const QString &line) {
            if (line == "end")
                return true;
            const qsizetype colon = line.indexOf(": ");
            if (colon > 0)
                dump.insert(line.left(colon), line.mid(colon + 2));
            return false;
        });
        return dump;
    }
    QString lastText() {
        read();
        for (qsizetype i = m_lines.size() - 1; i >= 0; --i)
            if (m_lines[i].startsWith("text: "))
                return m_lines[i].mid(6);
        return {};
    }
    void send(const QByteArray &command) { m_process.write(command + '\n'); }
    qint64 processId() const { return m_process.processId(); }

private:
    void read() {
        while (m_process.canReadLine())
            m_lines << QString::fromUtf8(m_process.readLine()).chopped(1);
    }
    QProcess m_process;
    QStringList m_lines;
    qsizetype m_checked = 0;
};

} // namespace Orvinta::InputTesting
