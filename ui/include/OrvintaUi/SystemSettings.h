#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Orvinta::SystemSettings {

struct Command {
    QString program; // as found on the PATH
    QStringList arguments;
};

/// The first sound-settings tool installed: pavucontrol, GNOME's sound
/// panel, or KDE's audio module; none when the desktop has neither.
std::optional<Command> soundSettingsCommand();

/// Opens the desktop's sound settings, detached from Orvinta; false (and a
/// logged warning) when no tool is installed or it cannot be started.
bool openSoundSettings();

} // namespace Orvinta::SystemSettings
