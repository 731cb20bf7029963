#include "DesktopBackends.h"

#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaApp/SessionStore.h>
#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngine/SpeechLog.h>
#include <OrvintaEngineBackends/PocketSphinxRecognizer.h>
#include <OrvintaEngineBackends/PulseAudioCapture.h>
#include <OrvintaInput/ClipboardPaster.h>
#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>
#include <OrvintaInput/InputLog.h>
#include <OrvintaInput/PortalKeyboard.h>
#include <OrvintaInput/RemoteHoldKey.h>
#include <OrvintaInput/WaylandKeyboard.h>
#include <OrvintaInput/X11Keyboard.h>
#include <OrvintaPlatform/FreedesktopNotifier.h>
#include <OrvintaPlatform/LaunchAtLogin.h>
#include <OrvintaPlatform/SystemClipboard.h>
#include <OrvintaPlatform/ToneSoundPlayer.h>
#include <OrvintaTranslationBackends/ApertiumTranslator.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

#include <xcb/xcb.h>

#include <cstdlib>
#include <filesystem>

namespace Orvinta::DesktopBackends {

AppServices application() {
    AppServices services;
    services.preferences = std::make_shared<PreferencesStore>();
    services.clipboard = std::make_shared<SystemClipboard>();
    services.session = std::make_shared<SessionStore>();
    std::shared_ptr<AudioCaptureBackend> audio = audioCapture();
    services.audio = audio;
    auto soundServer = makeSerialWorker("orvinta-sound", lcSpeech);
    services.soundServer = soundServer;
    services.makeEngine = [audio, recognizer = recognizer(),
                           soundServer](STTEngineDelegate *delegate) -> std::unique_ptr<STTEngine> {
        return std::make_unique<OnDeviceSpeechEngine>(delegate, recognizer, audio, soundServer);
    };
    services.sounds = std::make_shared<ToneSoundPlayer>();
    services.loginItems = std::make_shared<XdgAutostart>();
    return services;
}

KeyboardChoice chooseKeyboard(const KeyboardProbe &probe) {
    KeyboardChoice choice;
    if (probe.waylandSession && probe.globalShortcutsPortal > 0)
        choice.shortcuts = KeyboardChoice::Shortcuts::portal;
    if (probe.virtualKeyboard && probe.dataControl) {
        choice.keystrokes = KeyboardChoice::Keystrokes::compositor;
        choice.clipboard = KeyboardChoice::Clipboard::compositor;
    } else if (probe.waylandSession && probe.remoteDesktopKeyboard() &&
               (probe.dataControl || probe.x11)) {
        choice.keystrokes = KeyboardChoice::Keystrokes::portal;
        if (probe.dataControl)
            choice.clipboard = KeyboardChoice::Clipboard::compositor;
    } else if (probe.waylandSession && !probe.x11) {
        choice.keystrokes = KeyboardChoice::Keystrokes::compositor;
        choice.clipboard = KeyboardChoice::Clipboard::compositor;
    }
    return choice;
}

namespace {

using PasteBackend = DesktopCapabilities::PasteBackend;
using ClipboardBackend = DesktopCapabilities::ClipboardBackend;

/// The desktop's keyboard back ends, each opened once and handed to the
/// services that chooseKeyboard names; `status` says which they went through.
struct Keyboard {
    X11Keyboard x11 = openX11Keyboard();
    WaylandKeyboard wayland = openWaylandKeyboard();
    PortalProbe portals;
    KeyboardChoice choice;
    PortalKeyboard portal;
    KeyboardStatus status;

