#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// Whether the desktop asks for reduced motion: GNOME's enable-animations
/// off, or KDE's animation speed 0; off elsewhere. Read once, without
/// blocking: the KDE file at once, GNOME's setting by an asynchronous
/// gsettings call. ORVINTA_REDUCED_MOTION=1 or 0 overrides both. The shell
/// makes one and hands it to the windows that animate.
class DesktopMotion : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell reads the desktop's motion setting")
    Q_PROPERTY(bool reducedMotion READ reducedMotion NOTIFY reducedMotionChanged)

public:
    explicit DesktopMotion(QObject *parent = nullptr);

    bool reducedMotion() const { return m_reducedMotion; }
    /// For tests and for a desktop that tells the change.
    void setReducedMotion(bool reduced);

    /// KDE's kdeglobals asks for no animation ([KDE] AnimationDurationFactor=0).
    static bool kdeAsksForReducedMotion(const QString &kdeglobalsPath);
    /// GNOME's "gsettings get org.gnome.desktop.interface enable-animations" output.
    static bool gnomeAnswerMeansReducedMotion(const QString &answer);

Q_SIGNALS:
    void reducedMotionChanged();

private:
    void readDesktopSetting();

    bool m_reducedMotion = false;
    bool m_overridden = false;
};

} // namespace Orvinta
