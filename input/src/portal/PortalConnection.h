#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

#include <functional>
#include <map>
#include <memory>

class QDBusMessage;

namespace Orvinta {

struct PortalProbe;

inline const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

/// One shortcut as BindShortcuts takes it and its Response returns it
/// (a(sa{sv})): the id and its properties (description, preferred_trigger;
/// trigger_description in answers).
struct PortalShortcutSpec {
    QString id;
    QVariantMap properties;
};
QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcutSpec &spec);
const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcutSpec &spec);
/// Registers the type with Qt D-Bus (once).
void registerPortalTypes();

/// A connection of our own to the session bus that DBUS_SESSION_BUS_ADDRESS
/// names now (libdbus reads it only once per process), under `name`.
QDBusConnection connectToSessionBus(const QString &name);

/// An object path or string argument as text (frontends differ: 1.16 sends
/// the new session's handle as a string).
QString pathText(const QVariant &value);

/// A bus connection of our own to xdg-desktop-portal, shared by the
/// portal back ends: portals scope sessions to the connection, and from
/// frontend 1.21 a host application names itself on it before any call.
class PortalConnection : public QObject {
    Q_OBJECT
public:
    /// Null, with the reason in `error`, when the session bus cannot be
    /// reached or the registry refuses the application id.
    static std::shared_ptr<PortalConnection> open(const PortalProbe &probe, QString *error);
    ~PortalConnection() override;

    QDBusConnection &bus() { return m_bus; }
    /// A token for a handle_token or session_handle_token, new at each call.
    QString newToken();
    /// The path the portal gives the session created with `token`.
    QString sessionPath(const QString &token) const;

    using Done = std::function<void(uint response, const QVariantMap &results)>;
    /// Calls `method` of `interface` with `arguments` followed by `options`
    /// (a handle token added), and hands `done` the Request's Response:
    /// 0 done, 1 cancelled by the user, 2 failed (with "error" in the
    /// results when the call itself failed). The Response is listened for
    /// before the call goes out, so none is missed.
    void request(const QString &interface, const QString &method, QVariantList arguments,
                 QVariantMap options, Done done);
    /// Closes a session (org.freedesktop.portal.Session.Close) without waiting.
    void closeSession(const QString &handle);

private Q_SLOTS:
    void handleResponse(const QDBusMessage &message);

private:
    PortalConnection(QDBusConnection bus, QString name);
    bool listenForResponse(const QString &path, bool on);
    /// The sender part of request and session paths: the unique name
    /// without ':' and with '.' as '_'.
    QString senderPathElement() const;

    QDBusConnection m_bus;
    QString m_name;
    quint64 m_tokens = 0;
    std::map<QString, Done> m_pending;
};

} // namespace Orvinta

Q_DECLARE_METATYPE(Orvinta::PortalShortcutSpec)
