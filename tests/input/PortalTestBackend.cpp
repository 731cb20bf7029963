// The portal tests' desktop back end behind the real xdg-desktop-portal on a private bus: it
// implements org.freedesktop.impl.portal.GlobalShortcuts and RemoteDesktop, prints one line for
// each thing it is asked, and obeys these lines on standard input:
//   activate SESSION ID | deactivate SESSION ID   emits Activated or Deactivated
//   close SESSION                                 the desktop ends the session
//   trigger ID TEXT                               binds ID to TEXT, not to what is asked
//   refuse                                        the user cancels the next Start
//   echo TEXT                                     prints the line: all before it was said

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QHash>
#include <QSocketNotifier>

#include <cstdio>
#include <utility>

#include <unistd.h>

struct Shortcut {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(Shortcut)

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

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts");
const QString remoteInterface = QStringLiteral("org.freedesktop.impl.portal.RemoteDesktop");

void say(const QString &line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString path(const QVariant &value) {
    return value.metaType() == QMetaType::fromType<QDBusObjectPath>()
               ? value.value<QDBusObjectPath>().path()
               : value.toString();
}

class Backend : public QDBusVirtualObject {
public:
    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override {
        const QVariantList in = message.arguments();
        const QString interface = message.interface();
        const QString member = message.member();
        const auto reply = [&](const QVariantList &out) {
            return QDBusConnection(connection).send(message.createReply(out));
        };
        const auto response = [&](uint code, const QVariantMap &results = {}) {
            return reply({QVariant::fromValue(code), results});
        };
        if (interface == u"org.freedesktop.DBus.Properties") {
            QVariantMap properties{{"version", 1u}};
            if (in.value(0).toString() == remoteInterface)
                properties.insert("AvailableDeviceTypes", 1u); // a keyboard
            if (member == u"GetAll")
                return reply({properties});
            const QVariant value = properties.value(in.value(1).toString());
            return value.isValid() && reply({QVariant::fromValue(QDBusVariant(value))});
        }
        if (interface == shortcutsInterface && member == u"CreateSession")
            return response(0, {{"shortcuts", QVariant::fromValue(m_bound)}});
        if (interface == shortcutsInterface && member == u"BindShortcuts") {
            const QString session = path(in.value(1));
            m_bound.clear();
            for (const Shortcut &shortcut : qdbus_cast<QList<Shortcut>>(in.value(2))) {
                const QString description = shortcut.properties.value("description").toString();
                const QString asked = shortcut.properties.value("preferred_trigger").toString();
                say(QStringLiteral("bind %1\t%2\t%3\t%4")
                        .arg(session, shortcut.id, description, asked));
                m_bound.append({shortcut.id,
                                {{"description", description},
                                 {"trigger_description", m_triggers.value(shortcut.id, asked)}}});
            }
            say("bound " + session);
            return response(0, {{"shortcuts", QVariant::fromValue(m_bound)}});
        }
        if (interface == remoteInterface && member == u"CreateSession") {
            say("remote session " + path(in.value(1)));
            return response(0);
        }
        if (interface == remoteInterface && member == u"SelectDevices") {
            say(QStringLiteral("select devices %1")
                    .arg(qdbus_cast<QVariantMap>(in.value(3)).value("types").toUInt()));
            return response(0);
        }
        if (interface == remoteInterface && member == u"Start") {
            return response(std::exchange(m_refuse, false) ? 1 : 0, {{"devices", 1u}});
        }
        if (interface == remoteInterface && member == u"NotifyKeyboardKeysym") {
            say(QStringLiteral("keysym 0x%1 %2")
                    .arg(in.value(2).toInt(), 0, 16)
                    .arg(in.value(3).toUInt() ? "down" : "up"));
            return reply({});
        }
        return member == u"Close" && reply({}); // of a request or session
    }

    void command(const QString &line) {
        const QStringList words = line.split(' ');
        QDBusMessage signal;
        if ((words[0] == u"activate" || words[0] == u"deactivate") && words.size() == 3) {
            signal =
                QDBusMessage::createSignal("/org/freedesktop/portal/desktop", shortcutsInterface,
                                           words[0] == u"activate" ? "Activated" : "Deactivated");
            signal << QVariant::fromValue(QDBusObjectPath(words[1])) << words[2]
                   << QVariant::fromValue(qulonglong(0)) << QVariantMap();
        } else if (words[0] == u"close" && words.size() == 2) {
            signal = QDBusMessage::createSignal(words[1], "org.freedesktop.impl.portal.Session",
                                                "Closed");
        } else if (words[0] == u"trigger" && words.size() >= 3) {
            m_triggers[words[1]] = words.mid(2).join(' ');
        } else if (words[0] == u"refuse") {
            m_refuse = true;
        } else if (words[0] == u"echo") {
            say(line);
        }
        if (signal.type() == QDBusMessage::SignalMessage) {
            QDBusConnection::sessionBus().send(signal);
            say("sent " + line);
        }
    }

private:
    QList<Shortcut> m_bound;
    QHash<QString, QString> m_triggers;
    bool m_refuse = false;
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    Backend backend;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject("/org/freedesktop/portal/desktop", &backend,
                                   QDBusConnection::SubPath) ||
        !bus.registerService("org.freedesktop.impl.portal.desktop.orvintatest")) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(bus.lastError().message()));
        return 1;
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            QCoreApplication::quit(); // the test ended
        pending.append(buffer, std::max<ssize_t>(n, 0));
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            backend.command(QString::fromUtf8(pending.left(end)));
    });
    say("ready");
    return app.exec();
}
