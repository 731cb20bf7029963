#include <OrvintaPlatform/SleepWatch.h>

namespace Orvinta {

SleepWatch::SleepWatch(QDBusConnection bus, QObject *parent)
    : QObject(parent) {
    m_watching = bus.isConnected() && bus.connect(QStringLiteral("org.freedesktop.login1"),
                                                  QStringLiteral("/org/freedesktop/login1"),
                                                  QStringLiteral("org.freedesktop.login1.Manager"),
                                                  QStringLiteral("PrepareForSleep"), this,
                                                  SLOT(onPrepareForSleep(bool)));
}

void SleepWatch::onPrepareForSleep(bool sleeping) {
    if (sleeping)
        Q_EMIT goingToSleep();
    else
        Q_EMIT wokeUp();
}

} // namespace Orvinta
