#include "GlobalShortcutsPortal.h"

#include <OrvintaInput/InputLog.h>

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QPointer>

#include <set>

namespace Orvinta {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

/// The modifiers of a trigger under one name each, and its key, lower case.
std::pair<std::set<QString>, QString> triggerParts(const QString &trigger) {
    QStringList parts = trigger.toLower().split(QLatin1Char('+'));
    for (QString &part : parts)
        part = part.trimmed();
    const QString key = parts.isEmpty() ? QString() : parts.takeLast();
    std::set<QString> modifiers;
    for (const QString &part : parts) {
        if (part == u"control" || part == u"ctrl")
            modifiers.insert(QStringLiteral("ctrl"));
        else if (part == u"logo" || part == u"super" || part == u"meta" || part == u"mod4")
            modifiers.insert(QStringLiteral("logo"));
        else if (part == u"alt" || part == u"mod1")
            modifiers.insert(QStringLiteral("alt"));
        else
            modifiers.insert(part);
    }
    return {modifiers, key};
}

} // namespace

bool sameTrigger(const QString &asked, const QString &bound) {
    return !bound.trimmed().isEmpty() && triggerParts(asked) == triggerParts(bound);
}

QString shortcutSettingsPlace() {
    // Only the wording depends on the desktop; which back end runs never does.
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(QLatin1Char(':'));
    if (desktops.contains(QStringLiteral("kde")))
        return QStringLiteral("Plasma's settings › Keyboard › Shortcuts");
    if (desktops.contains(QStringLiteral("gnome")))
        return QStringLiteral("Settings › Keyboard › View and Customize Shortcuts");
    return QStringLiteral("the desktop's keyboard shortcut settings");
}

GlobalShortcutsPortal::GlobalShortcutsPortal(std::shared_ptr<PortalConnection> connection,
                                             QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection)) {
    m_bindTimer.setSingleShot(true);
    m_bindTimer.setInterval(0);
    connect(&m_bindTimer, &QTimer::timeout, this, &GlobalShortcutsPortal::bindNow);
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] {
        const PortalShortcutState::Effect effect =
            m_state.expire(PortalShortcutState::Clock::now());
        if (effect == PortalShortcutState::Effect::holdEnd)
            qCWarning(lcDictationKey,
                      "The hold key's release did not arrive within %lld s: the hold ends",
                      static_cast<long long>(maximumHold.count()));
        apply(effect, holdKeyId);
    });
    // Listening before the session exists: its first signals are not lost.
    QDBusConnection &bus = m_connection->bus();
    bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                SLOT(handleActivated(QDBusMessage)));
    bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Deactivated"), this,
                SLOT(handleDeactivated(QDBusMessage)));
    bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("ShortcutsChanged"),
                this, SLOT(handleShortcutsChanged(QDBusMessage)));
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() {
    m_connection->closeSession(m_state.session());
}

void GlobalShortcutsPortal::setShortcut(const Shortcut &shortcut) {
    auto same = std::find_if(m_wanted.begin(), m_wanted.end(),
                             [&](const Shortcut &wanted) { return wanted.id == shortcut.id; });
    if (same == m_wanted.end())
        m_wanted.push_back(shortcut);
    else if (*same == shortcut)
        return;
    else
        *same = shortcut;
    // Changes made in one turn of the event loop (all five shortcuts at a
    // restart) become one binding: desktops may show a dialog for each.
    m_bindTimer.start();
}

void GlobalShortcutsPortal::forgetHold() {
    m_state.forgetHold();
    m_holdTimer.stop();
}

void GlobalShortcutsPortal::fail(const QString &reason) {
    m_unavailable = reason;
    qCWarning(lcHotkey, "Global shortcuts through the desktop portal unavailable: %s",
              qUtf8Printable(reason));
}

void GlobalShortcutsPortal::createSession() {
    if (m_creating)
        return;
    m_creating = true;
    const QString token = m_connection->newToken();
    QPointer<GlobalShortcutsPortal> self(this);
    m_connection->request(
        shortcutsInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), token}},
        [self, token](uint response, const QVariantMap &results) {
            if (!self)
                return;
            self->m_creating = false;
            if (response != 0) {
                self->fail(QStringLiteral("the desktop refused a shortcuts session (%1)")
                               .arg(results
                                        .value(QStringLiteral("error"),
                                               QStringLiteral("response %1").arg(response))
                                        .toString()));
                return;
            }
            QString handle = pathText(results.value(QStringLiteral("session_handle")));
            if (handle.isEmpty())
                handle = self->m_connection->sessionPath(token);
            self->m_state.setSession(handle);
            self->m_connection->bus().connect(
                portalService, handle, QStringLiteral("org.freedesktop.portal.Session"),
                QStringLiteral("Closed"), self, SLOT(handleClosed(QDBusMessage)));
            qCDebug(lcHotkey, "Global shortcuts session %s", qUtf8Printable(handle));
            self->bindNow();
        });
}

