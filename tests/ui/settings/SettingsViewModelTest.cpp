// The settings window's rules without pixels: what shows when, the value
// labels, the hold-key field and what ends a recording.

#include "SettingsTestSupport.h"

#include <OrvintaApp/Preferences.h>
#include <OrvintaUi/SettingsViewModel.h>
#include <OrvintaUi/UiTheme.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

namespace {

/// The view model's services over an AppFixture.
struct Settings : AppFixture {
    SettingsServices services(QList<ShortcutRecorderModel *> recorders = {}) {
        return {preferences, [this] { return trusted; }, recorders, {}, [](const QUrl &) {}, {},
                &theme};
    }
    bool trusted = true;
    UiTheme theme{nullptr};
};

} // namespace

TEST(SettingsRules, pasteSourceAndTrustWarningsFollowTheSwitches) {
    Settings f;
    f.trusted = false;
    SettingsViewModel vm(*f.state, nullptr, nullptr, f.services());
    Preferences &prefs = *f.state->preferences();

    // Auto-paste turned on shows the source picker and the warning: SettingsWindow.
    prefs.setAutoPasteAtCursor(true);
    EXPECT_EQ(vm.pasteSourceCaption(),
              "Pastes the original transcription at the cursor immediately.");
    prefs.setAutoPasteSource(AutoPasteSource::translation);
    EXPECT_EQ(vm.pasteSourceCaption(),
              "Pastes the translated text at the cursor when translation completes.");
    QSignalSpy clipboard(&vm, &SettingsViewModel::clipboardChanged);
    prefs.setAutoPasteAtCursor(false);
    EXPECT_FALSE(vm.showsPasteSource());
    EXPECT_FALSE(vm.showsPasteWarning());
    EXPECT_GE(clipboard.count(), 1);

    // The dictation warning follows dictation mode, and both follow the trust,
    // which is asked again when the window is shown.
    EXPECT_FALSE(vm.showsDictationWarning());
    prefs.setDictationModeEnabled(true);
    EXPECT_TRUE(vm.showsDictationWarning());
    f.trusted = true;
    vm.refreshTrust();
    EXPECT_FALSE(vm.showsDictationWarning());
    prefs.setAutoPasteAtCursor(true);
    EXPECT_FALSE(vm.showsPasteWarning());
    // The language pickers: the panel's, LanguageSelection in MenuBarViewModelTest.
}

TEST(SettingsRules, appearanceLabelsAndTheDelayRowFollowTheOverlaySettings) {
    Settings f;
    OverlaySettings overlay(f.preferences);
    SettingsViewModel vm(*f.state, &overlay, nullptr, f.services());

    EXPECT_FALSE(vm.showsAutoHideDelay());
    QSignalSpy changed(&vm, &SettingsViewModel::overlayChanged);
    overlay.setAutoHideEnabled(true);
    EXPECT_TRUE(vm.showsAutoHideDelay());
    overlay.setAutoHideDelay(12);
    overlay.setOpacity(0.85);
    EXPECT_EQ(vm.autoHideDelayText(), "12 s");
    EXPECT_EQ(vm.opacityText(), "85%");
    EXPECT_GE(changed.count(), 3);
    // A stored value outside the slider's range is shown as it is.
    overlay.setOpacity(0.05);
    EXPECT_EQ(vm.opacityText(), "5%");
    overlay.setAutoHideEnabled(false);
    EXPECT_FALSE(vm.showsAutoHideDelay());

    // The caption rows choose through the view model; a colour alone is Custom.
    vm.choosePreset(int(OverlaySettings::Preset::BlackOnWhite));
    EXPECT_EQ(overlay.backgroundColor(), QColor(Qt::white));
    EXPECT_EQ(vm.backgroundColorIndex(), 1);
    vm.chooseTextColor(3);
    EXPECT_EQ(vm.presetIndex(), int(OverlaySettings::Preset::Custom));
    EXPECT_EQ(vm.textColorIndex(), 3);
    overlay.setFontSize(48);
    EXPECT_EQ(vm.fontSizeText(), "48 pt");
    overlay.setBackgroundOpacity(0);
    EXPECT_EQ(vm.backgroundOpacityText(),
              QString::number(qRound(vm.captionStyle()->leastBackgroundOpacity() * 100)) + "%");
    vm.chooseFontFamily(0);
    EXPECT_EQ(overlay.fontFamily(), "");

    // Without overlay settings the tab has nothing to change and says nothing wrong.
    SettingsViewModel bare(*f.state, nullptr, nullptr, f.services());
    EXPECT_EQ(bare.opacityText(), "");
    EXPECT_FALSE(bare.showsAutoHideDelay());
}

