#include "InputCommands.h"

#include "CliSupport.h"
#include "DesktopBackends.h"
#include "RemoteCommands.h"

#include <OrvintaInput/ClipboardPaster.h>
#include <OrvintaInput/ModifierKeySource.h>

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaPlatform/SingleInstance.h>

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLockFile>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace Orvinta::Cli {

namespace {

void say(const QString &message) {
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
    std::fflush(stderr);
}

bool haveDisplay() {
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return true;
    fail(QStringLiteral("this command needs an X11 display (DISPLAY is not set)"));
    return false;
}

std::unique_ptr<QGuiApplication> makeApplication(int &argc, char **argv) {
    // Our clipboard must be the X11 one, whatever session this is.
    qputenv("QT_QPA_PLATFORM", "xcb");
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvinta-cli"));
    return app;
}

int dictate(int argc, char **argv) {
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (!x11 && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        fail(QStringLiteral("this command needs an X11 or Wayland display (DISPLAY and "
                            "WAYLAND_DISPLAY are not set)"));
        return 1;
    }
    // Without X11 the compositor's bindings bring the hold key (orvinta-cli
    // hold) and the compositor pastes: Qt needs no display of its own.
    if (!x11)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = x11 ? makeApplication(argc, argv) : std::make_unique<QGuiApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvinta-cli"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Hold a key, speak, release: what was said is printed and pasted at the "
                       "cursor of the focused window. Ctrl-C ends."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("dictate"), QStringLiteral("the command"));
    const QCommandLineOption holdKeyOption(
        QStringLiteral("hold-key"),
        QStringLiteral("X keysym name of the key to hold (default: Orvinta's setting, %1)")
            .arg(defaultHoldKey),
        QStringLiteral("keysym"));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("input device id for the microphone"),
                                          QStringLiteral("id"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("log each step on standard error"));
    parser.addOptions({holdKeyOption, deviceOption, verboseOption});
    parser.process(*app);

    // The user's settings, with this run's choices laid over them in memory;
    // the transcript is not touched.
    AppServices services = DesktopBackends::application();
    services.preferences->keepWritesInMemory();
    services.session.reset();
    services.preferences->setBool(QStringLiteral("app.dictationModeEnabled"), true);
    if (parser.isSet(holdKeyOption)) {
        const QString key = parser.value(holdKeyOption);
        if (!isKnownKeysym(key)) {
            fail(QStringLiteral("\"%1\" is not an X keysym name (for example Control_R, Alt_R, "
                                "Super_R, F13)")
                     .arg(key));
            return 2;
        }
        services.preferences->setString(holdKeyPreference, key);
    }
    std::optional<std::uint32_t> device;
    if (!readDeviceOption(parser, deviceOption, device))
        return 2;
    QString holdKey = services.preferences->stringValue(holdKeyPreference).value_or(defaultHoldKey);
    if (!isKnownKeysym(holdKey))
        holdKey = defaultHoldKey;
    const DesktopBackends::KeyboardStatus keyboard = DesktopBackends::addKeyboard(services);
    // The application's shortcuts stay with the application.
    services.hotkeys.reset();

    AppState state(std::move(services));
    // orvinta-cli hold and toggle dictation reach this run, beside a running
    // application; one dictate at a time answers them.
    SingleInstance commands;
    commands.setSocketName(dictateSocketName);
    QLockFile answering(commands.socketPath() + QStringLiteral(".lock"));
    answering.setStaleLockTime(0);
    if (answering.tryLock(0)) {
        const RemoteCommands remote{&state, keyboard.remoteHoldKey, true};
        commands.setCommandHandler(
            [remote](const QByteArray &command) { return remote.run(command); });
        if (!commands.acceptHandOvers())
            say(QStringLiteral("orvinta-cli hold cannot reach this run (%1 cannot be made)")
                    .arg(commands.socketPath()));
    } else {
        say(QStringLiteral("Another orvinta-cli dictate answers orvinta-cli hold and toggle"));
    }
    if (device)
        state.audioDevices()->setSelectedDeviceID(device);
    DictationController &dictation = state.dictationController();
    int status = 0;
    QObject::connect(&dictation, &DictationController::dictationFinished, &state,
                     [&](const QString &text) {
                         if (text.isEmpty())
                             return;
                         if (state.dictation()->leftOnClipboard())
                             say(QStringLiteral("Copied — press Ctrl+V: nothing here can paste "
                                                "at the cursor"));
                         if (!print(text))
                             QCoreApplication::quit();
                     });
    QObject::connect(state.listening(), &ListeningController::errorMessageChanged, &state, [&] {
        if (const auto &message = state.listening()->errorMessage())
            fail(*message);
    });
    StopRequest stop;
    QObject::connect(&stop, &StopRequest::requested, &state, &QCoreApplication::quit);

    QCoro::Task<> startup = state.startupFinished();
    QCoro::connect(std::move(startup), &state, [&] {
        if (!state.listening()->isModelLoaded()) {
            fail(state.listening()->errorMessage().value_or(
                QStringLiteral("The speech model could not be prepared")));
            status = 1;
            QCoreApplication::quit();
            return;
        }
        if (keyboard.holdKey.isEmpty())
            say(QStringLiteral("Ready: hold %1 to dictate; Ctrl-C ends.")
                    .arg(holdKeyDisplayName(holdKey)));
        else
            say(QStringLiteral("Ready: orvinta-cli hold press and hold release (bound to a key in "
                               "your compositor) dictate; Ctrl-C ends."));
    });
    app->exec();
    // A dictation under way when Ctrl-C came is stopped (and pasted) first.
    if (state.dictation()->isDictating()) {
        state.dictation()->setWantsDictating(false);
        QCoro::Task<> stopping = dictation.stopDictation();
        QCoro::waitFor(stopping);
    }
    return status;
}

int shortcuts(int argc, char **argv) {
    if (!haveDisplay())
        return 1;
    auto app = makeApplication(argc, argv);
    AppServices services;
    services.preferences = std::make_shared<PreferencesStore>();
    DesktopBackends::addKeyboard(services);
    std::map<HotkeyAction, QString> failures;
    services.hotkeys->setFailureHandler(
        [&](HotkeyAction action, const QString &reason) { failures[action] = reason; });
    services.hotkeys->start();
    int failed = 0;
    for (HotkeyAction action : allHotkeyActions) {
        const KeyCombo combo = services.hotkeys->combo(action);
        QString line = QStringLiteral("%1\t%2\t").arg(actionLabel(action), combo.displayString());
        if (services.hotkeys->isRegistered(action)) {
            line += QStringLiteral("registered");
        } else {
            ++failed;
            line += QStringLiteral("failed: %1").arg(failures[action]);
        }
        if (!print(line))
            return 1;
    }
    return failed == 0 ? 0 : 1;
}

/// Pastes `text` and waits until the clipboard is restored: 0 when a window
/// read the text, else 1 with the reason said.
int pasteOnce(ClipboardPaster &paster, const QString &text) {
    bool fetched = false;
    QObject thisPaste;
    QObject::connect(&paster, &ClipboardPaster::textFetched, &thisPaste, [&] { fetched = true; });
    const PasteResult result = paster.pasteTextAtCursor(text);
    if (!result.pasted()) {
        fail(result.onClipboard ? QStringLiteral("%1; the text is on the clipboard: press Ctrl+V")
                                      .arg(result.failure)
                                : result.failure);
        return 1;
    }
    if (paster.isRestorePending()) {
        // Queued: a read the restore itself let through is counted first.
        QEventLoop restoring;
        QObject::connect(&paster, &ClipboardPaster::restored, &restoring, &QEventLoop::quit,
                         Qt::QueuedConnection);
        restoring.exec();
    }
    if (!fetched) {
        fail(QStringLiteral("the paste keystroke went out but no window read the text (is a text "
                            "field focused?)"));
        return 1;
    }
    return 0;
}

/// A program's clipboard content goes when the program ends: the paste runs
/// in a child that reports the exit status and then, detached, serves what
/// it put back until another program sets the clipboard.
int paste(int argc, char **argv) {
    QStringList words;
    bool literal = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (!literal && argument == "--")
            literal = true;
        else if (!literal && argument == "--verbose")
            continue;
        else if (!literal && (argument == "-h" || argument == "--help")) {
            std::printf("Usage: orvinta-cli paste [--verbose] [--] TEXT...\n"
                        "Pastes the text at the cursor of the focused window and puts the "
                        "clipboard's content back.\n");
            return 0;
        } else
            words << QString::fromLocal8Bit(argv[i]);
    }
    const QString text = words.join(QLatin1Char(' '));
    if (text.isEmpty()) {
        fail(QStringLiteral("usage: orvinta-cli paste [--verbose] [--] TEXT..."));
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        fail(QStringLiteral("paste at the cursor needs a Wayland or X11 display (WAYLAND_DISPLAY "
                            "and DISPLAY are not set)"));
        return 1;
    }

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        fail(QStringLiteral("cannot start the paste: %1")
                 .arg(QString::fromLocal8Bit(strerror(errno))));
        return 1;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) {
        fail(QStringLiteral("cannot start the paste: %1")
                 .arg(QString::fromLocal8Bit(strerror(errno))));
        return 1;
    }
    if (child > 0) {
        ::close(report[1]);
        char status = 1;
        ssize_t n;
        while ((n = ::read(report[0], &status, 1)) < 0 && errno == EINTR) {
        }
        if (n != 1) {
            fail(QStringLiteral("the paste ended unexpectedly"));
            return 1;
        }
        return status;
    }

    ::close(report[0]);
    // Our clipboard must be the X11 one where the paste goes through X11; a
    // compositor's needs no GUI of ours.
    std::unique_ptr<QCoreApplication> app;
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        app = makeApplication(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvinta-cli"));
    auto preferences = std::make_shared<PreferencesStore>();
    // This command always gives the clipboard back, whatever auto-copy says.
    preferences->keepWritesInMemory();
    preferences->setBool(QStringLiteral("app.autoCopyToClipboard"), false);
    const std::shared_ptr<ClipboardPaster> paster = DesktopBackends::cursorPaster(preferences);
    const char status = static_cast<char>(pasteOnce(*paster, text));
    const bool serve = paster->holdsClipboardContent();
    std::fflush(stdout);
    std::fflush(stderr);
    if (serve) {
        // Out of the caller's terminal and pipes, which then see the command end.
        setsid();
        const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            dup2(nothing, fd);
        if (nothing > STDERR_FILENO)
            ::close(nothing);
    }
    while (::write(report[1], &status, 1) < 0 && errno == EINTR) {
    }
    ::close(report[1]);
    if (serve) {
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (!paster->holdsClipboardContent())
                QCoreApplication::quit();
        });
        check.start(250);
        QCoreApplication::exec();
    }
    return status;
}

