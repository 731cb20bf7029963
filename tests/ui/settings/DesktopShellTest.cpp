// The tray application's joints to its windows: the panel's "Settings"
// button, the release notes after the start and a new hold key, through the
// shell built on fakes.

#include "DesktopShell.h"
#include "SettingsTestSupport.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaUi/MenuBarViewModel.h>
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

    // First launch: the version is stored and nothing opens.
    shell.showReleaseNotesIfNew();
    EXPECT_FALSE(shell.whatsNew().isVisible());
    EXPECT_TRUE(f.preferences->stringValue(ReleaseNotes::lastSeenVersionKey).has_value());
}
