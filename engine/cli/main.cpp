// orvinta-cli: the speech engine without a desktop, for scripts and servers.

#include <OrvintaEngine/AudioDevices.h>
#include <OrvintaEngine/FileAudioSource.h>
#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngine/PocketSphinxRecognizer.h>
#include <OrvintaEngine/PulseAudioCapture.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTime>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace Orvinta;

namespace {

class CliDelegate : public QObject, public STTEngineDelegate {
public:
    CliDelegate(QString locale, bool showInterim)
        : m_locale(std::move(locale))
        , m_showInterim(showInterim) {}

    QString selectedLocale() const override { return m_locale; }
    void setIsModelLoading(bool) override {}
    void setIsModelLoaded(bool loaded) override { m_loaded = loaded; }
    void setModelLoadingStatus(const QString &) override {}
    void setErrorMessage(const std::optional<QString> &message) override { m_error = message; }
    void setInterimText(const QString &text) override {
        if (m_showInterim && !text.isEmpty() && text != m_lastInterim) {
            std::fprintf(stderr, "... %s\n", text.toUtf8().constData());
            std::fflush(stderr);
        }
        m_lastInterim = text;
    }
    void addConfirmedLine(const QString &text) override {
        const QString line = QStringLiteral("[%1] %2").arg(
            QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), text.trimmed());
        std::fprintf(stdout, "%s\n", line.toUtf8().constData());
        std::fflush(stdout);
        m_lastInterim.clear();
    }

    bool isLoaded() const { return m_loaded; }
    QString error() const {
        return m_error.value_or(QStringLiteral("The speech model could not be prepared"));
    }

private:
    QString m_locale;
    bool m_showInterim;
    bool m_loaded = false;
    std::optional<QString> m_error;
    QString m_lastInterim;
};

/// Turns SIGINT and SIGTERM, and the end of a file, into one main-thread signal.
class StopRequest : public QObject {
    Q_OBJECT
public:
    StopRequest() {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_fds) != 0)
            return;
        m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char byte;
            if (::read(s_fds[1], &byte, 1) > 0)
                request();
        });
        struct sigaction action {};
        action.sa_handler = [](int) {
            const char byte = 1;
            [[maybe_unused]] auto written = ::write(s_fds[0], &byte, 1);
        };
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }

    void request() {
        m_requested = true;
        Q_EMIT requested();
    }
    bool isRequested() const { return m_requested; }

Q_SIGNALS:
    void requested();

private:
    static inline int s_fds[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
    bool m_requested = false;
};

void fail(const QString &message) {
    std::fprintf(stderr, "orvinta-cli: %s\n", message.toUtf8().constData());
}

QCoro::Task<int> runEngine(OnDeviceSpeechEngine &engine, CliDelegate &delegate, StopRequest &stop,
                           AudioSourceType source, std::optional<std::uint32_t> device) {
    QString locale = delegate.selectedLocale();
    co_await engine.loadModel(std::move(locale));
    if (!delegate.isLoaded()) {
        fail(delegate.error());
        co_return 1;
    }
    try {
        co_await engine.startTranscribing(source, device);
    } catch (const EngineError &error) {
        fail(QString::fromStdString(error.description()));
        co_return 1;
    }
    if (!stop.isRequested())
        co_await qCoro(&stop, &StopRequest::requested);
    co_await engine.stopTranscribing();
    co_return 0;
}

