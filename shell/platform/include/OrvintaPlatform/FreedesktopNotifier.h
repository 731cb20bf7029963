#pragma once

#include <OrvintaUpdates/DesktopNotifier.h>

#include <QDBusConnection>

namespace Orvinta {

/// Notifications through the desktop's notification server
/// (org.freedesktop.Notifications on the session bus), whose action
/// "default" answers a click on the notification and "view" its button.
class FreedesktopNotifier final : public DesktopNotifier {
    Q_OBJECT
public:
    explicit FreedesktopNotifier(QDBusConnection bus, QObject *parent = nullptr);
    void notify(const Notification &notification) override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    /// The server's id of the notification on show; 0 for none.
    uint m_id = 0;
};

} // namespace Orvinta
