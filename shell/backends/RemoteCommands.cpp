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
                          "recording|auto-copy|auto-paste|overlay|dictation");
}

} // namespace

QString RemoteCommands::run(const QByteArray &command) const {
    const QList<QByteArray> words = command.split(' ');
    if (words.size() == 3 && words[0] == "hold" && (words[1] == "press" || words[1] == "release")) {
        bool ok = false;
        const std::uint64_t stamp = words[2].toULongLong(&ok);
        if (!ok || !holdKey)
            return usage();
        const RemoteHoldKey::Answer answer =
            words[1] == "press" ? holdKey->press(stamp) : holdKey->release(stamp);
        return answer == RemoteHoldKey::Answer::notWatched ? dictationOff : QString();
    }
    if (words.size() != 2 || words[0] != "toggle" || !state)
        return usage();
    const QString name = QString::fromUtf8(words[1]);
    if (name == QLatin1String("dictation"))
        return state->dictationController().toggleDictation() ? QString() : dictationOff;
    const HotkeyActions actions = state->shortcutActions();
    for (HotkeyAction action : allHotkeyActions) {
        if (toggleName(action) != name)
            continue;
        if (dictationOnly)
            return QStringLiteral("orvinta-cli dictate only dictates: start orvinta to toggle %1")
                .arg(name);
        const std::function<void()> &run =
            action == HotkeyAction::toggleListening   ? actions.toggleListening
            : action == HotkeyAction::toggleAutoCopy  ? actions.toggleAutoCopy
            : action == HotkeyAction::toggleAutoPaste ? actions.toggleAutoPaste
                                                      : actions.toggleOverlay;
        if (!run)
            return QStringLiteral("recording needs the speech model (the package "
                                  "pocketsphinx-en-us)");
        run();
        return {};
    }
    return usage();
}

QByteArray remoteCommandLine(const QStringList &arguments, QString *error) {
    static const QStringList toggles{QStringLiteral("recording"), QStringLiteral("auto-copy"),
                                     QStringLiteral("auto-paste"), QStringLiteral("overlay"),
                                     QStringLiteral("dictation")};
    if (arguments.size() == 2 && arguments[0] == QLatin1String("hold") &&
        (arguments[1] == QLatin1String("press") || arguments[1] == QLatin1String("release")))
        return arguments.join(QLatin1Char(' ')).toUtf8() + ' ' +
               QByteArray::number(static_cast<qulonglong>(processStartStamp()));
    if (arguments.size() == 2 && arguments[0] == QLatin1String("toggle") &&
        toggles.contains(arguments[1]))
        return arguments.join(QLatin1Char(' ')).toUtf8();
    if (error)
        *error = usage();
    return {};
}

} // namespace Orvinta
