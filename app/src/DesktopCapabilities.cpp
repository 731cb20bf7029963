#include <OrvintaApp/DesktopCapabilities.h>

#include <OrvintaApp/AudioDeviceList.h>
#include <OrvintaApp/KeyTable.h>

#include <QRegularExpression>

namespace Orvinta {

namespace {

using Desktop = DesktopCapabilities::Desktop;

/// The keysym of a shortcut's key ("s", "space"); its name where it has no row.
QString keysymOf(const KeyCombo &combo) {
    const KeyRow *row = keyRowForCode(combo.keyCode);
    return row ? QString::fromLatin1(row->keysym) : keyName(combo.keyCode);
}

/// The combination in sway's words: Mod4+Ctrl+Alt+Shift+s (sway 1.7 knows no "Super").
QString swayCombo(const KeyCombo &combo) {
    QStringList parts;
    if (combo.modifiers & KeyCombo::command)
        parts << QStringLiteral("Mod4");
    if (combo.modifiers & KeyCombo::control)
        parts << QStringLiteral("Ctrl");
    if (combo.modifiers & KeyCombo::option)
        parts << QStringLiteral("Alt");
    if (combo.modifiers & KeyCombo::shift)
        parts << QStringLiteral("Shift");
    parts << keysymOf(combo);
    return parts.join(QLatin1Char('+'));
}

/// The modifiers in Hyprland's words: "SUPER CTRL ALT SHIFT".
QString hyprlandModifiers(const KeyCombo &combo) {
    QStringList parts;
    if (combo.modifiers & KeyCombo::command)
        parts << QStringLiteral("SUPER");
    if (combo.modifiers & KeyCombo::control)
        parts << QStringLiteral("CTRL");
    if (combo.modifiers & KeyCombo::option)
        parts << QStringLiteral("ALT");
    if (combo.modifiers & KeyCombo::shift)
        parts << QStringLiteral("SHIFT");
    return parts.join(QLatin1Char(' '));
}

/// The modifier a hold key sets while down, in Hyprland's words; empty for
/// a key that sets none. Hyprland matches a release with the modifiers
/// still down, the key's own among them.
QString hyprlandOwnModifier(const QString &holdKey) {
    static const std::pair<const char *, const char *> prefixes[] = {{"Control_", "CTRL"},
                                                                     {"Shift_", "SHIFT"},
                                                                     {"Alt_", "ALT"},
                                                                     {"Meta_", "ALT"},
                                                                     {"Super_", "SUPER"},
                                                                     {"Hyper_", "SUPER"},
                                                                     {"ISO_Level3_Shift", "MOD5"}};
    for (const auto &[prefix, modifier] : prefixes)
        if (holdKey.startsWith(QLatin1String(prefix)))
            return QString::fromLatin1(modifier);
    return {};
}

/// A toggle of orvinta-cli and the key that runs it: a combination, or a
/// key alone by its keysym name.
struct Toggle {
    QString name;
    KeyCombo combo;
    QString aloneKey;

