#include <OrvintaUi/DesktopMotion.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace Orvinta {

namespace {
const QString gnomeSchema = QStringLiteral("org.gnome.desktop.interface");
const QString gnomeKey = QStringLiteral("enable-animations");
} // namespace

DesktopMotion::DesktopMotion(QObject *parent)
    : QObject(parent) {
    const QByteArray forced = qgetenv("ORVINTA_REDUCED_MOTION");
    if (!forced.isEmpty()) {
        m_reducedMotion = forced != "0";
        return;
    }
    watchKde();
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper().contains(QLatin1String("KDE")))
        return;
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (!gsettings.isEmpty())
        watchGnome(gsettings);
}

DesktopMotion::~DesktopMotion() {
    if (!m_gnomeMonitor)
        return;
    m_gnomeMonitor->disconnect(this);
    m_gnomeMonitor->kill();
    m_gnomeMonitor->waitForFinished(1000);
}

void DesktopMotion::setReducedMotion(bool reduced) {
    if (m_reducedMotion == reduced)
        return;
    m_reducedMotion = reduced;
    Q_EMIT reducedMotionChanged();
}

// Read by hand rather than through QSettings, whose cache may miss a rewrite
// of the same size within the file system's time resolution.
bool DesktopMotion::kdeAsksForReducedMotion(const QString &kdeglobalsPath) {
    QFile file(kdeglobalsPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inKdeGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inKdeGroup = line == QLatin1String("[KDE]");
            continue;
        }
        if (!inKdeGroup || line.section(QLatin1Char('='), 0, 0).trimmed() !=
                               QLatin1String("AnimationDurationFactor"))
            continue;
        bool ok = false;
        const double factor = line.section(QLatin1Char('='), 1).trimmed().toDouble(&ok);
        return ok && factor == 0;
    }
    return false;
}

bool DesktopMotion::gnomeAnswerMeansReducedMotion(const QString &answer) {
    return answer.section(QLatin1Char(':'), -1).trimmed() == QLatin1String("false");
}

void DesktopMotion::watchKde() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    m_kdeglobals = config + QStringLiteral("/kdeglobals");
    // KDE replaces the file when it saves it, which ends a watch of the file
    // itself: its folder tells of the new one.
    if (QFileInfo::exists(config))
        m_kdeWatcher.addPath(config);
    connect(&m_kdeWatcher, &QFileSystemWatcher::fileChanged, this, &DesktopMotion::readKde);
    connect(&m_kdeWatcher, &QFileSystemWatcher::directoryChanged, this, &DesktopMotion::readKde);
    readKde();
}

void DesktopMotion::readKde() {
    if (QFileInfo::exists(m_kdeglobals) && !m_kdeWatcher.files().contains(m_kdeglobals))
        m_kdeWatcher.addPath(m_kdeglobals);
    m_kdeReduced = kdeAsksForReducedMotion(m_kdeglobals);
    update();
}

void DesktopMotion::watchGnome(const QString &gsettings) {
    // The monitor first, so that no change falls between the reading and it.
    m_gnomeMonitor = new QProcess(this);
    connect(m_gnomeMonitor, &QProcess::readyReadStandardOutput, this, [this] {
        while (m_gnomeMonitor && m_gnomeMonitor->canReadLine()) {
            m_gnomeReduced =
                gnomeAnswerMeansReducedMotion(QString::fromUtf8(m_gnomeMonitor->readLine()));
            update();
        }
    });
    m_gnomeMonitor->start(gsettings, {QStringLiteral("monitor"), gnomeSchema, gnomeKey});

    auto *read = new QProcess(this);
    connect(read, &QProcess::finished, this, [this, read](int code, QProcess::ExitStatus) {
        if (code == 0) {
            m_gnomeReduced =
                gnomeAnswerMeansReducedMotion(QString::fromUtf8(read->readAllStandardOutput()));
            update();
        }
        read->deleteLater();
    });
    connect(read, &QProcess::errorOccurred, read, &QObject::deleteLater);
    read->start(gsettings, {QStringLiteral("get"), gnomeSchema, gnomeKey});
}

void DesktopMotion::update() {
    setReducedMotion(m_kdeReduced || m_gnomeReduced);
}

} // namespace Orvinta
