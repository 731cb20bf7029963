#pragma once

// A PulseAudio of the test's own, which a test may kill, start again and
// change without touching the shared one: speakers (the default output),
// headphones, and a virtual microphone (the default input) fed by a sink.

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <optional>

namespace OrvintaTest {

class PrivateSoundServer {
public:
    PrivateSoundServer() {
        QFile config(m_runtime.filePath("default.pa"));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(QStringLiteral(
                         "load-module module-native-protocol-unix socket=%1 auth-anonymous=1\n"
                         "load-module module-null-sink sink_name=speakers "
                         "sink_properties=device.description=Speakers\n"
                         "load-module module-null-sink sink_name=headphones "
                         "sink_properties=device.description=Headphones\n"
                         "load-module module-null-sink sink_name=mic_feed\n"
                         "load-module module-remap-source source_name=mic master=mic_feed.monitor "
                         "source_properties=device.description=Virtual_Microphone\n"
                         "set-default-sink speakers\nset-default-source mic\n")
                         .arg(socket())
                         .toUtf8());
        config.close();
        m_environment.insert("HOME", m_runtime.path());
        m_environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_environment.insert("PULSE_SERVER", address());
        start();
    }

    ~PrivateSoundServer() { kill(); }

    static bool available() { return !QStandardPaths::findExecutable("pulseaudio").isEmpty(); }
    bool isRunning() const { return m_server.state() == QProcess::Running && answers(); }
    QString address() const { return "unix:" + socket(); }
    const QProcessEnvironment &environment() const { return m_environment; }

    /// Starts it (again) as it was at first; true once it answers.
    bool start() {
        m_server.setProcessEnvironment(m_environment);
        m_server.start("pulseaudio",
                       {"-n", "-F", m_runtime.filePath("default.pa"), "--exit-idle-time=-1",
                        "--daemonize=no", "--use-pid-file=no"});
        if (!m_server.waitForStarted())
            return false;
        QElapsedTimer timer;
        timer.start();
        while (!answers() && timer.elapsed() < 10000)
            QThread::msleep(20);
        return answers();
    }

    void kill() {
        m_server.kill(); // nothing to do once it ended
        m_server.waitForFinished();
    }

    /// pactl on this server; its standard output, or nothing when it failed.
    std::optional<QString> pactl(const QStringList &arguments) const {
        QProcess tool;
        tool.setProcessEnvironment(m_environment);
        tool.start("pactl", arguments);
        if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(tool.readAllStandardOutput());
    }

    /// Unplugs every output, and with them the sources every stream records from.
    bool removeTheDevice() const {
        return pactl({"unload-module", "module-null-sink"}).has_value();
    }

private:
    QString socket() const { return m_runtime.filePath("socket"); }
    bool answers() const { return QFileInfo::exists(socket()) && pactl({"info"}).has_value(); }

    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_server;
};

} // namespace OrvintaTest
