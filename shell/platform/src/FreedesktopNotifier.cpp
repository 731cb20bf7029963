#include <OrvintaPlatform/FreedesktopNotifier.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace Orvinta {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus, QObject *parent)
    : DesktopNotifier(parent)
    , m_bus(std::move(bus)) {
    if (!m_bus.isConnected())
        return;
    // Followed for whichever program owns the name, now or later.
    m_bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotifier::notify(const Notification &notification) {
    if (!m_bus.isConnected()) {
        const QString reason =
            QStringLiteral("no D-Bus session bus: %1")
                .arg(m_bus.lastError().message().isEmpty() ? QStringLiteral("not connected")
                                                           : m_bus.lastError().message());
        QMetaObject::invokeMethod(
            this, [this, reason] { Q_EMIT failed(reason); }, Qt::QueuedConnection);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    const QStringList actions{QStringLiteral("default"), notification.actionLabel,
                              QStringLiteral("view"), notification.actionLabel};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("orvinta")}};
    call << QStringLiteral("Orvinta") << m_id << QStringLiteral("orvinta") << notification.summary
         << notification.body << actions << hints << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isError()) {
                    Q_EMIT failed(reply.error().message());
                    return;
                }
                m_id = reply.value();
                Q_EMIT shown();
            });
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString &) {
    // The server tells every program of every notification's actions.
    if (id != 0 && id == m_id)
        Q_EMIT actionInvoked();
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint) {
    if (id == 0 || id != m_id)
        return;
    m_id = 0;
    Q_EMIT closed();
}

} // namespace Orvinta
