// orvinta-cli: Orvinta without a desktop, for scripts and servers.

#include "ApplicationCommands.h"
#include "CliSupport.h"
#include "DesktopBackends.h"
#include "InputCommands.h"
#include "TranscribeCommand.h"
#include "UpdateCommands.h"

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/AtomicFile.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaApp/SessionStore.h>
#include <OrvintaApp/TranscriptExport.h>
#include <OrvintaApp/TranslationController.h>
#include <OrvintaApp/Translator.h>
#include <OrvintaPlatform/SingleInstance.h>
#include <OrvintaUpdates/AppVersion.h>

#include <OrvintaEngineBackends/AudioDevices.h>
#include <OrvintaEngineBackends/LocaleData.h>

#include <QCommandLineParser>
#include <QCoroSignal>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTime>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string_view>

using namespace Orvinta;
using Cli::fail;
using Cli::outputFailed;
using Cli::outputStatus;
using Cli::print;
using Cli::readDeviceOption;
using Cli::StopRequest;

namespace {

bool printLine(const QDateTime &time, const QString &text) {
    return print(QStringLiteral("[%1] %2").arg(time.toString(QStringLiteral("HH:mm:ss")), text));
}

/// Whether `id` is one of the languages Orvinta knows; says so when not.
bool knownLanguage(const QString &id, const std::vector<LanguageEntry> &table, const char *option) {
    const std::string wanted = id.toStdString();
    if (std::any_of(table.begin(), table.end(),
                    [&](const LanguageEntry &entry) { return entry.id == wanted; }))
        return true;
    QStringList ids;
    for (const LanguageEntry &entry : table)
        ids << QString::fromStdString(entry.id);
    fail(QStringLiteral("unknown language \"%1\" for %2 (one of: %3)")
             .arg(id, QLatin1String(option), ids.join(QStringLiteral(", "))));
    return false;
}

void printInterim(const QString &text) {
    std::fprintf(stderr, "... %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

/// The delegate of a file transcription: prints lines, keeps nothing.
class PrintingDelegate : public Cli::FileRunDelegate {
public:
    PrintingDelegate(QString locale, bool showInterim)
        : FileRunDelegate(std::move(locale))
        , m_showInterim(showInterim) {}

    void setInterimText(const QString &text) override {
        if (m_showInterim && !text.isEmpty() && text != m_lastInterim)
            printInterim(text);
        m_lastInterim = text;
    }
    void addConfirmedLine(const QString &text) override {
        if (!printLine(QDateTime::currentDateTime(), text.trimmed()) && m_outputClosed)
            m_outputClosed();
        m_lastInterim.clear();
    }
    /// Called once standard output cannot take more lines.
    void onOutputClosed(std::function<void()> handler) { m_outputClosed = std::move(handler); }

private:
    bool m_showInterim;
    QString m_lastInterim;
    std::function<void()> m_outputClosed;
};

QCoro::Task<int> transcribe(QString path, PrintingDelegate &delegate, StopRequest &stop) {
    QCoro::Task<Cli::FileRun> running = Cli::transcribeFile(std::move(path), delegate, stop);
    const Cli::FileRun run = co_await running;
    co_return run.status;
}

/// A listening run through the application state, so that lines reach the
/// transcript, the clipboard and translation exactly as in the application.
QCoro::Task<int> listen(AppState &state, StopRequest &stop, std::optional<std::uint32_t> device) {
    QCoro::Task<> startup = state.startupFinished();
    co_await startup;
    ListeningController &listening = *state.listening();
    if (device) {
        const std::vector<AudioDevice> &devices = state.audioDevices()->availableDevices();
        if (std::none_of(devices.begin(), devices.end(),
                         [&](const AudioDevice &d) { return d.id == *device; })) {
            fail(
                QStringLiteral("no input device has the id %1 (\"orvinta-cli devices\" lists them)")
                    .arg(*device));
            co_return 1;
        }
        state.audioDevices()->setSelectedDeviceID(device);
    }
    if (!listening.isModelLoaded()) {
        fail(listening.errorMessage().value_or(
            QStringLiteral("The speech model could not be prepared")));
        co_return 1;
    }
    listening.toggleListening();
    QCoro::Task<> started = listening.toggleFinished();
    co_await started;
    if (!listening.isListening()) {
        fail(listening.errorMessage().value_or(QStringLiteral("Listening could not start")));
        co_return 1;
    }
    // The run also ends by itself when its capture fails.
    const QMetaObject::Connection ended =
        QObject::connect(&listening, &ListeningController::isListeningChanged, &stop, [&] {
            if (!listening.isListening())
                stop.request();
        });
    QCoro::Task<> stopRequested = stop.wait();
    co_await stopRequested;
    QObject::disconnect(ended);
    std::optional<QString> failure;
    if (listening.isListening()) {
        listening.toggleListening();
        QCoro::Task<> stopped = listening.toggleFinished();
        co_await stopped;
    } else {
        QCoro::Task<> stopped = listening.toggleFinished();
        co_await stopped;
        failure = listening.errorMessage();
    }
    state.sessionSaver().flush();
    if (failure) {
        fail(*failure);
        co_return 1;
    }
    co_return 0;
}

int usage(const QCommandLineParser &parser) {
    std::fprintf(stderr, "%s", parser.helpText().toUtf8().constData());
    return 2;
}

int listDevices() {
    const std::shared_ptr<AudioCaptureBackend> audio = DesktopBackends::audioCapture();
    AudioCaptureBackend &capture = *audio;
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
        if (!print(
                QStringLiteral("%1\t%2").arg(device.id).arg(QString::fromStdString(device.name))))
            break;
    return outputStatus();
}

int exportTranscript(const QStringList &arguments) {
    const std::optional<ExportFormat> format =
        arguments.size() >= 2 ? exportFormatFromExtension(arguments[1]) : std::nullopt;
    if (arguments.size() > 3 || !format) {
        fail(QStringLiteral("usage: orvinta-cli export txt|srt|vtt [FILE]"));
        return 2;
    }
    SessionStore store;
    std::optional<SessionData> session;
    try {
        session = store.read();
    } catch (const SessionFormatError &error) {
        fail(QStringLiteral("the saved transcript cannot be read: %1")
                 .arg(QString::fromUtf8(error.what())));
        return 1;
    }
    const QString content =
        exportContent(session ? session->lines : QList<ConfirmedLine>(), *format);
    if (arguments.size() == 3) {
        if (const auto error = writeFileAtomically(arguments[2], content.toUtf8())) {
            fail(QStringLiteral("cannot write %1").arg(*error));
            return 1;
        }
        return 0;
    }
    if (!content.isEmpty())
        print(content);
    return outputStatus();
}

QCoro::Task<int> translate(QString from, QString to, QString text) {
    Translator translator(DesktopBackends::translation());
    int exitCode = 1;
    translator.setAction(
        [&](std::shared_ptr<TranslationSession> session, CancellationToken) -> QCoro::Task<> {
            try {
                QCoro::Task<QString> translating = session->translate(text);
                const QString translated = co_await translating;
                print(translated);
                exitCode = outputStatus();
            } catch (const TranslationError &error) {
                fail(QString::fromUtf8(error.what()));
            }
        });
    translator.setConfiguration(TranslationConfiguration{from, to});
    co_await translator.idle();
    co_return exitCode;
}

} // namespace

int main(int argc, char **argv) {
    // A closed standard output, or a file that may grow no further, is
    // noticed as a failed write rather than a killed process.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // Without --verbose the tool says only what it reports itself; this is
    // set before the application object, which may warn while it starts.
    const bool verbose = std::any_of(
        argv + 1, argv + argc, [](const char *a) { return std::string_view(a) == "--verbose"; });
    // With it, the quoted transcript text is logged too: this is the user's own terminal.
    QLoggingCategory::setFilterRules(verbose
                                         ? QStringLiteral("com.orvinta.AppState.text.info=true\n"
                                                          "com.orvinta.Speech.text.info=true")
                                         : QStringLiteral("*=false"));
    if (argc > 1 && Cli::isInputCommand(argv[1]))
        return Cli::runInputCommand(argc, argv);

    // Listening with a display brings the clipboard for auto-copy; every
    // other command, and listening without a display, needs no GUI.
    const bool wantsClipboard = argc > 1 && std::string_view(argv[1]) == "listen" &&
                                (!qEnvironmentVariableIsEmpty("DISPLAY") ||
                                 !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
    std::unique_ptr<QCoreApplication> app = wantsClipboard
                                                ? std::make_unique<QGuiApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvinta-cli"));
    QCoreApplication::setApplicationVersion(AppVersion::displayVersion());
    if (argc > 1 && std::string_view(argv[1]) == "check-update")
        return checkUpdateCommand(*app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Live speech to text on this computer.\n\n"
        "Commands:\n"
        "  listen             print each confirmed line of live audio as \"[HH:mm:ss] text\" and\n"
        "                     save it in Orvinta's transcript (unless --no-save); with\n"
        "                     --source both or app as \"[HH:mm:ss] SPEAKER: text\"\n"
        "  transcribe FILE    transcribe an audio file (WAV, FLAC, Ogg and what else libsndfile "
        "reads)\n"
        "  transcribe --format txt|srt|vtt [-o OUT] FILE  the recording as \"[HH:MM:SS] text\"\n"
        "                     lines or subtitles, timed from its start\n"
        "  devices            list the audio input devices (id and name)\n"
        "  apps               list the applications playing sound (the name for --app, and\n"
        "                     what each plays)\n"
        "  export txt|srt|vtt [FILE]  write the saved transcript (standard output without FILE)\n"
        "  translate --to ID TEXT...  translate a text\n"
        "  check-update [--feed URL] [--ca-file PEM]  say whether a newer Orvinta is available\n"
        "  dictate [--hold-key KEYSYM]  hold the key (default Right Ctrl), speak, release: the\n"
        "                     text is printed and pasted at the cursor; Ctrl-C ends\n"
        "  paste TEXT...      paste the text at the cursor of the focused window (X11, or\n"
        "                     a wlroots compositor such as sway), then restore the clipboard\n"
        "  shortcuts          list the five global shortcuts and whether each registered\n"
        "  hold press|release  the hold key, from your desktop's key bindings (sway, Hyprland)\n"
        "  toggle recording|auto-copy|auto-paste|overlay|focus-captions|dictation  what a\n"
        "                     shortcut does, in the running Orvinta (or orvinta-cli dictate)\n"
        "  doctor             say what works on this desktop, and the key bindings it needs"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral(
            "listen, transcribe, devices, apps, export, translate, dictate, paste, shortcuts, "
            "hold, toggle, doctor or check-update"));
    const QCommandLineOption sourceOption(
        QStringLiteral("source"),
        QStringLiteral("system, microphone, app, or both: the microphone (\"Me\") and the "
                       "computer (\"Others\") (default: Orvinta's setting)"),
        QStringLiteral("source"));
    const QCommandLineOption appOption(
        QStringLiteral("app"),
        QStringLiteral("with --source app: the application to listen to, by name or program "
                       "(\"orvinta-cli apps\" lists them)"),
        QStringLiteral("name"));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("input device id for the microphone"),
                                          QStringLiteral("id"));
    const QCommandLineOption localeOption(
        QStringLiteral("locale"),
        QStringLiteral("recognition language (default: Orvinta's setting, en-US)"),
        QStringLiteral("id"));
    const QCommandLineOption interimOption(
        QStringLiteral("interim"), QStringLiteral("print the interim text on standard error"));
    const QCommandLineOption noSaveOption(
        QStringLiteral("no-save"),
        QStringLiteral("listen without saving into Orvinta's transcript"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"), QStringLiteral("language to translate from (default en-US)"),
        QStringLiteral("id"), QStringLiteral("en-US"));
    const QCommandLineOption toOption(
        QStringLiteral("to"), QStringLiteral("language to translate into"), QStringLiteral("id"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("log each step on standard error"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("transcribe: write the whole recording as txt, srt or vtt at the end"),
        QStringLiteral("format"));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("transcribe: write to this file, replaced only once all went well"),
        QStringLiteral("file"));
    parser.addOptions({sourceOption, appOption, deviceOption, localeOption, interimOption,
                       noSaveOption, fromOption, toOption, verboseOption, formatOption,
                       outputOption});
    parser.process(*app);

    const QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return usage(parser);
    const QString command = arguments.first();

    if (command == QLatin1String("devices"))
        return listDevices();
    if (command == QLatin1String("apps"))
        return Cli::listApplications();
    if (command == QLatin1String("export"))
        return exportTranscript(arguments);

    int exitCode = 1;
    const auto runTask = [&](QCoro::Task<int> task) {
        // Queued, so that a task done before the loop runs still ends it.
        QCoro::connect(std::move(task), app.get(), [&](int code) {
            exitCode = code;
            QMetaObject::invokeMethod(
                app.get(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
        });
        app->exec();
        return exitCode;
    };

    if (command == QLatin1String("translate")) {
        if (!parser.isSet(toOption) || arguments.size() < 2) {
            fail(QStringLiteral("usage: orvinta-cli translate --to ID [--from ID] TEXT..."));
            return 2;
        }
        if (!knownLanguage(parser.value(toOption), LocaleData::translationTargets(), "--to") ||
            !knownLanguage(parser.value(fromOption), LocaleData::translationTargets(), "--from"))
            return 2;
        return runTask(translate(parser.value(fromOption), parser.value(toOption),
                                 arguments.mid(1).join(QLatin1Char(' '))));
    }

    if (parser.isSet(localeOption) &&
        !knownLanguage(parser.value(localeOption), LocaleData::supportedLocales(), "--locale"))
        return 2;

    StopRequest stop;
    if (command == QLatin1String("transcribe")) {
        if (arguments.size() != 2)
            return usage(parser);
        const QString locale = parser.value(localeOption).isEmpty() ? QStringLiteral("en-US")
                                                                    : parser.value(localeOption);
        if (parser.isSet(formatOption) || parser.isSet(outputOption)) {
            // Without --format, the output file's extension says it; else text.
            const QString suffix = QFileInfo(parser.value(outputOption)).suffix();
            const std::optional<ExportFormat> format = exportFormatFromExtension(
                parser.isSet(formatOption)          ? parser.value(formatOption)
                : exportFormatFromExtension(suffix) ? suffix
                                                    : QStringLiteral("txt"));
            if (!format) {
                fail(QStringLiteral("usage: orvinta-cli transcribe --format txt|srt|vtt [-o OUT] "
                                    "FILE"));
                return 2;
            }
            return runTask(Cli::transcribeInto(arguments.at(1), locale, *format,
                                               parser.isSet(outputOption)
                                                   ? std::optional(parser.value(outputOption))
                                                   : std::nullopt,
                                               stop));
        }
        PrintingDelegate delegate(locale, parser.isSet(interimOption));
        delegate.onOutputClosed([&stop] { stop.request(); });
        const int status = runTask(transcribe(arguments.at(1), delegate, stop));
        return outputFailed() ? outputStatus() : status;
    }

    if (command != QLatin1String("listen")) {
        fail(QStringLiteral("unknown command \"%1\"").arg(command));
        return usage(parser);
    }

    // The user's settings, with this run's choices laid over them in memory.
    AppServices services = DesktopBackends::application();
    services.preferences->keepWritesInMemory();
    if (parser.isSet(sourceOption)) {
        const QString name = parser.value(sourceOption);
        if (name == QLatin1String("microphone") || name == QLatin1String("mic"))
            services.preferences->setString(QStringLiteral("app.selectedSource"),
                                            QStringLiteral("microphone"));
        else if (name == QLatin1String("system") || name == QLatin1String("systemAudio"))
            services.preferences->setString(QStringLiteral("app.selectedSource"),
                                            QStringLiteral("systemAudio"));
        else if (name == QLatin1String("both"))
            services.preferences->setString(QStringLiteral("app.selectedSource"),
                                            QStringLiteral("both"));
        else if (name == QLatin1String("app") || name == QLatin1String("application")) {
            if (!Cli::chooseApplicationSource(services, parser.value(appOption)))
                return 2;
        } else {
            fail(QStringLiteral("unknown source \"%1\" (use system, microphone, app or both)")
                     .arg(name));
            return 2;
        }
    } else if (parser.isSet(appOption) &&
               !Cli::chooseApplicationSource(services, parser.value(appOption))) {
        return 2;
    }
    if (parser.isSet(localeOption))
        services.preferences->setString(QStringLiteral("app.selectedLocale"),
                                        parser.value(localeOption));
    std::optional<std::uint32_t> device;
    if (!readDeviceOption(parser, deviceOption, device))
        return 2;

    // Whoever saves holds the lock next to the transcript.
    SingleInstance transcriptLock(services.session->folder());
    bool notSaved = false;
    if (parser.isSet(noSaveOption)) {
        services.session.reset();
    } else if (const auto claim = transcriptLock.claim();
               claim == SingleInstance::Claim::heldElsewhere) {
        fail(QStringLiteral(
            "Orvinta is running and keeps the transcript; quit it, or listen with --no-save"));
        return 1;
    } else if (claim == SingleInstance::Claim::impossible) {
        // Listening still helps; the run ends with a failure since nothing was kept.
        fail(QStringLiteral("The transcript cannot be saved: %1").arg(transcriptLock.claimError()));
        services.session.reset();
        notSaved = true;
    }
    services.sounds.reset();

    AppState state(std::move(services));
    SessionSaver &saver = state.sessionSaver();
    if (const auto &error = saver.restoreError())
        fail(QStringLiteral("the saved transcript cannot be read (%1); it is kept aside when the "
                            "first new line is saved")
                 .arg(*error));
    QObject::connect(&saver, &SessionSaver::fileKeptAside, &state, [](const QString &path) {
        fail(QStringLiteral("the previous transcript file was kept as %1").arg(path));
    });
    QObject::connect(&saver, &SessionSaver::saveFailed, &state, [&](const QString &description) {
        fail(description);
        notSaved = true;
    });
    const Transcript &transcript = *state.transcript();
    qsizetype printed = transcript.lineCount();
    QObject::connect(&transcript, &Transcript::lineCountChanged, &state, [&] {
        for (; printed < transcript.lineCount(); ++printed)
            if (!printLine(transcript.confirmedLines()[printed].time(),
                           labelledText(transcript.confirmedLines()[printed])))
                stop.request(); // nobody reads any more: end the run, keeping what was said
    });
    Cli::reportWaiting(*state.listening());
    // What happens to the sound meanwhile, one line each.
    const auto notice = [](const QString &text) {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        std::fflush(stderr);
    };
    QObject::connect(state.listening(), &ListeningController::isReconnectingChanged, &state, [&] {
        if (state.listening()->isReconnecting())
            notice(reconnectingText());
    });
    QObject::connect(state.listening(), &ListeningController::captureNotice, &state, notice);
    if (parser.isSet(interimOption))
        QObject::connect(&transcript, &Transcript::interimTextChanged, &state, [&] {
            if (!transcript.interimText().isEmpty())
                printInterim(transcript.interimText());
        });
    TranslationController translation(state, DesktopBackends::translation());
    const int status = runTask(listen(state, stop, device));
    if (status != 0)
        return status;
    if (outputFailed())
        return outputStatus();
    return notSaved ? 1 : 0;
}
