#include <OrvintaInput/PortalKeyboard.h>

#include "GlobalShortcutsPortal.h"
#include "PortalConnection.h"
#include "PortalKeyGrabber.h"
#include "PortalModifierKeySource.h"
#include "PortalPasteKeystrokes.h"

#include <OrvintaApp/KeyTable.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QPointer>
#include <QScopeGuard>

namespace Orvinta {

namespace {

/// The portal starts on the first call; a desktop's portal takes a moment.
constexpr int probeTimeoutMs = 5000;

} // namespace

QString orvintaAppId() {
    return QStringLiteral(ORVINTA_APP_ID);
}

QString portalTrigger(const KeyCombo &combo) {
    const KeyRow *row = keyRowForCode(combo.keyCode);
    if (!row || !row->keysym)
        return {};
    QStringList parts;
    if (combo.modifiers & KeyCombo::control)
        parts << QStringLiteral("CTRL");
    if (combo.modifiers & KeyCombo::option)
        parts << QStringLiteral("ALT");
    if (combo.modifiers & KeyCombo::shift)
        parts << QStringLiteral("SHIFT");
    if (combo.modifiers & KeyCombo::command)
        parts << QStringLiteral("LOGO");
    parts << QString::fromLatin1(row->keysym);
    return parts.join(QLatin1Char('+'));
}

PortalProbe probePortals() {
    PortalProbe probe;
    const QString name = QStringLiteral("orvinta-portal-probe");
    QDBusConnection bus = connectToSessionBus(name);
    // Its own connection, which the portal forgets when it closes.
    const auto closed = qScopeGuard([&] { QDBusConnection::disconnectFromBus(name); });
    if (!bus.isConnected()) {
        probe.unavailableReason =
            QStringLiteral("no D-Bus session bus (%1)").arg(bus.lastError().message());
        return probe;
    }
    // Asked together: one wait at most, also while the portal starts.
    const auto ask = [&](const char *interface, const char *property) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        call << QString::fromLatin1(interface) << QString::fromLatin1(property);
        return QDBusPendingReply<QDBusVariant>(bus.asyncCall(call, probeTimeoutMs));
    };
    QDBusPendingReply<QDBusVariant> shortcuts =
        ask("org.freedesktop.portal.GlobalShortcuts", "version");
    QDBusPendingReply<QDBusVariant> remote = ask("org.freedesktop.portal.RemoteDesktop", "version");
    QDBusPendingReply<QDBusVariant> devices =
        ask("org.freedesktop.portal.RemoteDesktop", "AvailableDeviceTypes");
    QDBusPendingReply<QDBusVariant> registry =
        ask("org.freedesktop.host.portal.Registry", "version");
    const auto value = [](QDBusPendingReply<QDBusVariant> &reply) -> unsigned {
        reply.waitForFinished();
        return reply.isError() ? 0 : reply.value().variant().toUInt();
    };
    probe.globalShortcuts = value(shortcuts);
    probe.remoteDesktop = value(remote);
    probe.remoteDesktopDevices = value(devices);
    probe.registry = value(registry);
    // An interface the portal lacks is an error of its own; no portal at all is this one.
    const QDBusError::ErrorType error = shortcuts.error().type();
    if (error == QDBusError::ServiceUnknown || error == QDBusError::NoReply ||
        error == QDBusError::Timeout || error == QDBusError::TimedOut)
        probe.unavailableReason =
            QStringLiteral("no desktop portal answered (%1)").arg(shortcuts.error().message());
    return probe;
}

PortalKeyboard openPortalKeyboard(const PortalProbe &probe, bool shortcuts, bool paste,
                                  std::shared_ptr<PreferencesStore> preferences) {
    PortalKeyboard keyboard;
    const std::shared_ptr<PortalConnection> connection =
        PortalConnection::open(probe, &keyboard.unavailableReason);
    if (!connection)
        return keyboard;
    if (shortcuts && probe.globalShortcuts > 0) {
        auto portal = std::make_shared<GlobalShortcutsPortal>(connection);
        // Bound with the five from the start where dictation is on: each
        // binding may bring up the desktop's dialog.
        if (preferences && preferences->boolValue(QStringLiteral("app.dictationModeEnabled"))) {
            const QString holdKey =
                preferences->stringValue(holdKeyPreference).value_or(defaultHoldKey);
            portal->setShortcut({GlobalShortcutsPortal::holdKeyId,
                                 PortalModifierKeySource::description,
                                 isKnownKeysym(holdKey) ? holdKey : defaultHoldKey});
        }
        keyboard.grabber = std::make_unique<PortalKeyGrabber>(portal);
        keyboard.makeHoldKeySource = [portal]() -> std::unique_ptr<ModifierKeySource> {
            return std::make_unique<PortalModifierKeySource>(portal);
        };
    }
    if (paste && probe.remoteDesktop > 0) {
        auto keystrokes = std::make_unique<PortalPasteKeystrokes>(connection, probe.remoteDesktop,
                                                                  std::move(preferences));
        keyboard.waitForKeystrokes = [made = QPointer<PortalPasteKeystrokes>(keystrokes.get())](
                                         std::chrono::milliseconds timeout) {
            return made && made->waitUntilStarted(timeout);
        };
        keyboard.keystrokes = std::move(keystrokes);
    }
    return keyboard;
}

} // namespace Orvinta