void GlobalShortcutsPortal::bindNow() {
    if (!m_unavailable.isEmpty() || m_wanted.empty())
        return;
    if (m_state.session().isEmpty()) {
        createSession();
        return;
    }
    // One binding at a time; its answer binds again when the set changed meanwhile.
    if (m_binding || m_wanted == m_sent)
        return;
    m_binding = true;
    m_sent = m_wanted;
    QList<PortalShortcutSpec> specs;
    for (const Shortcut &shortcut : m_sent)
        specs.append({shortcut.id,
                      {{QStringLiteral("description"), shortcut.description},
                       {QStringLiteral("preferred_trigger"), shortcut.trigger}}});
    QPointer<GlobalShortcutsPortal> self(this);
    m_connection->request(
        shortcutsInterface, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_state.session())), QVariant::fromValue(specs),
         QString()},
        {}, [self](uint response, const QVariantMap &results) {
            if (!self)
                return;
            self->m_binding = false;
            if (response == 0) {
                self->takeBound(results.value(QStringLiteral("shortcuts")));
            } else if (response == 1) {
                qCWarning(lcHotkey,
                          "The desktop's shortcut dialog was closed: assign the keys in %s",
                          qUtf8Printable(shortcutSettingsPlace()));
            } else {
                self->fail(QStringLiteral("the desktop did not bind the shortcuts (%1)")
                               .arg(results.value(QStringLiteral("error"), QStringLiteral("failed"))
                                        .toString()));
                return;
            }
            self->bindNow();
        });
}

void GlobalShortcutsPortal::takeBound(const QVariant &shortcuts) {
    m_bound.clear();
    for (const PortalShortcutSpec &spec : qdbus_cast<QList<PortalShortcutSpec>>(shortcuts))
        m_bound.push_back(
            {spec.id, spec.properties.value(QStringLiteral("description")).toString(),
             spec.properties.value(QStringLiteral("trigger_description")).toString()});
    // What the desktop bound is what counts; it may differ from what was asked.
    for (const Shortcut &asked : m_sent) {
        const auto bound = std::find_if(m_bound.begin(), m_bound.end(),
                                        [&](const Bound &b) { return b.id == asked.id; });
        const QString trigger = bound == m_bound.end() ? QString() : bound->trigger;
        if (trigger.isEmpty())
            qCWarning(lcHotkey,
                      "The desktop has no key for %s yet (asked for %s): assign one in %s",
                      qUtf8Printable(asked.description), qUtf8Printable(asked.trigger),
                      qUtf8Printable(shortcutSettingsPlace()));
        else if (!sameTrigger(asked.trigger, trigger))
            qCWarning(lcHotkey, "The desktop bound %s to %s, not %s: change it in %s",
                      qUtf8Printable(asked.description), qUtf8Printable(trigger),
                      qUtf8Printable(asked.trigger), qUtf8Printable(shortcutSettingsPlace()));
        else
            qCInfo(lcHotkey, "The desktop bound %s to %s", qUtf8Printable(asked.description),
                   qUtf8Printable(trigger));
    }
    Q_EMIT boundChanged();
}

void GlobalShortcutsPortal::apply(PortalShortcutState::Effect effect, const QString &id) {
    switch (effect) {
    case PortalShortcutState::Effect::none:
        // A timer that fired early waits for the rest.
        if (const auto deadline = m_state.holdDeadline(); deadline && !m_holdTimer.isActive())
            m_holdTimer.start(std::chrono::ceil<std::chrono::milliseconds>(
                *deadline - PortalShortcutState::Clock::now()));
        return;
    case PortalShortcutState::Effect::press:
        Q_EMIT pressed(id);
        return;
    case PortalShortcutState::Effect::holdStart:
        m_holdTimer.start(std::chrono::milliseconds(maximumHold));
        Q_EMIT holdChanged(true);
        return;
    case PortalShortcutState::Effect::holdEnd:
        m_holdTimer.stop();
        Q_EMIT holdChanged(false);
        return;
    }
}

void GlobalShortcutsPortal::handleActivated(const QDBusMessage &message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const auto now = PortalShortcutState::Clock::now();
    const QString id = arguments[1].toString();
    apply(m_state.expire(now), holdKeyId);
    apply(m_state.activated(pathText(arguments[0]), id, now), id);
}

void GlobalShortcutsPortal::handleDeactivated(const QDBusMessage &message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const auto now = PortalShortcutState::Clock::now();
    const QString id = arguments[1].toString();
    apply(m_state.expire(now), holdKeyId);
    apply(m_state.deactivated(pathText(arguments[0]), id, now), id);
}

void GlobalShortcutsPortal::handleShortcutsChanged(const QDBusMessage &message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() >= 2 && !m_state.session().isEmpty() &&
        pathText(arguments[0]) == m_state.session())
        takeBound(arguments[1]);
}

void GlobalShortcutsPortal::handleClosed(const QDBusMessage &message) {
    if (m_state.session().isEmpty() || message.path() != m_state.session())
        return;
    const bool held = m_state.isHolding();
    m_state.setSession({});
    m_holdTimer.stop();
    if (held)
        Q_EMIT holdChanged(false);
    fail(QStringLiteral("the desktop ended Orvinta's shortcuts session (start Orvinta again to "
                        "bind them again)"));
}

} // namespace Orvinta
