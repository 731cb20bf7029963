#include "PortalConnection.h"

#include <OrvintaInput/InputLog.h>
#include <OrvintaInput/PortalKeyboard.h>

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace Orvinta {

namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
/// Registering answers at once; a frontend that does not is broken.
constexpr int registerTimeoutMs = 5000;

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcutSpec &spec) {
    argument.beginStructure();
    argument << spec.id << spec.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcutSpec &spec) {
    argument.beginStructure();
    argument >> spec.id >> spec.properties;
    argument.endStructure();
    return argument;
}

void registerPortalTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcutSpec>();
        qDBusRegisterMetaType<QList<PortalShortcutSpec>>();
        return true;
    }();
    Q_UNUSED(registered);
}

QDBusConnection connectToSessionBus(const QString &name) {
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty())
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    return QDBusConnection::connectToBus(address, name);
}

QString pathText(const QVariant &value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

std::shared_ptr<PortalConnection> PortalConnection::open(const PortalProbe &probe, QString *error) {
    registerPortalTypes();
    static int connections = 0;
    const QString name = QStringLiteral("orvinta-portal-%1").arg(++connections);
    QDBusConnection bus = connectToSessionBus(name);
    if (!bus.isConnected()) {
        *error =
            QStringLiteral("cannot reach the D-Bus session bus: %1").arg(bus.lastError().message());
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
    if (probe.registry > 0) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            portalService, portalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
            QStringLiteral("Register"));
        call << orvintaAppId() << QVariantMap();
        const QDBusMessage reply = bus.call(call, QDBus::Block, registerTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            *error = QStringLiteral("the desktop portal refused the application id %1 (%2); is "
                                    "%1.desktop installed?")
                         .arg(orvintaAppId(), reply.errorMessage());
            QDBusConnection::disconnectFromBus(name);
            return nullptr;
        }
    }
    return std::shared_ptr<PortalConnection>(new PortalConnection(bus, name));
}

PortalConnection::PortalConnection(QDBusConnection bus, QString name)
    : m_bus(std::move(bus))
    , m_name(std::move(name)) {}

PortalConnection::~PortalConnection() {
    // The portal ends this connection's sessions with it.
    QDBusConnection::disconnectFromBus(m_name);
}

QString PortalConnection::senderPathElement() const {
    QString sender = m_bus.baseService();
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    return sender.replace(QLatin1Char('.'), QLatin1Char('_'));
}

QString PortalConnection::newToken() {
    return QStringLiteral("orvinta%1").arg(++m_tokens);
}

QString PortalConnection::sessionPath(const QString &token) const {
    return QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
        .arg(senderPathElement(), token);
}

bool PortalConnection::listenForResponse(const QString &path, bool on) {
    if (on)
        return m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"),
                             this, SLOT(handleResponse(QDBusMessage)));
    return m_bus.disconnect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                            SLOT(handleResponse(QDBusMessage)));
}

void PortalConnection::request(const QString &interface, const QString &method,
                               QVariantList arguments, QVariantMap options, Done done) {
    const QString token = newToken();
    const QString expected = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(senderPathElement(), token);
    if (!listenForResponse(expected, true)) {
        done(2, {{QStringLiteral("error"), m_bus.lastError().message()}});
        return;
    }
    m_pending[expected] = std::move(done);
    options.insert(QStringLiteral("handle_token"), token);
    arguments << options;
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, expected](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                const auto pending = m_pending.find(expected);
                if (pending == m_pending.end())
                    return; // answered already
                if (reply.isError()) {
                    Done failed = std::move(pending->second);
                    m_pending.erase(pending);
                    listenForResponse(expected, false);
                    failed(2, {{QStringLiteral("error"), reply.error().message()}});
                    return;
                }
                const QString handle = reply.value().path();
                if (handle == expected)
                    return;
                // A portal older than handle tokens names the request itself.
                Done later = std::move(pending->second);
                m_pending.erase(pending);
                listenForResponse(expected, false);
                m_pending[handle] = std::move(later);
                listenForResponse(handle, true);
            });
}

void PortalConnection::handleResponse(const QDBusMessage &message) {
    const auto pending = m_pending.find(message.path());
    if (pending == m_pending.end())
        return;
    Done done = std::move(pending->second);
    m_pending.erase(pending);
    listenForResponse(message.path(), false);
    const QVariantList arguments = message.arguments();
    const uint response = arguments.value(0, 2u).toUInt();
    const QVariantMap results =
        arguments.size() > 1 ? qdbus_cast<QVariantMap>(arguments[1]) : QVariantMap();
    done(response, results);
}

void PortalConnection::closeSession(const QString &handle) {
    if (handle.isEmpty())
        return;
    m_bus.send(QDBusMessage::createMethodCall(portalService, handle,
                                              QStringLiteral("org.freedesktop.portal.Session"),
                                              QStringLiteral("Close")));
}

} // namespace Orvinta