    /// Opens the portal back ends that the choice names and the caller asks
    /// for; each may bring up the desktop's dialog.
    Keyboard(bool shortcuts, bool paste, const std::shared_ptr<PreferencesStore> &preferences) {
        KeyboardProbe &probe = status.probe;
        probe.waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        probe.x11 = x11.unavailableReason.isEmpty();
        probe.virtualKeyboard = wayland.keystrokes->unavailableReason().isEmpty();
        probe.dataControl = wayland.clipboard->unavailableReason().isEmpty();
        status.display = x11.unavailableReason;
        if (probe.waylandSession) {
            // The GUI thread waits here, once, before any window shows: at
            // most probePortals' 5 s where a portal hangs (its calls go out
            // together; the registry's Register, where there is one, as
            // long again). Off this thread the keyboard services could not
            // be chosen before they are built. X11 sessions never ask.
            portals = probePortals();
            probe.globalShortcutsPortal = portals.globalShortcuts;
            probe.remoteDesktopPortal = portals.remoteDesktop;
            probe.remoteDesktopDevices = portals.remoteDesktopDevices;
            probe.portalRegistry = portals.registry;
            probe.portalUnavailable = portals.unavailableReason;
            qCInfo(lcHotkey, "Desktop portal: GlobalShortcuts %u, RemoteDesktop %u, registry %u%s",
                   portals.globalShortcuts, portals.remoteDesktop, portals.registry,
                   qUtf8Printable(portals.unavailableReason.isEmpty()
                                      ? QString()
                                      : QStringLiteral(" (%1)").arg(portals.unavailableReason)));
        }
        choice = chooseKeyboard(probe);
        const bool portalShortcuts =
            shortcuts && choice.shortcuts == KeyboardChoice::Shortcuts::portal;
        const bool portalPaste = paste && choice.keystrokes == KeyboardChoice::Keystrokes::portal;
        if (portalShortcuts || portalPaste) {
            portal = openPortalKeyboard(portals, portalShortcuts, portalPaste, preferences);
            status.portal = portal.unavailableReason;
            if (!portal.unavailableReason.isEmpty())
                qCWarning(lcHotkey, "Desktop portal unavailable: %s",
                          qUtf8Printable(portal.unavailableReason));
        }
    }

    std::shared_ptr<ClipboardPaster> paster(std::shared_ptr<PreferencesStore> preferences) {
        switch (choice.keystrokes) {
        case KeyboardChoice::Keystrokes::compositor: {
            qCInfo(lcPaste, "Paste at the cursor through the Wayland compositor");
            const KeyboardProbe &probe = status.probe;
            status.pasteBackend = probe.virtualKeyboard && probe.dataControl
                                      ? PasteBackend::waylandVirtualKeyboard
                                      : PasteBackend::none;
            status.clipboard =
                probe.dataControl ? ClipboardBackend::dataControl : ClipboardBackend::none;
            auto paster = std::make_shared<ClipboardPaster>(std::move(wayland.keystrokes),
                                                            std::move(wayland.clipboard),
                                                            std::move(preferences));
            status.paste = paster->unavailableReason();
            return paster;
        }
        case KeyboardChoice::Keystrokes::portal:
            if (portal.keystrokes)
                return portalPaster(std::move(preferences));
            break;
        case KeyboardChoice::Keystrokes::x11:
            break;
        }
        if (status.probe.waylandSession && status.probe.x11)
            qCInfo(lcPaste,
                   "Paste at the cursor through XWayland: it reaches X11 applications only");
        auto paster =
            std::make_shared<ClipboardPaster>(std::move(x11.keystrokes), std::move(preferences));
        status.paste = paster->unavailableReason();
        status.pasteBackend =
            status.probe.x11 && status.paste.isEmpty() ? PasteBackend::xtest : PasteBackend::none;
        status.clipboard = status.probe.x11 ? ClipboardBackend::x11 : ClipboardBackend::none;
        return paster;
    }

    std::shared_ptr<ClipboardPaster> portalPaster(std::shared_ptr<PreferencesStore> preferences) {
        std::unique_ptr<PasteClipboard> clipboard;
        if (choice.clipboard == KeyboardChoice::Clipboard::compositor) {
            clipboard = std::move(wayland.clipboard);
        } else {
            // XWayland's selection, which the compositor hands to Wayland windows.
            std::shared_ptr<PasteKeystrokes> display = std::move(x11.keystrokes);
            clipboard = makeQtPasteClipboard([display] { return display->clipboardHasOwner(); });
        }
        qCInfo(lcPaste,
               "Paste at the cursor through the RemoteDesktop portal, the clipboard "
               "through %s",
               choice.clipboard == KeyboardChoice::Clipboard::compositor ? "the compositor"
                                                                         : "X11");
        notePortalPaste();
        return std::make_shared<ClipboardPaster>(std::move(portal.keystrokes), std::move(clipboard),
                                                 std::move(preferences));
    }