TEST(SettingsRules, whatWorksHereSaysWhatWorksAndHowToFixTheRestAndTheWarningsLeadThere) {
    Settings f;
    SettingsServices services = f.services();
    DesktopCapabilities &x11 = services.capabilities;
    x11.xembedTray = true;
    x11.clipboard = DesktopCapabilities::ClipboardBackend::x11;
    x11.pasteUnavailable = "the X server has no XTest extension";
    SettingsViewModel vm(*f.state, nullptr, nullptr, services);
    CapabilitiesModel &page = *vm.capabilities();
    const auto lines = [&page] { return capabilityLines(page); };
    EXPECT_EQ(
        lines(),
        (QStringList{"Session: works", "Tray: works", "Global shortcuts: works",
                     "Hold-to-dictate: works",
                     QString::fromUtf8("Paste at the cursor: unavailable: the X server has no "
                                       "XTest extension — dictated text then stays on the "
                                       "clipboard: press Ctrl+V yourself"),
                     "Clipboard: works", "Overlay on top: works",
                     QString::fromUtf8("System audio: checking…"),
                     QString::fromUtf8("Microphone: checking…"), "Speech model: works"}));
    EXPECT_EQ(page.data(page.index(1), CapabilitiesModel::BackendRole), "XEmbed system tray");
    EXPECT_EQ(page.setupText(), "");

    // The sound server's answer comes later and changes its two rows in place.
    QSignalSpy changed(&page, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&page, &QAbstractItemModel::modelReset);
    x11.soundServer = DesktopCapabilities::SoundServer::answered;
    x11.microphone = true;
    page.setCapabilities(x11);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(lines()[7], QString::fromUtf8("System audio: unavailable: the sound server has no "
                                            "output to record — connect or turn on a sound output "
                                            "in your sound settings"));
    EXPECT_EQ(lines()[8], "Microphone: works");

    // sway without XWayland: the compositor pastes, the keys need its bindings, shown to copy.
    DesktopCapabilities sway;
    sway.session = DesktopCapabilities::Session::wayland;
    sway.desktop = DesktopCapabilities::Desktop::sway;
    sway.x11Unavailable = "no X11 display (DISPLAY is not set)";
    sway.statusNotifierHost = true;
    sway.paste = DesktopCapabilities::PasteBackend::waylandVirtualKeyboard;
    sway.clipboard = DesktopCapabilities::ClipboardBackend::dataControl;
    sway.shortcuts = {{HotkeyAction::toggleListening, defaultCombo(HotkeyAction::toggleListening)}};
    QSignalSpy setup(&page, &CapabilitiesModel::setupLinesChanged);
    page.setCapabilities(sway);
    EXPECT_EQ(setup.count(), 1);
    EXPECT_EQ(lines().mid(0, 7),
              (QStringList{
                  "Session: works", "Tray: works",
                  QString::fromUtf8("Global shortcuts: unavailable: sway gives programs no global "
                                    "shortcuts — bind them in your sway configuration: the lines "
                                    "below"),
                  QString::fromUtf8("Hold-to-dictate: unavailable: sway gives programs no key "
                                    "presses and releases — bind the key's press and release to "
                                    "orvinta-cli hold: the lines below"),
                  "Paste at the cursor: works", "Clipboard: works",
                  QString::fromUtf8("Overlay on top: unavailable: Wayland windows cannot keep "
                                    "themselves above others, and there is no XWayland — remove "
                                    "\"xwayland disable\" from your sway configuration and "
                                    "install xwayland")}));
    EXPECT_EQ(page.data(page.index(0), CapabilitiesModel::BackendRole), "Wayland (sway)");
    EXPECT_EQ(page.data(page.index(4), CapabilitiesModel::BackendRole),
              "Wayland virtual keyboard (zwp_virtual_keyboard_v1)");
    EXPECT_EQ(page.setupInstructions(),
              "Add to ~/.config/sway/config, then reload sway (swaymsg reload):");
    EXPECT_EQ(page.setupText(), "bindsym --no-repeat Control_R exec orvinta-cli hold press\n"
                                "bindsym --release Control_R exec orvinta-cli hold release\n"
                                "bindsym Ctrl+Alt+s exec orvinta-cli toggle recording");
    vm.copySetupLines();
    EXPECT_EQ(f.clipboard->text, page.setupText());
    EXPECT_EQ(sway.sessionNote(), "Global shortcuts and hold-to-dictate need a step in this "
                                  "Wayland session");

    // KDE Plasma's portals hold and paste: the page names them and asks for no bindings.
    DesktopCapabilities kde = sway;
    kde.desktop = DesktopCapabilities::Desktop::kde;
    kde.x11Unavailable.clear();
    kde.keys = DesktopCapabilities::KeysBackend::globalShortcutsPortal;
    kde.globalShortcutsPortal = 1;
    kde.remoteDesktopPortal = 2;
    kde.paste = DesktopCapabilities::PasteBackend::remoteDesktopPortal;
    page.setCapabilities(kde);
    EXPECT_EQ(lines().mid(2, 3), (QStringList{"Global shortcuts: works", "Hold-to-dictate: works",
                                              "Paste at the cursor: works"}));
    EXPECT_EQ(page.data(page.index(3), CapabilitiesModel::BackendRole),
              "GlobalShortcuts portal, press and release");
    EXPECT_EQ(page.data(page.index(4), CapabilitiesModel::BackendRole),
              "RemoteDesktop portal keysyms (the desktop asks once to allow them)");
    EXPECT_EQ(page.setupText(), "");
    EXPECT_EQ(kde.sessionNote(), "");
    // Hyprland's portal leaves the keys to its configuration, where a
    // release matches with the hold key's own modifier down.
    DesktopCapabilities hyprland = kde;
    hyprland.desktop = DesktopCapabilities::Desktop::hyprland;
    hyprland.appId = "app.orvinta.Orvinta";
    EXPECT_EQ(hyprland.setupLines().lines,
              (QStringList{"bind = , Control_R, global, app.orvinta.Orvinta:hold-key",
                           "bindr = CTRL, Control_R, global, app.orvinta.Orvinta:hold-key",
                           "bind = CTRL ALT, s, global, app.orvinta.Orvinta:toggle-recording"}));
    // A portal that was there but did not open says so, not that the desktop lacks it.
    DesktopCapabilities failed = kde;
    failed.keys = DesktopCapabilities::KeysBackend::x11;
    failed.paste = DesktopCapabilities::PasteBackend::xtest;
    failed.portalUnavailable = "the desktop portal refused the application id";
    page.setCapabilities(failed);
    EXPECT_TRUE(lines()[2].startsWith("Global shortcuts: unavailable: the GlobalShortcuts portal "
                                      "did not open (the desktop portal refused the application "
                                      "id); through XWayland"))
        << lines()[2].toStdString();
    EXPECT_TRUE(lines()[4].startsWith("Paste at the cursor: unavailable: the RemoteDesktop portal "
                                      "did not open"))
        << lines()[4].toStdString();
    EXPECT_TRUE(page.setupText().startsWith("Ctrl+Alt+D: orvinta-cli toggle dictation"));
    page.setCapabilities(sway);

    // The window opens on General; "Show What Works Here" turns to the page.
    EXPECT_EQ(vm.currentTab(), "general");
    QSignalSpy turned(&vm, &SettingsViewModel::currentTabChanged);
    vm.showCapabilities();
    EXPECT_EQ(vm.currentTab(), "capabilities");
    EXPECT_EQ(vm.tabs().at(vm.currentTabIndex()).toMap().value("title"), "What Works Here");
    vm.setCurrentTab("nowhere");
    EXPECT_EQ(vm.currentTab(), "capabilities");
    EXPECT_EQ(turned.count(), 1);
}

