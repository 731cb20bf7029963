#include <OrvintaUi/DesktopMotion.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

namespace Orvinta {

DesktopMotion::DesktopMotion(QObject *parent)
    : QObject(parent) {
    const QByteArray forced = qgetenv("ORVINTA_REDUCED_MOTION");
    if (!forced.isEmpty()) {
        m_overridden = true;
        m_reducedMotion = forced != "0";
        return;
    }
    readDesktopSetting();
}

void DesktopMotion::setReducedMotion(bool reduced) {
    if (m_reducedMotion == reduced)
        return;
    m_reducedMotion = reduced;
    Q_EMIT reducedMotionChanged();
}

bool DesktopMotion::kdeAsksForReducedMotion(const QString &kdeglobalsPath) {
    if (!QFile::exists(kdeglobalsPath))
        return false;
    const QSettings kde(kdeglobalsPath, QSettings::IniFormat);
    bool ok = false;
    const double factor = kde.value(QStringLiteral("KDE/AnimationDurationFactor")).toDouble(&ok);
    return ok && factor == 0;
}

bool DesktopMotion::gnomeAnswerMeansReducedMotion(const QString &answer) {
    return answer.trimmed() == QLatin1String("false");
}

void DesktopMotion::readDesktopSetting() {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper();
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (kdeAsksForReducedMotion(config + QStringLiteral("/kdeglobals"))) {
        m_reducedMotion = true;
        return;
    }
    if (desktop.contains(QLatin1String("KDE")))
        return;
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty())
        return;
    auto *process = new QProcess(this);
    connect(process, &QProcess::finished, this, [this, process](int code, QProcess::ExitStatus) {
        if (code == 0 && !m_overridden &&
            gnomeAnswerMeansReducedMotion(QString::fromUtf8(process->readAllStandardOutput())))
            setReducedMotion(true);
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, process, &QObject::deleteLater);
    process->start(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
                               QStringLiteral("enable-animations")});
}

} // namespace Orvinta