    /// The RemoteDesktop portal pastes. The desktop's answer comes later, so
    /// it is no reason here: a paste it does not allow leaves the text on
    /// the clipboard, and the bubble says so.
    void notePortalPaste() {
        status.pasteBackend = PasteBackend::remoteDesktopPortal;
        status.clipboard = choice.clipboard == KeyboardChoice::Clipboard::compositor
                               ? ClipboardBackend::dataControl
                               : ClipboardBackend::x11;
        status.paste.clear();
    }
};

/// The desktop's name, for the wording of its fixes.
DesktopCapabilities::Desktop desktopFromEnvironment() {
    using Desktop = DesktopCapabilities::Desktop;
    const QStringList names = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'));
    const auto named = [&names](const char *name) {
        return names.contains(QLatin1String(name), Qt::CaseInsensitive);
    };
    if (named("GNOME"))
        return Desktop::gnome;
    if (named("KDE"))
        return Desktop::kde;
    if (named("sway") || !qEnvironmentVariableIsEmpty("SWAYSOCK"))
        return Desktop::sway;
    if (named("Hyprland") || !qEnvironmentVariableIsEmpty("HYPRLAND_INSTANCE_SIGNATURE"))
        return Desktop::hyprland;
    return Desktop::other;
}

/// A StatusNotifierItem host: the watcher on the session bus says one registered.
bool statusNotifierHostRegistered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    // Qt asks the same when it shows the icon; a watcher that hangs costs a second once.
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

/// An XEmbed tray: a program owns the screen's _NET_SYSTEM_TRAY_Sn selection.
bool xembedTrayAvailable() {
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen);
    bool owned = false;
    if (xcb_connection_has_error(connection) == 0) {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
                connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_WINDOW_NONE;
            free(owner);
        }
        free(atom);
    }
    xcb_disconnect(connection);
    return owned;
}

/// The user's combination for `action`, as the hotkey service reads it.
KeyCombo storedCombo(const PreferencesStore &preferences, HotkeyAction action) {
    const std::optional<QByteArray> data = preferences.dataValue(comboPreferenceKey(action));
    const std::optional<KeyCombo> stored = data ? KeyCombo::fromJson(*data) : std::nullopt;
    return stored && stored->isGlobalShortcut() ? *stored : defaultCombo(action);
}

} // namespace

std::shared_ptr<ClipboardPaster> cursorPaster(std::shared_ptr<PreferencesStore> preferences,
                                              std::chrono::milliseconds permissionWait) {
    Keyboard keyboard(false, true, preferences);
    if (keyboard.portal.waitForKeystrokes)
        keyboard.portal.waitForKeystrokes(permissionWait);
    return keyboard.paster(std::move(preferences));
}

KeyboardStatus addKeyboard(AppServices &services) {
    Keyboard keyboard(true, true, services.preferences);
    KeyboardStatus &status = keyboard.status;
    std::unique_ptr<KeyGrabber> grabber;
    std::function<std::unique_ptr<ModifierKeySource>()> makeSource;
    if (keyboard.portal.grabber) {
        qCInfo(lcHotkey, "Global shortcuts and the hold key through the GlobalShortcuts portal");
        status.keys = DesktopCapabilities::KeysBackend::globalShortcutsPortal;
        grabber = std::move(keyboard.portal.grabber);
        makeSource = std::move(keyboard.portal.makeHoldKeySource);
    } else {
        if (!keyboard.x11.unavailableReason.isEmpty())
            qCWarning(lcHotkey,
                      "Keyboard services unavailable: %s (no X11 shortcuts or hold key; "
                      "orvinta-cli doctor says what works here)",
                      qUtf8Printable(keyboard.x11.unavailableReason));
        else if (status.probe.waylandSession)
            qCInfo(lcHotkey, "Global shortcuts and the hold key through XWayland: they work while "
                             "an X11 application has the focus");
        grabber = std::move(keyboard.x11.grabber);
        makeSource = std::move(keyboard.x11.makeHoldKeySource);
    }
    status.shortcuts = grabber->unavailableReason();
    status.holdKey = makeSource()->unavailableReason();
    status.remoteHoldKey = std::make_shared<RemoteHoldKey>();
    services.hotkeys = std::make_shared<HotkeyManager>(services.preferences, std::move(grabber));
    services.paster = keyboard.paster(services.preferences);
    // The back end's own key and orvinta-cli hold both hold.
    services.setUpDictation = [makeSource = std::move(makeSource), remote = status.remoteHoldKey,
                               preferences =
                                   services.preferences](DictationController &controller) {
        attachDictationKeyMonitor(controller, remote->makeSource(makeSource()), preferences);
    };
    return status;
}