// The update switch is the updater's own setting (UpdaterTest).
// The lines each desktop's own key settings take, with the user's keys.
TEST(SettingsRules, keyBindingsFollowEachDesktopsSyntaxAndTheUsersKeys) {
    using Desktop = DesktopCapabilities::Desktop;
    const std::vector<std::pair<HotkeyAction, KeyCombo>> keys{
        {HotkeyAction::toggleListening,
         {49, KeyCombo::command | KeyCombo::shift}}, // Super+Shift+Space
        {HotkeyAction::toggleOverlay, defaultCombo(HotkeyAction::toggleOverlay)}};
    EXPECT_EQ(keyBindingLines(Desktop::sway, "Super_R", keys).lines,
              (QStringList{"bindsym --no-repeat Super_R exec orvinta-cli hold press",
                           "bindsym --release Super_R exec orvinta-cli hold release",
                           "bindsym Mod4+Shift+space exec orvinta-cli toggle recording",
                           "bindsym Ctrl+Alt+o exec orvinta-cli toggle overlay"}));
    // Hyprland matches a release with the modifiers still down: the key's own among them.
    EXPECT_EQ(keyBindingLines(Desktop::hyprland, "Control_R", keys).lines,
              (QStringList{"bind = , Control_R, exec, orvinta-cli hold press",
                           "bindr = CTRL, Control_R, exec, orvinta-cli hold release",
                           "bind = SUPER SHIFT, space, exec, orvinta-cli toggle recording",
                           "bind = CTRL ALT, o, exec, orvinta-cli toggle overlay"}));
    // Press only: a key toggles dictation, the hold key where a binding takes it alone.
    EXPECT_EQ(keyBindingLines(Desktop::gnome, "Pause", keys).lines,
              (QStringList{"Pause: orvinta-cli toggle dictation",
                           "Super+Shift+Space: orvinta-cli toggle recording",
                           "Ctrl+Alt+O: orvinta-cli toggle overlay"}));
    // KDE's, where Right Ctrl alone cannot be bound: Ctrl+Alt+D (What Works Here above).
}

