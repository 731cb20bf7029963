// The settings window's rules without pixels: what shows when, the value
// labels, the hold-key field and what ends a recording.

#include "SettingsTestSupport.h"

#include <OrvintaApp/Preferences.h>
#include <OrvintaUi/SettingsViewModel.h>
#include <OrvintaUpdates/AppVersion.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

namespace {

/// The view model's services over an AppFixture.
struct Settings : AppFixture {
    SettingsServices services(QList<ShortcutRecorderModel *> recorders = {}) {
        return {preferences, [this] { return trusted; }, recorders, {}, [](const QUrl &) {}, {}};
    }
    bool trusted = true;
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

    EXPECT_EQ(vm.opacityText(), "60%");
    EXPECT_EQ(vm.fontSizeText(), "15 pt");
    EXPECT_EQ(vm.autoHideDelayText(), "5 s");
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
    services.capabilities.add("Tray", "system tray icon", {}, {});
    services.capabilities.add("Paste at the cursor", "XTest Ctrl+V",
                              "the X server has no XTest extension",
                              "turn on the X server's XTEST extension");
    SettingsViewModel vm(*f.state, nullptr, nullptr, services);
    const CapabilitiesModel &page = *vm.capabilities();
    ASSERT_EQ(page.rowCount(), 2);
    const auto line = [&page](int row, int role) { return page.data(page.index(row), role); };
    EXPECT_EQ(line(0, CapabilitiesModel::FeatureRole), "Tray");
    EXPECT_EQ(line(0, CapabilitiesModel::StatusRole), "works");
    EXPECT_EQ(line(0, CapabilitiesModel::BackendRole), "system tray icon");
    EXPECT_FALSE(line(1, CapabilitiesModel::AvailableRole).toBool());
    EXPECT_EQ(line(1, CapabilitiesModel::StatusRole),
              QString::fromUtf8("unavailable: the X server has no XTest extension — turn on the X "
                                "server's XTEST extension"));

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
TEST(SettingsRules, aVersionWithoutBuildShowsADash) {
    EXPECT_EQ(AppVersion::displayVersion(QStringLiteral("1.4"), std::nullopt),
              QString::fromUtf8("1.4 (—)"));
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

TEST(ShortcutFields, captureRuleQtKeysAndReset) {
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
}

TEST(ShortcutFields, aRefusedShortcutSaysWhyExceptWhileAFieldRecords) {
    AppFixture f;
    auto hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
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
