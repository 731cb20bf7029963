// The tray application's joints to its windows: the panel's "Settings"
// button, the release notes after the start, a new hold key and the
// overlay's shortcut texts, through the shell built on fakes.

#include "DesktopShell.h"
#include "SettingsTestSupport.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>
#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/WhatsNewModel.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(DesktopShell, settingsButtonShowsOneWindowAndANewHoldKeyRestartsTheMonitor) {
    AppFixture f;
    f.state.reset();
    DesktopShell::Services services;
    services.app = f.services();
    services.app.hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
    DesktopShell shell(std::move(services));
    AppState &state = shell.state();
    run(state.startupFinished());

    state.showSettings();
    ASSERT_NE(shell.settingsWindow(), nullptr);
    QQuickWindow *window = shell.settingsWindow()->window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(itemsNamed(window, "shortcutRow").size(), 4);

    SettingsViewModel &vm = shell.settingsWindow()->viewModel();
    QSignalSpy monitor(&state.dictationController(),
                       &DictationController::dictationMonitorRequested);
    // Dictation off: a new hold key is only stored, and the panel names it.
    vm.holdKeyRecorder()->toggleRecording();
    vm.holdKeyRecorder()->handleKeyPress(Qt::Key_Alt, 0xffe9);
    EXPECT_EQ(monitor.count(), 0);
    EXPECT_EQ(shell.panelModel().holdKeyName(), vm.holdKeyName());
    state.preferences()->setDictationModeEnabled(true);
    monitor.clear();
    vm.holdKeyRecorder()->toggleRecording();
    vm.holdKeyRecorder()->handleKeyPress(Qt::Key_Super_R, 0xffec);
    ASSERT_EQ(monitor.count(), 1);
    EXPECT_TRUE(monitor.at(0).at(0).toBool());
    EXPECT_EQ(f.preferences->stringValue("app.dictationHoldKey"), "Super_R");

    // The panel's "What works here" turns the settings to their capabilities page.
    Q_EMIT shell.panelModel().capabilitiesRequested();
    EXPECT_EQ(vm.currentTab(), "capabilities");
    EXPECT_TRUE(window->isVisible());

    // First launch: the version is stored and nothing opens.
    shell.showReleaseNotesIfNew();
    EXPECT_FALSE(shell.whatsNew().isVisible());
    EXPECT_TRUE(f.preferences->stringValue(ReleaseNotes::lastSeenVersionKey).has_value());
}

TEST(DesktopShell, overlayShortcutTextsFollowTheRegisteredCombinations) {
    AppFixture f;
    f.state.reset();
    auto hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
    hotkeys->refused[HotkeyAction::toggleListening] = "another program already uses this shortcut";
    DesktopShell::Services services;
    services.app = f.services();
    services.app.hotkeys = hotkeys;
    services.translation = std::make_shared<PrefixTranslator>();
    DesktopShell shell(std::move(services));
    AppState &state = shell.state();
    run(state.startupFinished());
    state.toggleOverlay();
    ASSERT_NE(shell.overlay(), nullptr);
    OverlayViewModel &overlay = *shell.overlay()->viewModel();
    QQuickWindow &window = *shell.overlay()->window();

    // A refused shortcut is not offered as if it worked.
    EXPECT_EQ(overlay.startStopShortcut(), "");
    EXPECT_EQ(overlay.closeToolTip(), "Hide overlay (Ctrl+Alt+O)");
    ASSERT_TRUE(
        waitUntil([&] { return shown(itemSaying(&window, "Click Start in Orvinta's panel")); }));
    EXPECT_FALSE(shown(itemSaying(&window, "Press")));

    // Changes in the settings show at once.
    state.showSettings();
    const QList<ShortcutRecorderModel *> fields =
        shell.settingsWindow()->viewModel().shortcutRecorders();
    ASSERT_EQ(fields.size(), 4);
    fields[3]->toggleRecording();
    fields[3]->handleKeyPress(Qt::Key_H, int(Qt::ControlModifier | Qt::AltModifier));
    EXPECT_EQ(overlay.closeToolTip(), "Hide overlay (Ctrl+Alt+H)");
    hotkeys->refused.clear();
    fields[0]->toggleRecording();
    fields[0]->handleKeyPress(Qt::Key_D, int(Qt::ControlModifier | Qt::AltModifier));
    EXPECT_EQ(overlay.startStopShortcut(), "Ctrl+Alt+D");
    EXPECT_TRUE(waitUntil([&] { return shown(itemSaying(&window, "Ctrl+Alt+D")); }));
    EXPECT_TRUE(shown(itemSaying(&window, "or click Start in Orvinta's panel")));

    // A refused overlay shortcut leaves the plain tooltip.
    hotkeys->refused[HotkeyAction::toggleOverlay] = "another program already uses this shortcut";
    fields[3]->resetToDefault();
    EXPECT_EQ(overlay.closeToolTip(), "Hide overlay");
}