TEST(HoldKeyField, recordsOneHoldableKeyCancelsOnEscapeAndHidingTheWindowEndsRecordings) {
    Settings f;
    auto hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
    ShortcutRecorderModel overlayField(hotkeys, HotkeyAction::toggleOverlay);
    SettingsViewModel vm(*f.state, nullptr, nullptr, f.services({&overlayField}));
    HoldKeyRecorderModel &field = *vm.holdKeyRecorder();
    EXPECT_EQ(field.displayText(), "Right Ctrl");
    EXPECT_FALSE(field.canReset());

    // Not recording: presses are not the field's.
    EXPECT_FALSE(field.handleKeyPress(Qt::Key_Alt, 0xffea));

    field.toggleRecording();
    EXPECT_TRUE(field.handleKeyPress(Qt::Key_Escape, 0xff1b));
    EXPECT_FALSE(field.isRecording());

    // A letter would type while held: the field keeps waiting.
    field.toggleRecording();
    EXPECT_TRUE(field.handleKeyPress(Qt::Key_K, 'k'));
    EXPECT_TRUE(field.isRecording());

    QSignalSpy changed(&vm, &SettingsViewModel::holdKeyChanged);
    EXPECT_TRUE(field.handleKeyPress(Qt::Key_AltGr, 0xffea));
    EXPECT_FALSE(field.isRecording());
    EXPECT_EQ(f.preferences->stringValue(holdKeyPreference), "Alt_R");
    EXPECT_EQ(vm.holdKeyName(), "Right Alt");
    EXPECT_TRUE(field.canReset());
    EXPECT_EQ(changed.count(), 1);

    // Hiding the window ends both kinds of recording, so that shortcuts resume.
    overlayField.toggleRecording();
    EXPECT_TRUE(hotkeys->suspended);
    field.toggleRecording();
    vm.cancelRecordings();
    EXPECT_FALSE(overlayField.isRecording());
    EXPECT_FALSE(field.isRecording());
    EXPECT_FALSE(hotkeys->suspended);
    EXPECT_EQ(hotkeys->registrations, 0);

    // A new run reads the stored key; the reset goes back to Right Ctrl.
    SettingsViewModel later(*f.state, nullptr, nullptr, f.services());
    EXPECT_EQ(later.holdKeyName(), "Right Alt");
    later.holdKeyRecorder()->resetToDefault();
    EXPECT_EQ(f.preferences->stringValue(holdKeyPreference), "Control_R");
    EXPECT_FALSE(later.holdKeyRecorder()->canReset());
}

