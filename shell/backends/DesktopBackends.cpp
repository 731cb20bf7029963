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
#include <OrvintaInput/WaylandKeyboard.h>
#include <OrvintaInput/X11Keyboard.h>
#include <OrvintaPlatform/FreedesktopNotifier.h>
#include <OrvintaPlatform/LaunchAtLogin.h>
#include <OrvintaPlatform/SystemClipboard.h>
#include <OrvintaPlatform/ToneSoundPlayer.h>
#include <OrvintaTranslationBackends/ApertiumTranslator.h>

#include <QGuiApplication>
#include <QSystemTrayIcon>

#include <algorithm>
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
    // A portal that does not say which devices it has may still have a keyboard.
    const bool portalKeyboard =
        probe.remoteDesktopPortal > 0 &&
        (probe.remoteDesktopDevices == 0 || (probe.remoteDesktopDevices & 1) != 0);
    if (probe.virtualKeyboard && probe.dataControl) {
        choice.keystrokes = KeyboardChoice::Keystrokes::compositor;
        choice.clipboard = KeyboardChoice::Clipboard::compositor;
    } else if (probe.waylandSession && portalKeyboard && (probe.dataControl || probe.x11)) {
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

KeyboardProbe &lastProbe() {
    static KeyboardProbe probe;
    return probe;
}

/// The desktop's keyboard back ends, each opened once and handed to the
/// services that chooseKeyboard names.
struct Keyboard {
    X11Keyboard x11 = openX11Keyboard();
    WaylandKeyboard wayland = openWaylandKeyboard();
    PortalProbe portals;
    KeyboardProbe probe;
    KeyboardChoice choice;
    PortalKeyboard portal;

    explicit Keyboard(bool shortcuts, const std::shared_ptr<PreferencesStore> &preferences) {
        probe.waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        probe.x11 = x11.unavailableReason.isEmpty();
        probe.virtualKeyboard = wayland.keystrokes->unavailableReason().isEmpty();
        probe.dataControl = wayland.clipboard->unavailableReason().isEmpty();
        if (probe.waylandSession) {
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
        lastProbe() = probe;
        choice = chooseKeyboard(probe);
        const bool portalShortcuts =
            shortcuts && choice.shortcuts == KeyboardChoice::Shortcuts::portal;
        const bool portalPaste = choice.keystrokes == KeyboardChoice::Keystrokes::portal;
        if (portalShortcuts || portalPaste) {
            portal = openPortalKeyboard(portals, portalShortcuts, portalPaste, preferences);
            if (!portal.unavailableReason.isEmpty())
                qCWarning(lcHotkey, "Desktop portal unavailable: %s",
                          qUtf8Printable(portal.unavailableReason));
        }
    }

    std::shared_ptr<ClipboardPaster> paster(std::shared_ptr<PreferencesStore> preferences) {
        switch (choice.keystrokes) {
        case KeyboardChoice::Keystrokes::compositor:
            qCInfo(lcPaste, "Paste at the cursor through the Wayland compositor");
            return std::make_shared<ClipboardPaster>(std::move(wayland.keystrokes),
                                                     std::move(wayland.clipboard),
                                                     std::move(preferences));
        case KeyboardChoice::Keystrokes::portal:
            if (portal.keystrokes)
                return portalPaster(std::move(preferences));
            break;
        case KeyboardChoice::Keystrokes::x11:
            break;
        }
        if (probe.waylandSession && probe.x11)
            qCInfo(lcPaste,
                   "Paste at the cursor through XWayland: it reaches X11 applications only");
        return std::make_shared<ClipboardPaster>(std::move(x11.keystrokes), std::move(preferences));
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
        return std::make_shared<ClipboardPaster>(std::move(portal.keystrokes), std::move(clipboard),
                                                 std::move(preferences));
    }
};

} // namespace

KeyboardProbe keyboardProbe() {
    return lastProbe();
}

std::shared_ptr<ClipboardPaster> cursorPaster(std::shared_ptr<PreferencesStore> preferences,
                                              std::chrono::milliseconds permissionWait) {
    Keyboard keyboard(false, preferences);
    if (keyboard.portal.waitForKeystrokes)
        keyboard.portal.waitForKeystrokes(permissionWait);
    return keyboard.paster(std::move(preferences));
}

KeyboardStatus addKeyboard(AppServices &services) {
    Keyboard keyboard(true, services.preferences);
    std::unique_ptr<KeyGrabber> grabber;
    std::function<std::unique_ptr<ModifierKeySource>()> makeSource;
    const bool throughPortal = keyboard.portal.grabber != nullptr;
    if (throughPortal) {
        qCInfo(lcHotkey, "Global shortcuts and the hold key through the GlobalShortcuts portal");
        grabber = std::move(keyboard.portal.grabber);
        makeSource = std::move(keyboard.portal.makeHoldKeySource);
    } else {
        if (!keyboard.x11.unavailableReason.isEmpty())
            qCWarning(lcHotkey,
                      "Keyboard services unavailable: %s (shortcuts, the hold key and "
                      "paste at the cursor work for X11 applications only)",
                      qUtf8Printable(keyboard.x11.unavailableReason));
        else if (keyboard.probe.waylandSession)
            qCInfo(lcHotkey, "Global shortcuts and the hold key through XWayland: they work while "
                             "an X11 application has the focus");
        grabber = std::move(keyboard.x11.grabber);
        makeSource = std::move(keyboard.x11.makeHoldKeySource);
    }
    KeyboardStatus status{throughPortal ? QString() : keyboard.x11.unavailableReason,
                          grabber->unavailableReason(),
                          makeSource()->unavailableReason(),
                          {}};
    services.hotkeys = std::make_shared<HotkeyManager>(services.preferences, std::move(grabber));
    auto paster = keyboard.paster(services.preferences);
    status.paste = paster->unavailableReason();
    services.paster = std::move(paster);
    services.setUpDictation = [makeSource = std::move(makeSource),
                               preferences =
                                   services.preferences](DictationController &controller) {
        attachDictationKeyMonitor(controller, makeSource(), preferences);
    };
    return status;
}

bool waylandSession() {
    return qgetenv("XDG_SESSION_TYPE") == "wayland" ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

DesktopCapabilities capabilities(const AppServices &services, const KeyboardStatus &keyboard) {
    DesktopCapabilities c;
    const bool wayland = waylandSession();
    const QString platform = QGuiApplication::platformName();
    c.session = wayland ? DesktopCapabilities::Session::wayland : DesktopCapabilities::Session::x11;

    // On Wayland, grabs, raw key events and XTest reach X11 applications only.
    const QString x11Session = QStringLiteral(
        "log in to an X11 session (\"on Xorg\" on the login screen) to reach every app");
    const auto keyboardReason = [&](const QString &reason, const QString &underWayland) {
        return !keyboard.display.isEmpty() ? keyboard.display
               : !reason.isEmpty()         ? reason
               : wayland                   ? underWayland
                                           : QString();
    };
    const auto keyboardFix = [&](const QString &reason, const QString &fix) {
        return !keyboard.display.isEmpty()
                   ? QStringLiteral("start Orvinta from your desktop session, where DISPLAY "
                                    "names its X server")
               : !reason.isEmpty() ? fix
                                   : x11Session;
    };

    const std::optional<std::vector<InputDeviceRecord>> devices =
        services.audio ? services.audio->inputDevices() : std::nullopt;
    const auto hasInput = [&devices](bool monitor) {
        return devices && std::any_of(devices->begin(), devices->end(),
                                      [monitor](const InputDeviceRecord &device) {
                                          return device.isMonitor == monitor;
                                      });
    };
    const QString noServer = QStringLiteral("the sound server does not answer");
    const QString startServer =
        QStringLiteral("start PulseAudio, or PipeWire with pipewire-pulse (systemctl --user start "
                       "pipewire-pulse), then Orvinta again");

    c.add(QStringLiteral("Session"),
          !wayland                           ? QStringLiteral("X11")
          : platform == QLatin1String("xcb") ? QStringLiteral("Wayland, Orvinta through XWayland")
                                             : QStringLiteral("Wayland"),
          {}, {});
    c.add(QStringLiteral("Global shortcuts"), QStringLiteral("X11 key grabs"),
          keyboardReason(keyboard.shortcuts,
                         QStringLiteral("in this Wayland session they work only while an X11 "
                                        "app has the focus")),
          keyboardFix(keyboard.shortcuts, QStringLiteral("choose other combinations under "
                                                         "General > Keyboard Shortcuts")));
    c.add(QStringLiteral("Hold-to-dictate"), QStringLiteral("XInput 2 key events"),
          keyboardReason(keyboard.holdKey,
                         QStringLiteral("in this Wayland session the hold key is seen only while "
                                        "an X11 app has the focus")),
          keyboardFix(keyboard.holdKey,
                      QStringLiteral("use an X server with XInput 2 (Xorg or XWayland)")));
    c.add(QStringLiteral("Paste at the cursor"), QStringLiteral("XTest Ctrl+V"),
          keyboardReason(keyboard.paste,
                         QStringLiteral("in this Wayland session only X11 apps receive it")),
          keyboardFix(keyboard.paste,
                      QStringLiteral("turn on the X server's XTEST extension, or paste yourself "
                                     "with Ctrl+V after Auto Copy")));
    const bool desktopClipboard =
        platform == QLatin1String("xcb") || platform == QLatin1String("wayland");
    c.add(QStringLiteral("Clipboard"), QStringLiteral("the desktop's clipboard"),
          desktopClipboard
              ? QString()
              : QStringLiteral("Orvinta runs without a desktop (Qt platform %1)").arg(platform),
          QStringLiteral("start Orvinta in your desktop session"));
    c.add(QStringLiteral("Tray"), QStringLiteral("system tray icon"),
          QSystemTrayIcon::isSystemTrayAvailable()
              ? QString()
              : QStringLiteral("this desktop shows no system tray, so the panel opens as a window"),
          QStringLiteral("on GNOME, install and turn on the AppIndicator extension "
                         "(gnome-shell-extension-appindicator); the icon appears once a tray "
                         "does"));
    c.add(QStringLiteral("System audio"), QStringLiteral("monitor of the sound output"),
          !devices          ? noServer
          : !hasInput(true) ? QStringLiteral("the sound server has no output to record")
                            : QString(),
          devices ? QStringLiteral("connect or turn on a sound output in your sound settings")
                  : startServer);
    c.add(QStringLiteral("Microphone"), QStringLiteral("sound server input"),
          !devices           ? noServer
          : !hasInput(false) ? QStringLiteral("no microphone is connected")
                             : QString(),
          devices ? QStringLiteral("connect a microphone, or turn one on in your sound settings")
                  : startServer);
    c.add(QStringLiteral("Speech model"), QStringLiteral("PocketSphinx, US English"),
          speechModelInstalled() ? QString() : QStringLiteral("the speech model is not installed"),
          QStringLiteral("install the package pocketsphinx-en-us (sudo apt install "
                         "pocketsphinx-en-us), then start Orvinta again"));
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
