#include <OrvintaPlatform/LaunchAtLogin.h>

#include <OrvintaApp/AtomicFile.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace Orvinta {

namespace {

/// The command as one Exec argument of a desktop entry: quoted when it holds
/// a reserved character, with `"`, `` ` ``, `$` and `\` escaped inside the
/// quotes, a literal `%` doubled (it starts a field code), and then the
/// backslashes and tabs escaped once more as the entry's string values are.
QString execArgument(const QString &command) {
    static const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    const bool quote =
        command.isEmpty() ||
        std::any_of(command.begin(), command.end(), [](QChar c) { return reserved.contains(c); });
    QString argument;
    for (const QChar c : command) {
        if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                      c == QLatin1Char('\\')))
            argument += QLatin1Char('\\');
        argument += c;
        if (c == QLatin1Char('%'))
            argument += c;
    }
    if (quote)
        argument = QLatin1Char('"') + argument + QLatin1Char('"');
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    argument.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return argument;
}

} // namespace

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
    // An entry is line by line, and an Exec argument has no escape for a line break.
    if (m_command.contains(QLatin1Char('\n')) || m_command.contains(QLatin1Char('\r')))
        return QStringLiteral("cannot start %1 at login: its path holds a line break")
            .arg(m_command);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("cannot create %1").arg(QFileInfo(path).path());
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Orvinta\n"
                                            "Comment=Live speech-to-text subtitles\n"
                                            "Exec=%1\n"
                                            "Icon=orvinta\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(execArgument(m_command))
                                 .toUtf8();
    return writeFileAtomically(path, entry).value_or(QString());
}

} // namespace Orvinta