TEST(ShortcutFields, captureRuleQtKeysResetAndARefusedShortcutSaysWhy) {
    AppFixture f;
    auto hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
    ShortcutRecorderModel field(hotkeys, HotkeyAction::toggleListening);
    EXPECT_EQ(field.displayText(), "Ctrl+Alt+S");
    EXPECT_FALSE(field.canReset());
    EXPECT_EQ(field.resetToolTip(), "Reset to default (Ctrl+Alt+S)");

    // Recording suspends the global shortcuts so that the field gets the keys.
    field.toggleRecording();
    EXPECT_TRUE(field.isRecording());
    EXPECT_TRUE(hotkeys->suspended);
    // A letter without modifiers and a lone modifier key keep it waiting.
    EXPECT_TRUE(field.handleKeyPress(Qt::Key_K, Qt::NoModifier));
    EXPECT_TRUE(field.handleKeyPress(Qt::Key_Control, Qt::ControlModifier));
    EXPECT_TRUE(field.isRecording());
    // Super+Alt+K: key code 40, modifiers 0x180000.
    EXPECT_TRUE(field.handleKeyPress(Qt::Key_K, Qt::AltModifier | Qt::MetaModifier));
    EXPECT_FALSE(field.isRecording());
    EXPECT_EQ(hotkeys->combo(HotkeyAction::toggleListening), (KeyCombo{40, 0x180000}));
    EXPECT_EQ(field.displayText(), "Super+Alt+K");
    EXPECT_TRUE(field.canReset());
    EXPECT_FALSE(hotkeys->suspended);

    // Shift+Escape cancels (SettingsWindowX11). Two clicks start and stop without a change; keys
    // after that pass on.
    field.toggleRecording();
    field.toggleRecording();
    EXPECT_FALSE(field.handleKeyPress(Qt::Key_K, Qt::AltModifier));
    EXPECT_EQ(field.displayText(), "Super+Alt+K");

    // Shifted symbols are their key: Ctrl+Shift+! is Ctrl+Shift+1.
    field.toggleRecording();
    field.handleKeyPress(Qt::Key_Exclam, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(field.displayText(), "Ctrl+Shift+1");
    // A keypad key is its own key, not the main key with its symbol; the
    // keypad flag is no modifier.
    field.toggleRecording();
    field.handleKeyPress(Qt::Key_5, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(hotkeys->combo(HotkeyAction::toggleListening), (KeyCombo{87, KeyCombo::control}));
    // Shift alone would take capital S from every program: still waiting.
    field.toggleRecording();
    EXPECT_TRUE(field.handleKeyPress(Qt::Key_S, Qt::ShiftModifier));
    EXPECT_TRUE(field.isRecording());
    field.handleKeyPress(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(field.displayText(), "Ctrl+S");
    // F13 to F24 type nothing and may stand alone.
    field.toggleRecording();
    field.handleKeyPress(Qt::Key_F13, Qt::NoModifier);
    EXPECT_FALSE(field.isRecording());
    EXPECT_EQ(hotkeys->combo(HotkeyAction::toggleListening), (KeyCombo{105, 0}));
    field.resetToDefault();
    EXPECT_EQ(field.displayText(), "Ctrl+Alt+S");
    EXPECT_FALSE(field.canReset());
    EXPECT_EQ(captureDecision(53, KeyCombo::shift), CaptureDecision::cancel);
    EXPECT_EQ(captureDecision(1, 0x10000), CaptureDecision::ignore); // caps lock alone
    EXPECT_EQ(captureDecision(1, 0x10000 | KeyCombo::control), CaptureDecision::record);
    EXPECT_EQ(captureDecision(1, 0xFFFF), CaptureDecision::ignore);

    // A refused shortcut says why, except while a field records.
    hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
    hotkeys->start();
    hotkeys->refused[HotkeyAction::toggleAutoPaste] = "the keyboard layout has no such key";
    ShortcutRecorderModel recording(hotkeys, HotkeyAction::toggleListening);
    ShortcutRecorderModel paste(hotkeys, HotkeyAction::toggleAutoPaste);
    const QString refused = "Ctrl+Alt+V does not work: the keyboard layout has no such key";
    EXPECT_EQ(recording.failureText(), "");
    EXPECT_EQ(paste.failureText(), refused);

    // Recording in one field takes every shortcut off: the others hear of it.
    QSignalSpy changed(&paste, &ShortcutRecorderModel::registrationChanged);
    recording.toggleRecording();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(paste.failureText(), "");
    recording.cancelRecording();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(paste.failureText(), refused);
    hotkeys->refused.clear();
    paste.resetToDefault();
    EXPECT_EQ(paste.failureText(), "");
}