KeyboardStatus keyboardStatus() {
    Keyboard keyboard(false, false, nullptr);
    KeyboardStatus &status = keyboard.status;
    if (keyboard.choice.shortcuts == KeyboardChoice::Shortcuts::portal) {
        status.keys = DesktopCapabilities::KeysBackend::globalShortcutsPortal;
    } else {
        status.shortcuts = keyboard.x11.grabber->unavailableReason();
        status.holdKey = keyboard.x11.makeHoldKeySource()->unavailableReason();
    }
    if (keyboard.choice.keystrokes == KeyboardChoice::Keystrokes::portal)
        keyboard.notePortalPaste();
    else
        keyboard.paster(nullptr);
    return status;
}

bool waylandSession() {
    return qgetenv("XDG_SESSION_TYPE") == "wayland" ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

DesktopCapabilities probe(const AppServices &services, const KeyboardStatus &keyboard) {
    DesktopCapabilities c;
    c.session = waylandSession() ? DesktopCapabilities::Session::wayland
                                 : DesktopCapabilities::Session::x11;
    c.desktop = desktopFromEnvironment();
    c.x11Unavailable = keyboard.display;
    c.keys = keyboard.keys;
    c.shortcutsUnavailable = keyboard.shortcuts;
    c.holdKeyUnavailable = keyboard.holdKey;
    c.pasteUnavailable = keyboard.paste;
    c.paste = keyboard.pasteBackend;
    c.clipboard = keyboard.clipboard;
    // The compositor and the portals as the keyboard services found them: asked once.
    c.virtualKeyboard = keyboard.probe.virtualKeyboard;
    c.dataControl = keyboard.probe.dataControl;
    c.globalShortcutsPortal = keyboard.probe.globalShortcutsPortal;
    c.remoteDesktopPortal = keyboard.probe.remoteDesktopPortal;
    c.remoteDesktopKeyboard = keyboard.probe.remoteDesktopKeyboard();
    c.portalUnavailable = keyboard.portal;
    c.appId = orvintaAppId();
    c.statusNotifierHost = statusNotifierHostRegistered();
    c.xembedTray = c.hasX11() && xembedTrayAvailable();
    c.speechModel = speechModelInstalled();
    if (services.preferences) {
        const QString holdKey =
            services.preferences->stringValue(holdKeyPreference).value_or(defaultHoldKey);
        c.holdKey = isKnownKeysym(holdKey) ? holdKey : defaultHoldKey;
    }
    for (HotkeyAction action : allHotkeyActions)
        c.shortcuts.emplace_back(action, services.hotkeys ? services.hotkeys->combo(action)
                                         : services.preferences
                                             ? storedCombo(*services.preferences, action)
                                             : defaultCombo(action));
    return c;
}

std::shared_ptr<AudioCaptureBackend> audioCapture() {
    return std::make_shared<PulseAudioCapture>();
}

std::shared_ptr<SpeechRecognizer> recognizer() {
    return std::make_shared<PocketSphinxRecognizer>();
}

std::shared_ptr<TranslationBackend> translation() {
    return std::make_shared<ApertiumTranslator>();
}

std::shared_ptr<DesktopNotifier> notifier() {
    return std::make_shared<FreedesktopNotifier>(QDBusConnection::sessionBus());
}

bool speechModelInstalled() {
    const std::filesystem::path folder = PocketSphinxRecognizer::defaultModelRoot() / "en-us";
    std::error_code error;
    return std::filesystem::is_directory(folder / "en-us", error) &&
           std::filesystem::exists(folder / "en-us.lm.bin", error) &&
           std::filesystem::exists(folder / "cmudict-en-us.dict", error);
}

} // namespace Orvinta::DesktopBackends