int usage(const QCommandLineParser &parser) {
    std::fprintf(stderr, "%s", parser.helpText().toUtf8().constData());
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvinta-cli"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Live speech to text on this computer.\n\n"
        "Commands:\n"
        "  listen       print each confirmed line of live audio as \"[HH:mm:ss] text\"\n"
        "  transcribe   transcribe an audio file (WAV, FLAC, Ogg and what else libsndfile reads)\n"
        "  devices      list the audio input devices (id and name)"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("listen, transcribe or devices"));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("audio file (transcribe)"),
                                 QStringLiteral("[FILE]"));
    const QCommandLineOption sourceOption(QStringLiteral("source"),
                                          QStringLiteral("system or microphone (default system)"),
                                          QStringLiteral("source"), QStringLiteral("system"));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("input device id for the microphone"),
                                          QStringLiteral("id"));
    const QCommandLineOption localeOption(QStringLiteral("locale"),
                                          QStringLiteral("recognition language (default en-US)"),
                                          QStringLiteral("id"), QStringLiteral("en-US"));
    const QCommandLineOption interimOption(
        QStringLiteral("interim"), QStringLiteral("print the interim text on standard error"));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"), QStringLiteral("log the engine's steps on standard error"));
    parser.addOptions({sourceOption, deviceOption, localeOption, interimOption, verboseOption});
    parser.process(app);

    if (!parser.isSet(verboseOption))
        QLoggingCategory::setFilterRules(QStringLiteral("com.orvinta.*=false"));

    const QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return usage(parser);
    const QString command = arguments.first();
    StopRequest stop;
    CliDelegate delegate(parser.value(localeOption), parser.isSet(interimOption));
    auto recognizer = std::make_shared<PocketSphinxRecognizer>();

    if (command == QLatin1String("devices")) {
        PulseAudioCapture capture;
        try {
            capture.requestMicrophoneAccess();
        } catch (const EngineError &error) {
            fail(QString::fromStdString(error.description()));
            return 1;
        }
        std::vector<AudioDevice> devices;
        std::optional<std::uint32_t> selected;
        refreshAudioDevices(capture, devices, selected);
        for (const auto &device : devices)
            std::printf("%u\t%s\n", device.id, device.name.c_str());
        return 0;
    }

    std::shared_ptr<AudioCaptureBackend> capture;
    AudioSourceType source = AudioSourceType::systemAudio;
    std::optional<std::uint32_t> device;
    OnDeviceSpeechEngine *enginePointer = nullptr;

    if (command == QLatin1String("transcribe")) {
        if (arguments.size() != 2)
            return usage(parser);
        try {
            auto file = std::make_unique<FileAudioSource>(
                arguments.at(1).toStdString(),
                [&enginePointer] {
                    return enginePointer && enginePointer->queuedInputBuffers() < 8;
                },
                [&stop] { postToMainThread([&stop] { stop.request(); }); });
            capture = std::make_shared<FileCaptureBackend>(std::move(file));
        } catch (const EngineError &error) {
            fail(QString::fromStdString(error.description()));
            return 1;
        }
        source = AudioSourceType::microphone;
    } else if (command == QLatin1String("listen")) {
        const QString sourceName = parser.value(sourceOption);
        if (sourceName == QLatin1String("microphone") || sourceName == QLatin1String("mic"))
            source = AudioSourceType::microphone;
        else if (sourceName != QLatin1String("system") &&
                 sourceName != QLatin1String("systemAudio")) {
            fail(
                QStringLiteral("unknown source \"%1\" (use system or microphone)").arg(sourceName));
            return 2;
        }
        if (parser.isSet(deviceOption)) {
            bool ok = false;
            const uint id = parser.value(deviceOption).toUInt(&ok);
            if (!ok) {
                fail(QStringLiteral(
                    "device id must be a number, as \"orvinta-cli devices\" lists them"));
                return 2;
            }
            device = id;
        }
        capture = std::make_shared<PulseAudioCapture>();
    } else {
        fail(QStringLiteral("unknown command \"%1\"").arg(command));
        return usage(parser);
    }

    OnDeviceSpeechEngine engine(&delegate, recognizer, capture);
    enginePointer = &engine;
    int exitCode = 1;
    QCoro::connect(runEngine(engine, delegate, stop, source, device), &app, [&](int code) {
        exitCode = code;
        QCoreApplication::exit(code);
    });
    app.exec();
    enginePointer = nullptr;
    return exitCode;
}

#include "main.moc"
