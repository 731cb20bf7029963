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
#include <OrvintaInput/RemoteHoldKey.h>
#include <OrvintaInput/WaylandKeyboard.h>
#include <OrvintaInput/X11Keyboard.h>
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

namespace {

/// Where paste at the cursor and the clipboard go, from what was probed: the
/// compositor where it offers both the virtual keyboard and data control;
/// else X11 (XWayland included) where a display opened; else the compositor
/// the session names, which keeps the text on the clipboard where it can and
/// says what it lacks.
bool pasteThroughWayland(const WaylandKeyboard &wayland, const X11Keyboard &x11) {
    if (wayland.unavailableReason.isEmpty())
        return true;
    return !x11.unavailableReason.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

std::shared_ptr<ClipboardPaster> makePaster(X11Keyboard &x11,
                                            std::shared_ptr<PreferencesStore> preferences,
                                            KeyboardStatus *status = nullptr) {
    WaylandKeyboard wayland = openWaylandKeyboard();
    KeyboardStatus ignored;
    KeyboardStatus &found = status ? *status : ignored;
    found.waylandConnected = wayland.connected;
    found.virtualKeyboard = wayland.virtualKeyboard;
    found.dataControl = wayland.dataControl;
    std::shared_ptr<ClipboardPaster> paster;
    if (!pasteThroughWayland(wayland, x11)) {
        paster =
            std::make_shared<ClipboardPaster>(std::move(x11.keystrokes), std::move(preferences));
        const bool x11Works = x11.unavailableReason.isEmpty();
        found.pasteBackend = x11Works && paster->unavailableReason().isEmpty()
                                 ? DesktopCapabilities::PasteBackend::xtest
                                 : DesktopCapabilities::PasteBackend::none;
        found.clipboard = x11Works ? DesktopCapabilities::ClipboardBackend::x11
                                   : DesktopCapabilities::ClipboardBackend::none;
        return paster;
    }
    qCInfo(lcPaste, "Paste at the cursor through the Wayland compositor");
    const bool keystrokes = wayland.keystrokes->unavailableReason().isEmpty();
    const bool clipboard = wayland.clipboard->unavailableReason().isEmpty();
    found.pasteBackend = keystrokes && clipboard
                             ? DesktopCapabilities::PasteBackend::waylandVirtualKeyboard
                             : DesktopCapabilities::PasteBackend::none;
    found.clipboard = clipboard ? DesktopCapabilities::ClipboardBackend::dataControl
                                : DesktopCapabilities::ClipboardBackend::none;
    return std::make_shared<ClipboardPaster>(std::move(wayland.keystrokes),
                                             std::move(wayland.clipboard), std::move(preferences));
}

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

} // namespace

std::shared_ptr<ClipboardPaster> cursorPaster(std::shared_ptr<PreferencesStore> preferences) {
    X11Keyboard keyboard = openX11Keyboard();
    return makePaster(keyboard, std::move(preferences));
}

KeyboardStatus addKeyboard(AppServices &services) {
    X11Keyboard keyboard = openX11Keyboard();
    if (!keyboard.unavailableReason.isEmpty())
        qCWarning(lcHotkey,
                  "Keyboard services unavailable: %s (no X11 shortcuts or hold key; "
                  "orvinta-cli doctor says what works here)",
                  qUtf8Printable(keyboard.unavailableReason));
    KeyboardStatus status;
    status.display = keyboard.unavailableReason;
    status.shortcuts = keyboard.grabber->unavailableReason();
    status.holdKey = keyboard.makeHoldKeySource()->unavailableReason();
    status.remoteHoldKey = std::make_shared<RemoteHoldKey>();
    services.hotkeys =
        std::make_shared<HotkeyManager>(services.preferences, std::move(keyboard.grabber));
    auto paster = makePaster(keyboard, services.preferences, &status);
    status.paste = paster->unavailableReason();
    services.paster = std::move(paster);
    services.setUpDictation =
        [makeSource = std::move(keyboard.makeHoldKeySource), remote = status.remoteHoldKey,
         preferences = services.preferences](DictationController &controller) {
            attachDictationKeyMonitor(controller, remote->makeSource(makeSource()), preferences);
        };
    return status;
}

bool waylandSession() {
    return qgetenv("XDG_SESSION_TYPE") == "wayland" ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void probePortals(DesktopCapabilities &) {}

DesktopCapabilities probe(const AppServices &services, const KeyboardStatus &keyboard) {
    DesktopCapabilities c;
    c.session = waylandSession() ? DesktopCapabilities::Session::wayland
                                 : DesktopCapabilities::Session::x11;
    c.desktop = desktopFromEnvironment();
    c.x11Unavailable = keyboard.display;
    c.x11Shortcuts = keyboard.shortcuts;
    c.x11HoldKey = keyboard.holdKey;
    c.pasteUnavailable = keyboard.paste;
    c.waylandConnected = keyboard.waylandConnected;
    c.virtualKeyboard = keyboard.virtualKeyboard;
    c.dataControl = keyboard.dataControl;
    c.paste = keyboard.pasteBackend;
    c.clipboard = keyboard.clipboard;
    if (c.isWayland())
        probePortals(c);
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

bool speechModelInstalled() {
    const std::filesystem::path folder = PocketSphinxRecognizer::defaultModelRoot() / "en-us";
    std::error_code error;
    return std::filesystem::is_directory(folder / "en-us", error) &&
           std::filesystem::exists(folder / "en-us.lm.bin", error) &&
           std::filesystem::exists(folder / "cmudict-en-us.dict", error);
}

} // namespace Orvinta::DesktopBackends
