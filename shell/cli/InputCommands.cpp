#include "InputCommands.h"

#include "CliSupport.h"
#include "DesktopBackends.h"

#include <OrvintaInput/ModifierKeySource.h>

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>
#include <string_view>

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
    if (!haveDisplay())
        return 1;
    auto app = makeApplication(argc, argv);
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
    DesktopBackends::addKeyboard(services);
    // The application's shortcuts stay with the application.
    services.hotkeys.reset();

    AppState state(std::move(services));
    if (device)
        state.audioDevices()->setSelectedDeviceID(device);
    DictationController &dictation = state.dictationController();
    int status = 0;
    QObject::connect(&dictation, &DictationController::dictationFinished, &state,
                     [&](const QString &text) {
                         if (!text.isEmpty() && !print(text))
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
        say(QStringLiteral("Ready: hold %1 to dictate; Ctrl-C ends.")
                .arg(holdKeyDisplayName(holdKey)));
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

} // namespace

bool isInputCommand(const char *command) {
    const std::string_view name(command);
    return name == "dictate" || name == "shortcuts";
}

int runInputCommand(int argc, char **argv) {
    return std::string_view(argv[1]) == "dictate" ? dictate(argc, argv) : shortcuts(argc, argv);
}

} // namespace Orvinta::Cli
