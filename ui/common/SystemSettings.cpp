#include <OrvintaUi/SystemSettings.h>

#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcSystemSettings, "com.orvinta.SystemSettings")

namespace Orvinta::SystemSettings {

std::optional<Command> soundSettingsCommand() {
    const std::initializer_list<Command> candidates{
        {QStringLiteral("pavucontrol"), {}},
        {QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}},
        {QStringLiteral("systemsettings"), {QStringLiteral("kcm_pulseaudio")}},
    };
    for (const Command &candidate : candidates) {
        const QString path = QStandardPaths::findExecutable(candidate.program);
        if (!path.isEmpty())
            return Command{path, candidate.arguments};
    }
    return std::nullopt;
}

bool openSoundSettings() {
    const auto command = soundSettingsCommand();
    if (!command) {
        qCWarning(lcSystemSettings,
                  "No sound settings found (install pavucontrol, GNOME Settings or KDE System "
                  "Settings)");
        return false;
    }
    if (!QProcess::startDetached(command->program, command->arguments)) {
        qCWarning(lcSystemSettings, "Could not start %s", qUtf8Printable(command->program));
        return false;
    }
    return true;
}

} // namespace Orvinta::SystemSettings
