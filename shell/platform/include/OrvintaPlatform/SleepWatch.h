#pragma once

#include <QDBusConnection>
#include <QObject>

namespace Orvinta {

/// logind's word that the computer is about to sleep and has woken
/// (org.freedesktop.login1.Manager's PrepareForSleep on the system bus).
/// Where there is no system bus or no logind it says nothing: a run then
/// notices a sound server that went away by itself and waits for it.
class SleepWatch : public QObject {
    Q_OBJECT
public:
    explicit SleepWatch(QDBusConnection bus, QObject *parent = nullptr);

    /// Whether the bus took the subscription.
    bool isWatching() const { return m_watching; }

Q_SIGNALS:
    void goingToSleep();
    void wokeUp();

private Q_SLOTS:
    void onPrepareForSleep(bool sleeping);

private:
    bool m_watching = false;
};

} // namespace Orvinta
