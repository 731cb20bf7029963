#pragma once

#include <OrvintaApp/KeyCombo.h>
#include <OrvintaInput/KeyGrabber.h>
#include <OrvintaInput/ModifierKeySource.h>
#include <OrvintaInput/PasteKeystrokes.h>

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

namespace Orvinta {

class PreferencesStore;

/// The application id the desktop knows Orvinta by: the name of its
/// installed .desktop file, which the portal registry checks.
QString orvintaAppId();

/// What xdg-desktop-portal offers on the session bus, as the version of
/// each interface (0 where it is absent).
struct PortalProbe {
    unsigned globalShortcuts = 0;
    unsigned remoteDesktop = 0;
    /// The RemoteDesktop device types (1 keyboard, 2 pointer, 4 touch screen).
    unsigned remoteDesktopDevices = 0;
    /// org.freedesktop.host.portal.Registry (frontend 1.21 and later).
    unsigned registry = 0;
    /// Why the portal could not be asked at all; empty when it answered.
    QString unavailableReason;
};

/// Asks the portal on the session bus, waiting a few seconds at most.
PortalProbe probePortals();

/// A shortcut as the portals write it: CTRL, ALT, SHIFT and LOGO, then the
/// key's keysym name ("CTRL+ALT+s"); empty for a key without a keysym.
QString portalTrigger(const KeyCombo &combo);

/// The preference that keeps the RemoteDesktop portal's permission, so that
/// the desktop does not ask again at each start (RemoteDesktop version 2).
inline const QString remoteDesktopTokenPreference = QStringLiteral("app.remoteDesktopRestoreToken");

/// The keyboard services through xdg-desktop-portal, sharing one connection:
/// the four shortcuts and the hold key through GlobalShortcuts (press and
/// release), paste at the cursor through RemoteDesktop's keysyms. Back ends
/// not asked for stay null.
struct PortalKeyboard {
    /// Empty when the connection opened; otherwise why not.
    QString unavailableReason;
    std::unique_ptr<KeyGrabber> grabber;
    std::function<std::unique_ptr<ModifierKeySource>()> makeHoldKeySource;
    /// Asks the desktop for keyboard control as it is made: the desktop asks
    /// the user once per session.
    std::unique_ptr<PasteKeystrokes> keystrokes;
    /// Waits until the desktop answered that request; whether keys may be sent.
    std::function<bool(std::chrono::milliseconds timeout)> waitForKeystrokes;
};

/// Opens what `probe` found and the caller asks for. The hold key is bound
/// with the shortcuts from the start when dictation is on in `preferences`,
/// which also keep the RemoteDesktop permission. Call on the main thread
/// after the Qt application exists.
PortalKeyboard openPortalKeyboard(const PortalProbe &probe, bool shortcuts, bool paste,
                                  std::shared_ptr<PreferencesStore> preferences);

} // namespace Orvinta
