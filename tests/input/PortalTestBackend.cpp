// A desktop's portal back end for the portal tests, on the test's private
// bus behind the real xdg-desktop-portal frontend: it implements
// org.freedesktop.impl.portal.GlobalShortcuts and RemoteDesktop, prints
// what it is asked (one line each on standard output) and, on a command
// on standard input, emits Activated or Deactivated:
//   activate SESSION ID | deactivate SESSION ID   emit the signal
//   trigger ID TEXT                               bind ID to TEXT, not what is asked
//   refuse                                        the user cancels the next Start
//   quit

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QSocketNotifier>

#include <cstdio>
#include <map>

#include <unistd.h>

namespace {

const QString objectPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts");
const QString remoteInterface = QStringLiteral("org.freedesktop.impl.portal.RemoteDesktop");

struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void say(const QString &line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString path(const QVariant &value) {
    return value.metaType() == QMetaType::fromType<QDBusObjectPath>()
               ? value.value<QDBusObjectPath>().path()
               : value.toString();
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

class Backend : public QDBusVirtualObject {
public:
    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override {
        QDBusConnection bus = connection;
        const QVariantList in = message.arguments();
        const QString member = message.member();
        const auto reply = [&](const QVariantList &out) {
            bus.send(message.createReply(out));
            return true;
        };
        const auto response = [&](uint code, const QVariantMap &results) {
            return reply({QVariant::fromValue(code), QVariant::fromValue(results)});
        };
        if (message.interface() == u"org.freedesktop.DBus.Properties") {
            const QVariantMap properties = propertiesOf(in.value(0).toString());
            if (member == u"GetAll")
                return reply({QVariant::fromValue(properties)});
            if (member == u"Get" && properties.contains(in.value(1).toString()))
                return reply(
                    {QVariant::fromValue(QDBusVariant(properties[in.value(1).toString()]))});
            return false;
        }
        if (message.interface() == shortcutsInterface) {
            if (member == u"CreateSession") {
                say(QStringLiteral("session %1").arg(path(in.value(1))));
                return response(0, {{QStringLiteral("shortcuts"), boundList()}});
            }
            if (member == u"BindShortcuts") {
                const QString session = path(in.value(1));
                m_bound.clear();
                for (Shortcut shortcut : qdbus_cast<QList<Shortcut>>(in.value(2))) {
                    const QString description =
                        shortcut.properties.value(QStringLiteral("description")).toString();
                    const QString asked =
                        shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
                    say(QStringLiteral("bind %1\t%2\t%3\t%4")
                            .arg(session, shortcut.id, description, asked));
                    m_bound.append(
                        {shortcut.id,
                         {{QStringLiteral("description"), description},
                          {QStringLiteral("trigger_description"),
                           m_triggers.contains(shortcut.id) ? m_triggers[shortcut.id] : asked}}});
                }
                say(QStringLiteral("bound %1").arg(session));
                return response(0, {{QStringLiteral("shortcuts"), boundList()}});
            }
            if (member == u"ListShortcuts")
                return response(0, {{QStringLiteral("shortcuts"), boundList()}});
        }
        if (message.interface() == remoteInterface) {
            if (member == u"CreateSession") {
                say(QStringLiteral("remote session %1").arg(path(in.value(1))));
                return response(0, {});
            }
            if (member == u"SelectDevices") {
                const QVariantMap options = qdbus_cast<QVariantMap>(in.value(3));
                say(QStringLiteral("select devices %1")
                        .arg(options.value(QStringLiteral("types")).toUInt()));
                return response(0, {});
            }
            if (member == u"Start") {
                say(QStringLiteral("start"));
                const uint code = m_refuse ? 1 : 0;
                m_refuse = false;
                return response(code, {{QStringLiteral("devices"), QVariant::fromValue(1u)}});
            }
            if (member == u"NotifyKeyboardKeysym") {
                say(QStringLiteral("keysym 0x%1 %2")
                        .arg(in.value(2).toInt(), 0, 16)
                        .arg(in.value(3).toUInt() ? "down" : "up"));
                return reply({});
            }
        }
        if (member == u"Close") {
            if (message.interface() == u"org.freedesktop.impl.portal.Session")
                say(QStringLiteral("closed %1").arg(message.path()));
            return reply({});
        }
        return false;
    }

    void command(const QString &line) {
        const QStringList words = line.split(QLatin1Char(' '));
        const QString verb = words.value(0);
        if ((verb == u"activate" || verb == u"deactivate") && words.size() == 3) {
            QDBusMessage signal = QDBusMessage::createSignal(
                objectPath, shortcutsInterface,
                verb == u"activate" ? QStringLiteral("Activated") : QStringLiteral("Deactivated"));
            signal << QVariant::fromValue(QDBusObjectPath(words[1])) << words[2]
                   << QVariant::fromValue(
                          static_cast<qulonglong>(QDateTime::currentMSecsSinceEpoch() * 1000))
                   << QVariantMap();
            QDBusConnection::sessionBus().send(signal);
            say(QStringLiteral("sent %1").arg(line));
        } else if (verb == u"trigger" && words.size() >= 3) {
            m_triggers[words[1]] = words.mid(2).join(QLatin1Char(' '));
        } else if (verb == u"refuse") {
            m_refuse = true;
        } else if (verb == u"quit") {
            QCoreApplication::quit();
        }
    }

private:
    static QVariantMap propertiesOf(const QString &interface) {
        if (interface == shortcutsInterface)
            return {{QStringLiteral("version"), QVariant::fromValue(1u)}};
        if (interface == remoteInterface)
            return {{QStringLiteral("version"), QVariant::fromValue(1u)},
                    {QStringLiteral("AvailableDeviceTypes"), QVariant::fromValue(1u)}};
        return {};
    }
    QVariant boundList() const { return QVariant::fromValue(m_bound); }

    QList<Shortcut> m_bound;
    std::map<QString, QString> m_triggers;
    bool m_refuse = false;
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    Backend backend;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(objectPath, &backend, QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.impl.portal.desktop.orvintatest"))) {
        std::fprintf(stderr, "cannot register on the bus: %s\n",
                     bus.lastError().message().toUtf8().constData());
        return 1;
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            backend.command(QString::fromUtf8(pending.left(end)));
    });
    say(QStringLiteral("ready"));
    return app.exec();
}
