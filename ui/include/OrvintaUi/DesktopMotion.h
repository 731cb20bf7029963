#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// Whether the desktop asks for reduced motion: GNOME's enable-animations
/// off, or KDE's animation speed 0; off elsewhere. Followed for the whole
/// run without blocking: KDE's kdeglobals is watched, GNOME's setting read
/// and then monitored through gsettings. ORVINTA_REDUCED_MOTION=1 or 0
/// overrides both. The shell makes one and hands it to what animates.
class DesktopMotion : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell reads the desktop's motion setting")
    Q_PROPERTY(bool reducedMotion READ reducedMotion NOTIFY reducedMotionChanged)

public:
    explicit DesktopMotion(QObject *parent = nullptr);
    ~DesktopMotion() override;

    bool reducedMotion() const { return m_reducedMotion; }
    /// For tests and for a desktop that tells the change.
    void setReducedMotion(bool reduced);

    /// KDE's kdeglobals asks for no animation ([KDE] AnimationDurationFactor=0).
    static bool kdeAsksForReducedMotion(const QString &kdeglobalsPath);
    /// GNOME's answer for enable-animations: "false" from gsettings get, or
    /// "enable-animations: false" from gsettings monitor.
    static bool gnomeAnswerMeansReducedMotion(const QString &answer);

Q_SIGNALS:
    void reducedMotionChanged();

private:
    void watchKde();
    void readKde();
    void watchGnome(const QString &gsettings);
    void update();

    QString m_kdeglobals;
    QFileSystemWatcher m_kdeWatcher;
    QPointer<QProcess> m_gnomeMonitor;
    bool m_kdeReduced = false;
    bool m_gnomeReduced = false;
    bool m_reducedMotion = false;
};

} // namespace Orvinta
