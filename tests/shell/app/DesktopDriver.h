#pragma once

// Drives orvinta on an X server: a tray host, the program with its log, the
// X window tree, and pointer clicks. Shared by the end-to-end tests and the
// start-up benchmark.

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>
#include <optional>

namespace OrvintaDesktop {

inline QString run(const QString &program, const QStringList &arguments, int timeoutMs = 10000) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline bool waitFor(const std::function<bool()> &done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

/// Where the X server shows the first window whose line in the window tree,
/// after the first line that holds `after`, holds `name` (absolute position
/// and size); empty when none does.
inline QRect findWindow(const QString &name, const QString &after = {}) {
    const QString tree = run("xwininfo", {"-root", "-tree"});
    static const QRegularExpression geometry(
        R"((\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+))");
    const qsizetype from = tree.indexOf(after);
    for (const QString &line : tree.mid(from).split('\n'))
        if (const auto m = geometry.match(line); from >= 0 && line.contains(name) && m.hasMatch())
            return QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(),
                         m.captured(2).toInt());
    return {};
}

inline bool trayerRuns() {
    return !findWindow("(\"panel\" \"trayer\")").isNull();
}

/// The tray icon: Orvinta's window inside trayer's panel.
inline QRect trayIcon() {
    return findWindow("(\"orvinta\" \"Orvinta\")", "(\"panel\" \"trayer\")");
}

inline bool isViewable(const QRect &where, int width) {
    // A mapped top-level Orvinta window of that width at that place.
    const QString tree = run("xwininfo", {"-root", "-children"});
    for (const QString &line : tree.split('\n')) {
        if (!line.contains("(\"orvinta\" \"Orvinta\")") ||
            !line.contains(QString("%1x").arg(width)))
            continue;
        const QString id = line.trimmed().section(' ', 0, 0);
        const QString info = run("xwininfo", {"-id", id});
        if (info.contains("Map State: IsViewable") &&
            (where.isNull() || info.contains(QString("Absolute upper-left X:  %1").arg(where.x()))))
            return true;
    }
    return false;
}

/// Asks `process` to end, and kills it when it does not within 5 s.
inline void stopProcess(QProcess &process) {
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
}

inline void click(const QPoint &point, int button = 1) {
    run("xdotool", {"mousemove", QString::number(point.x()), QString::number(point.y()), "click",
                    QString::number(button)});
}

/// A running tray host at the top right of the screen.
class TrayHost {
public:
    TrayHost() {
        m_process.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                   "--width", "200", "--height", "24", "--SetDockType", "true"});
        m_process.waitForStarted();
    }
    ~TrayHost() { stopProcess(m_process); }
    bool waitUntilReady() { return waitFor(trayerRuns, 10000); }

private:
    QProcess m_process;
};

/// A running orvinta with a home of its own, its log collected.
class App {
public:
    explicit App(QProcessEnvironment environment) {
        environment.insert("QT_LOGGING_RULES",
                           "com.orvinta.App.debug=true\ncom.orvinta.Overlay.debug=true");
        // The X server under test, unless the test plays a Wayland session.
        if (environment.contains("WAYLAND_DISPLAY"))
            environment.remove("QT_QPA_PLATFORM");
        else
            environment.insert("QT_QPA_PLATFORM", "xcb");
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_started.start();
        m_process.start(QStringLiteral(ORVINTA_APP_PATH), {});
    }
    ~App() {
        if (m_process.state() != QProcess::NotRunning)
            stopProcess(m_process);
    }

    QString log() {
        m_log += QString::fromUtf8(m_process.readAll());
        return m_log;
    }
    bool waitForLog(const QString &text, int timeoutMs = 30000) {
        waitFor(
            [&] {
                m_process.waitForReadyRead(20);
                // Xvfb now and then refuses a connection while many clients
                // come and go; that start is repeated once, as a user would.
                if (m_process.state() == QProcess::NotRunning && !m_restarted &&
                    log().contains("could not connect to display")) {
                    m_restarted = true;
                    m_log += "[test: the X server refused the connection; starting again]\n";
                    QThread::msleep(200);
                    m_process.start(QStringLiteral(ORVINTA_APP_PATH), {});
                }
                return log().contains(text) || m_process.state() == QProcess::NotRunning;
            },
            timeoutMs);
        return log().contains(text);
    }

    int count(const QString &text) { return static_cast<int>(log().count(text)); }
    qint64 elapsed() const { return m_started.elapsed(); }
    QProcess &process() { return m_process; }

    struct Panel {
        QRect window;
        QRect startButton;
    };
    /// The panel's place from its last "Panel shown" line.
    std::optional<Panel> lastPanel() {
        static const QRegularExpression line(
            R"(Panel shown at (-?\d+),(-?\d+) size (\d+)x(\d+); start button at (\d+),(\d+) size (\d+)x(\d+))");
        std::optional<Panel> panel;
        for (auto matches = line.globalMatch(log()); matches.hasNext();) {
            const auto m = matches.next();
            const auto at = [&](int n) { return m.captured(n).toInt(); };
            panel = Panel{QRect(at(1), at(2), at(3), at(4)), QRect(at(5), at(6), at(7), at(8))};
        }
        return panel;
    }

private:
    QProcess m_process;
    QString m_log;
    QElapsedTimer m_started;
    bool m_restarted = false;
};

} // namespace OrvintaDesktop
