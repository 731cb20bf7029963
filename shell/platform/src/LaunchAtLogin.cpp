#include <OrvintaPlatform/LaunchAtLogin.h>

#include <OrvintaApp/AtomicFile.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace Orvinta {

XdgAutostart::XdgAutostart(QString configHome, QString command)
    : m_configHome(configHome.isEmpty()
                       ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                       : std::move(configHome))
    , m_command(command.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(command)) {}

QString XdgAutostart::entryPath() const {
    return QDir(m_configHome).filePath(QStringLiteral("autostart/orvinta.desktop"));
}

bool XdgAutostart::isEnabled() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A desktop environment switches an entry off with Hidden=true.
    const QString contents = QString::fromUtf8(file.readAll());
    return !contents.contains(QLatin1String("\nHidden=true"));
}

QString XdgAutostart::setEnabled(bool enabled) {
    const QString path = entryPath();
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path))
            return QStringLiteral("cannot remove %1").arg(path);
        return {};
    }
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("cannot create %1").arg(QFileInfo(path).path());
    QString command = m_command;
    if (command.contains(QLatin1Char(' ')))
        command = QLatin1Char('"') + command + QLatin1Char('"');
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Orvinta\n"
                                            "Comment=Live speech-to-text subtitles\n"
                                            "Exec=%1\n"
                                            "Icon=orvinta\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(command)
                                 .toUtf8();
    return writeFileAtomically(path, entry).value_or(QString());
}

} // namespace Orvinta