    QString shownKey() const {
        return aloneKey.isEmpty() ? combo.displayString() : holdKeyDisplayName(aloneKey);
    }
};

/// Every toggle with its key, dictation's first: where bindings act on press
/// only, the hold key toggles it where a binding takes that key alone (it
/// types nothing and is no modifier), else Ctrl+Alt+D.
std::vector<Toggle> toggles(const QString &holdKey,
                            const std::vector<std::pair<HotkeyAction, KeyCombo>> &shortcuts) {
    static const QStringList alone{QStringLiteral("Menu"), QStringLiteral("Pause"),
                                   QStringLiteral("Scroll_Lock")};
    static const QRegularExpression functionKey(QStringLiteral("^F(1[3-9]|2[0-4])$"));
    std::vector<Toggle> all;
    if (alone.contains(holdKey) || functionKey.match(holdKey).hasMatch())
        all.push_back({QStringLiteral("dictation"), {}, holdKey});
    else
        all.push_back({QStringLiteral("dictation"), {2, KeyCombo::control | KeyCombo::option}, {}});
    for (const auto &[action, combo] : shortcuts)
        all.push_back({toggleName(action), combo, {}});
    return all;
}

QString command(const QString &what) {
    return QStringLiteral("orvinta-cli ") + what;
}

/// Hyprland's portal hands a program's shortcuts to its configuration, which
/// binds them with the global dispatcher ("APPID:ID"); that dispatcher runs
/// on press and release. As for bindr, a release matches only with the hold
/// key's own modifier still down.
SetupLines hyprlandPortalLines(const QString &appId, const QString &holdKey,
                               const std::vector<std::pair<HotkeyAction, KeyCombo>> &shortcuts) {
    SetupLines setup;
    setup.instructions = QStringLiteral(
        "Hyprland binds the keys of Orvinta's portal shortcuts only in its configuration. Add "
        "to ~/.config/hypr/hyprland.conf (hyprctl globalshortcuts lists the names; use its "
        "names where they differ):");
    const QString hold = appId + QStringLiteral(":hold-key");
    setup.lines << QStringLiteral("bind = , %1, global, %2").arg(holdKey, hold);
    if (const QString own = hyprlandOwnModifier(holdKey); !own.isEmpty())
        setup.lines << QStringLiteral("bindr = %1, %2, global, %3").arg(own, holdKey, hold);
    for (const auto &[action, combo] : shortcuts)
        setup.lines << QStringLiteral("bind = %1, %2, global, %3:toggle-%4")
                           .arg(hyprlandModifiers(combo), keysymOf(combo), appId,
                                toggleName(action));
    return setup;
}

} // namespace

QString Capability::status() const {
    if (checking)
        return QStringLiteral("checking…");
    if (available)
        return QStringLiteral("works");
    QString text = QStringLiteral("unavailable: ") + reason;
    if (!fix.isEmpty())
        text += QStringLiteral(" — ") + fix;
    return text;
}

QString toggleName(HotkeyAction action) {
    switch (action) {
    case HotkeyAction::toggleListening:
        return QStringLiteral("recording");
    case HotkeyAction::toggleAutoCopy:
        return QStringLiteral("auto-copy");
    case HotkeyAction::toggleAutoPaste:
        return QStringLiteral("auto-paste");
    case HotkeyAction::toggleOverlay:
        return QStringLiteral("overlay");
    case HotkeyAction::focusCaptions:
        return QStringLiteral("focus-captions");
    }
    return {};
}

SetupLines keyBindingLines(Desktop desktop, const QString &holdKey,
                           const std::vector<std::pair<HotkeyAction, KeyCombo>> &shortcuts) {
    SetupLines setup;
    const QString press = command(QStringLiteral("hold press"));
    const QString release = command(QStringLiteral("hold release"));
    switch (desktop) {
    case Desktop::sway:
        setup.instructions =
            QStringLiteral("Add to ~/.config/sway/config, then reload sway (swaymsg reload):");
        setup.lines << QStringLiteral("bindsym --no-repeat %1 exec %2").arg(holdKey, press)
                    << QStringLiteral("bindsym --release %1 exec %2").arg(holdKey, release);
        for (const auto &[action, combo] : shortcuts)
            setup.lines << QStringLiteral("bindsym %1 exec %2")
                               .arg(swayCombo(combo), command("toggle " + toggleName(action)));
        break;
    case Desktop::hyprland:
        setup.instructions = QStringLiteral(
            "Add to ~/.config/hypr/hyprland.conf (Hyprland reads it again when saved):");
        setup.lines << QStringLiteral("bind = , %1, exec, %2").arg(holdKey, press)
                    << QStringLiteral("bindr = %1, %2, exec, %3")
                           .arg(hyprlandOwnModifier(holdKey), holdKey, release);
        for (const auto &[action, combo] : shortcuts)
            setup.lines << QStringLiteral("bind = %1, %2, exec, %3")
                               .arg(hyprlandModifiers(combo), keysymOf(combo),
                                    command("toggle " + toggleName(action)));
        break;
    case Desktop::gnome:
    case Desktop::kde:
        setup.instructions =
            desktop == Desktop::gnome
                ? QStringLiteral("GNOME's shortcuts act on press only, so a key starts and ends "
                                 "dictation. In Settings > Keyboard > View and Customize "
                                 "Shortcuts > Custom Shortcuts, add each command with its "
                                 "shortcut:")
                : QStringLiteral("KDE's command shortcuts act on press only, so a key starts and "
                                 "ends dictation. In Plasma's settings, under Shortcuts, add each "
                                 "command with its shortcut (Plasma 5: Custom Shortcuts > Edit > "
                                 "New > Global Shortcut > Command/URL):");
        for (const Toggle &toggle : toggles(holdKey, shortcuts))
            setup.lines << QStringLiteral("%1: %2").arg(toggle.shownKey(),
                                                        command("toggle " + toggle.name));
        break;
    case Desktop::other:
        setup.instructions = QStringLiteral(
            "Bind keys in your compositor's settings to these commands (the hold key's press "
            "and release to hold press and hold release):");
        setup.lines << QStringLiteral("%1 press: %2").arg(holdKey, press)
                    << QStringLiteral("%1 release: %2").arg(holdKey, release);
        for (const auto &[action, combo] : shortcuts)
            setup.lines << QStringLiteral("%1: %2").arg(combo.displayString(),
                                                        command("toggle " + toggleName(action)));
        break;
    }
    return setup;
}

void DesktopCapabilities::readSoundServer(const AudioDeviceList &devices) {
    if (devices.serverStatus() == AudioDeviceList::ServerStatus::unknown)
        return;
    soundServer = devices.serverStatus() == AudioDeviceList::ServerStatus::answered
                      ? SoundServer::answered
                      : SoundServer::unreachable;
    systemAudioOutput = devices.hasSystemAudio();
    microphone = !devices.availableDevices().empty();
}

SetupLines DesktopCapabilities::setupLines() const {
    if (!isWayland())
        return {};
    // The portal's desktops bind its shortcuts in their own dialog, except Hyprland.
    if (keys == KeysBackend::globalShortcutsPortal)
        return desktop == Desktop::hyprland ? hyprlandPortalLines(appId, holdKey, shortcuts)
                                            : SetupLines{};
    return keyBindingLines(desktop, holdKey, shortcuts);
}

QList<Capability> DesktopCapabilities::features() const {
    QList<Capability> lines;
    const auto add = [&lines](const QString &feature, const QString &backend, const QString &reason,
                              const QString &fix) {
        lines.append({feature, reason.isEmpty(), backend, reason, fix});
    };
    const bool wayland = isWayland();
    const QString x11Display =
        QStringLiteral("start Orvinta from your desktop session, where DISPLAY names its X server");
    const QString where = desktop == Desktop::sway       ? QStringLiteral("sway")
                          : desktop == Desktop::hyprland ? QStringLiteral("Hyprland")
                          : desktop == Desktop::gnome    ? QStringLiteral("GNOME")
                          : desktop == Desktop::kde      ? QStringLiteral("KDE Plasma")
                                                         : QStringLiteral("your compositor");
    const bool pressOnly = desktop == Desktop::gnome || desktop == Desktop::kde;
    const QString bindings =
        desktop == Desktop::sway || desktop == Desktop::hyprland
            ? QStringLiteral("bind them in your %1 configuration: the lines below").arg(where)
            : QStringLiteral("bind keys to orvinta-cli toggle in %1's shortcut settings: the "
                             "lines below")
                  .arg(where);
    const QString xwaylandOnly = hasX11() ? QStringLiteral("; through XWayland they reach only "
                                                           "while an X11 app has the focus")
                                          : QString();

    QString sessionLine = QStringLiteral("X11");
    if (wayland)
        sessionLine =
            (where == QLatin1String("your compositor")
                 ? QStringLiteral("Wayland")
                 : QStringLiteral("Wayland (%1)").arg(where)) +
            (hasX11() ? QStringLiteral(", Orvinta's windows through XWayland") : QString());
    add(QStringLiteral("Session"), sessionLine, {}, {});

    if (statusNotifierHost)
        add(QStringLiteral("Tray"), QStringLiteral("StatusNotifierItem (the desktop's tray host)"),
            {}, {});
    else if (xembedTray)
        add(QStringLiteral("Tray"), QStringLiteral("XEmbed system tray"), {}, {});
    else
        add(QStringLiteral("Tray"), {},
            QStringLiteral("this desktop shows no system tray, so the panel opens as a window"),
            desktop == Desktop::gnome
                ? QStringLiteral("install and turn on the AppIndicator extension "
                                 "(gnome-shell-extension-appindicator); the icon appears once a "
                                 "tray does")
            : desktop == Desktop::sway
                ? QStringLiteral("show a bar with a tray (swaybar shows one by default); the icon "
                                 "appears once a tray does")
                : QStringLiteral("add a system tray to your panel; on GNOME, the AppIndicator "
                                 "extension (gnome-shell-extension-appindicator); the icon appears "
                                 "once a tray does"));

    // A portal that was found but did not open: its own reason, not the desktop's lack.
    const auto portalFailed = [this](unsigned version, const char *interface) {
        return version > 0 && !portalUnavailable.isEmpty()
                   ? QStringLiteral("the %1 portal did not open (%2)")
                         .arg(QLatin1String(interface), portalUnavailable)
                   : QString();
    };

    if (keys == KeysBackend::globalShortcutsPortal) {
        const QString hyprland =
            desktop == Desktop::hyprland
                ? QStringLiteral("; Hyprland binds their keys: the lines below")
                : QString();
        add(QStringLiteral("Global shortcuts"),
            QStringLiteral("GlobalShortcuts portal (xdg-desktop-portal)") + hyprland,
            shortcutsUnavailable, {});
        add(QStringLiteral("Hold-to-dictate"),
            QStringLiteral("GlobalShortcuts portal, press and release") + hyprland,
            holdKeyUnavailable, {});
    } else if (!wayland) {
        add(QStringLiteral("Global shortcuts"), QStringLiteral("X11 key grabs"),
            hasX11() ? shortcutsUnavailable : x11Unavailable,
            hasX11() ? QStringLiteral("choose other combinations under General > Keyboard "
                                      "Shortcuts")
                     : x11Display);
        add(QStringLiteral("Hold-to-dictate"), QStringLiteral("XInput 2 key events"),
            hasX11() ? holdKeyUnavailable : x11Unavailable,
            hasX11() ? QStringLiteral("use an X server with XInput 2 (Xorg or XWayland)")
                     : x11Display);
    } else {
        // No GlobalShortcuts portal: only the desktop's own bindings see the keys.
        const QString failed = portalFailed(globalShortcutsPortal, "GlobalShortcuts");
        add(QStringLiteral("Global shortcuts"), {},
            (failed.isEmpty() ? QStringLiteral("%1 gives programs no global shortcuts").arg(where)
                              : failed) +
                xwaylandOnly,
            bindings);
        add(QStringLiteral("Hold-to-dictate"), {},
            (failed.isEmpty()
                 ? QStringLiteral("%1 gives programs no key presses and releases").arg(where)
                 : failed) +
                xwaylandOnly,
            pressOnly ? QStringLiteral("%1's shortcuts act on press only: bind a key to "
                                       "orvinta-cli toggle dictation (the lines below)")
                            .arg(where)
            : desktop == Desktop::other
                ? QStringLiteral("bind the key's press to orvinta-cli hold press and its release "
                                 "to orvinta-cli hold release in your compositor")
                : QStringLiteral("bind the key's press and release to orvinta-cli hold: the "
                                 "lines below"));
    }

    const QString ownCtrlV =
        QStringLiteral("dictated text then stays on the clipboard: press Ctrl+V yourself");
    const QString noVirtualKeyboard = QStringLiteral("%1 offers no virtual keyboard").arg(where);
    const QString remoteFailed = portalFailed(remoteDesktopPortal, "RemoteDesktop");
    switch (paste) {
    case PasteBackend::waylandVirtualKeyboard:
        add(QStringLiteral("Paste at the cursor"),
            QStringLiteral("Wayland virtual keyboard (zwp_virtual_keyboard_v1)"), {}, {});
        break;
    case PasteBackend::remoteDesktopPortal:
        // Its reasons (the desktop's dialog, a refusal) say what to do.
        add(QStringLiteral("Paste at the cursor"),
            QStringLiteral("RemoteDesktop portal keysyms (the desktop asks once to allow them)"),
            pasteUnavailable, ownCtrlV);
        break;
    case PasteBackend::xtest:
        add(QStringLiteral("Paste at the cursor"), QStringLiteral("XTest Ctrl+V"),
            wayland ? QStringLiteral("%1, and XTest's Ctrl+V reaches X11 apps only")
                          .arg(remoteFailed.isEmpty() ? noVirtualKeyboard : remoteFailed)
                    : QString(),
            QStringLiteral("in other apps %1").arg(ownCtrlV));
        break;
    case PasteBackend::none:
        add(QStringLiteral("Paste at the cursor"), {},
            !pasteUnavailable.isEmpty() ? pasteUnavailable
            : wayland                   ? noVirtualKeyboard
                                        : x11Unavailable,
            clipboard != ClipboardBackend::none ? ownCtrlV
            : wayland ? QStringLiteral("use a compositor with a virtual keyboard (sway, Hyprland)")
                      : x11Display);
        break;
    }

    switch (clipboard) {
    case ClipboardBackend::dataControl:
        add(QStringLiteral("Clipboard"),
            QStringLiteral("Wayland data control (zwlr_data_control_manager_v1)"), {}, {});
        break;
    case ClipboardBackend::x11:
        add(QStringLiteral("Clipboard"),
            wayland ? QStringLiteral("X11 clipboard through XWayland")
                    : QStringLiteral("the desktop's clipboard"),
            {}, {});
        break;
    case ClipboardBackend::none:
        add(QStringLiteral("Clipboard"), {},
            wayland ? QStringLiteral("%1 offers programs without the focus no clipboard access, "
                                     "and there is no XWayland")
                          .arg(where)
                    : x11Unavailable,
            wayland ? QStringLiteral("turn on XWayland, or use a compositor with data control (KDE "
                                     "Plasma, sway, Hyprland)")
                    : x11Display);
        break;
    }

    add(QStringLiteral("Overlay on top"),
        wayland ? QStringLiteral("X11 window hints through XWayland")
                : QStringLiteral("X11 window hints"),
        hasX11()  ? QString()
        : wayland ? QStringLiteral("Wayland windows cannot keep themselves above others, and "
                                   "there is no XWayland")
                  : x11Unavailable,
        !wayland ? x11Display
        : desktop == Desktop::sway
            ? QStringLiteral("remove \"xwayland disable\" from your sway configuration and "
                             "install xwayland")
            : QStringLiteral("install xwayland (sudo apt install xwayland) and turn it on in your "
                             "compositor"));

    const QString noServer = QStringLiteral("the sound server does not answer");
    const QString startServer =
        QStringLiteral("start PulseAudio, or PipeWire with pipewire-pulse (systemctl --user start "
                       "pipewire-pulse), then Orvinta again");
    const bool answered = soundServer == SoundServer::answered;
    add(QStringLiteral("System audio"), QStringLiteral("monitor of the sound output"),
        !answered            ? noServer
        : !systemAudioOutput ? QStringLiteral("the sound server has no output to record")
                             : QString(),
        answered ? QStringLiteral("connect or turn on a sound output in your sound settings")
                 : startServer);
    add(QStringLiteral("Microphone"), QStringLiteral("sound server input"),
        !answered     ? noServer
        : !microphone ? QStringLiteral("no microphone is connected")
                      : QString(),
        answered ? QStringLiteral("connect a microphone, or turn one on in your sound settings")
                 : startServer);
    if (soundServer == SoundServer::checking)
        for (qsizetype i = lines.size() - 2; i < lines.size(); ++i)
            lines[i] = {lines[i].feature, false, lines[i].backend, {}, {}, true};

    add(QStringLiteral("Speech model"), QStringLiteral("PocketSphinx, US English"),
        speechModel ? QString() : QStringLiteral("the speech model is not installed"),
        QStringLiteral("install the package pocketsphinx-en-us (sudo apt install "
                       "pocketsphinx-en-us), then start Orvinta again"));
    return lines;
}

QString DesktopCapabilities::sessionNote() const {
    if (!isWayland())
        return {};
    QStringList missing;
    for (const Capability &line : features())
        if (!line.available && (line.feature == QLatin1String("Global shortcuts") ||
                                line.feature == QLatin1String("Hold-to-dictate") ||
                                line.feature == QLatin1String("Paste at the cursor")))
            missing << line.feature.toLower();
    if (missing.isEmpty())
        return {};
    const bool several = missing.size() > 1;
    QString list = missing.takeLast();
    if (several)
        list = missing.join(QStringLiteral(", ")) + QStringLiteral(" and ") + list;
    list[0] = list[0].toUpper();
    return QStringLiteral("%1 %2 a step in this Wayland session")
        .arg(list, several ? QStringLiteral("need") : QStringLiteral("needs"));
}

} // namespace Orvinta
