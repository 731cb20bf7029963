#include "RemoteCommands.h"

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/DesktopCapabilities.h>
#include <OrvintaInput/RemoteHoldKey.h>

#include <QStringList>

namespace Orvinta {

namespace {

const QString dictationOff = QStringLiteral(
    "hold-to-dictate is off: turn it on in Orvinta's settings (General > Dictation)");

QString usage() {
    return QStringLiteral("usage: orvinta-cli hold press|release, or orvinta-cli toggle "
                          "recording|auto-copy|auto-paste|overlay|focus-captions|dictation");
}

} // namespace

QString RemoteCommands::run(const QByteArray &line) const {
    const std::optional<RemoteCommand> command = RemoteCommand::parse(line);
    if (!command)
        return usage();
    if (command->kind != RemoteCommand::Kind::toggle) {
        if (!holdKey)
            return usage();
        const RemoteHoldKey::Answer answer = command->kind == RemoteCommand::Kind::holdPress
                                                 ? holdKey->press(command->stamp)
                                                 : holdKey->release(command->stamp);
        return answer == RemoteHoldKey::Answer::notWatched ? dictationOff : QString();
    }
    if (!state)
        return usage();
    const QString &name = command->toggle;
    if (name == QLatin1String("dictation"))
        return state->dictationController().toggleDictation() ? QString() : dictationOff;
    const HotkeyActions actions = state->shortcutActions();
    for (HotkeyAction action : allHotkeyActions) {
        if (toggleName(action) != name)
            continue;
        if (dictationOnly)
            return QStringLiteral("orvinta-cli dictate only dictates: start orvinta to toggle %1")
                .arg(name);
        const std::function<void()> &run = actions.forAction(action);
        if (!run)
            return QStringLiteral("recording needs the speech model (the package "
                                  "pocketsphinx-en-us)");
        run();
        return {};
    }
    return usage();
}

QByteArray remoteCommandLine(const QStringList &arguments, QString *error) {
    if (arguments.size() == 2 && arguments[0] == QLatin1String("hold") &&
        (arguments[1] == QLatin1String("press") || arguments[1] == QLatin1String("release")))
        return RemoteCommand{arguments[1] == QLatin1String("press")
                                 ? RemoteCommand::Kind::holdPress
                                 : RemoteCommand::Kind::holdRelease,
                             processStartStamp(),
                             {}}
            .line();
    if (arguments.size() == 2 && arguments[0] == QLatin1String("toggle") &&
        RemoteCommand::isToggle(arguments[1]))
        return RemoteCommand{RemoteCommand::Kind::toggle, 0, arguments[1]}.line();
    if (error)
        *error = usage();
    return {};
}

} // namespace Orvinta
