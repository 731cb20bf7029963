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
                                            std::shared_ptr<PreferencesStore> preferences) {
    WaylandKeyboard wayland = openWaylandKeyboard();
    if (!pasteThroughWayland(wayland, x11))
        return std::make_shared<ClipboardPaster>(std::move(x11.keystrokes), std::move(preferences));
    qCInfo(lcPaste, "Paste at the cursor through the Wayland compositor");
    return std::make_shared<ClipboardPaster>(std::move(wayland.keystrokes),
                                             std::move(wayland.clipboard), std::move(preferences));
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
                  "Keyboard services unavailable: %s (shortcuts, the hold key and "
                  "paste at the cursor work for X11 applications only)",
                  qUtf8Printable(keyboard.unavailableReason));
    KeyboardStatus status{keyboard.unavailableReason,
                          keyboard.grabber->unavailableReason(),
                          keyboard.makeHoldKeySource()->unavailableReason(),
                          {}};
    services.hotkeys =
        std::make_shared<HotkeyManager>(services.preferences, std::move(keyboard.grabber));
    auto paster = makePaster(keyboard, services.preferences);
    status.paste = paster->unavailableReason();
    services.paster = std::move(paster);
    services.setUpDictation = [makeSource = std::move(keyboard.makeHoldKeySource),
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