/// hold press|release and toggle NAME, for the desktop's key bindings: to a
/// running orvinta-cli dictate, else the application. Quick, and without
/// Qt's start-up: a binding runs it at each press.
int remote(int argc, char **argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) != "--verbose")
            arguments << QString::fromLocal8Bit(argv[i]);
    QString usage;
    const QByteArray line = remoteCommandLine(arguments, &usage);
    if (line.isEmpty()) {
        fail(usage);
        return 2;
    }
    SingleInstance dictation;
    dictation.setSocketName(dictateSocketName);
    for (const QString &socket : {dictation.socketPath(), SingleInstance().socketPath()}) {
        const std::optional<QString> failure =
            SingleInstance::sendCommand(socket, line, std::chrono::seconds(3));
        if (!failure)
            continue;
        if (failure->isEmpty())
            return 0;
        fail(*failure);
        return 1;
    }
    fail(QStringLiteral("Orvinta is not running (start orvinta, or orvinta-cli dictate)"));
    return 1;
}

/// One line per capability, as the settings' "What Works Here" says it,
/// then the key bindings this desktop needs.
int doctor(int argc, char **argv) {
    // Qt's clipboard is X11's where a paste would go through X11.
    std::unique_ptr<QCoreApplication> app;
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        app = makeApplication(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvinta-cli"));
    AppServices services;
    services.preferences = std::make_shared<PreferencesStore>();
    // What the application would choose, with no portal session (and so no dialog of the desktop).
    DesktopCapabilities capabilities =
        DesktopBackends::probe(services, DesktopBackends::keyboardStatus());
    // A command may wait for the sound server, as the application's device list does elsewhere.
    const std::optional<std::vector<InputDeviceRecord>> devices =
        DesktopBackends::audioCapture()->inputDevices();
    capabilities.soundServer = devices ? DesktopCapabilities::SoundServer::answered
                                       : DesktopCapabilities::SoundServer::unreachable;
    for (const InputDeviceRecord &device : devices.value_or(std::vector<InputDeviceRecord>{})) {
        capabilities.systemAudioOutput |= device.isMonitor;
        capabilities.microphone |= !device.isMonitor && device.inputChannels > 0;
    }
    for (const Capability &line : capabilities.features())
        if (!print(QStringLiteral("%1: %2").arg(line.feature,
                                                line.available ? line.backend : line.status())))
            return outputStatus();
    const SetupLines setup = capabilities.setupLines();
    if (!setup.isEmpty()) {
        print(QString());
        print(setup.instructions);
        for (const QString &line : setup.lines)
            print(line);
    }
    return outputStatus();
}

} // namespace

bool isInputCommand(const char *command) {
    const std::string_view name(command);
    return name == "dictate" || name == "shortcuts" || name == "paste" || name == "hold" ||
           name == "toggle" || name == "doctor";
}

int runInputCommand(int argc, char **argv) {
    const std::string_view command(argv[1]);
    if (command == "paste")
        return paste(argc, argv);
    if (command == "hold" || command == "toggle")
        return remote(argc, argv);
    if (command == "doctor")
        return doctor(argc, argv);
    return command == "dictate" ? dictate(argc, argv) : shortcuts(argc, argv);
}

} // namespace Orvinta::Cli
