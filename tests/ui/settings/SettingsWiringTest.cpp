// The shell's joints: the panel's "Settings" button, the start-up jobs and
// a new hold key, through SettingsWiring as the tray application uses it.

#include "SettingsWiring.h"
#include "AppTestSupport.h"
#include "SettingsTestSupport.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaUi/SettingsWindowController.h>
#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(SettingsWiring, settingsButtonShowsOneWindowAndANewHoldKeyRestartsTheMonitor) {
    AppFixture f;
    AppState::setInstance(f.state.get());
    AppServices services;
    services.preferences = f.preferences;
    services.paster = f.paster;
    services.hotkeys = std::make_shared<RecordingHotkeys>(f.preferences);
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    SettingsWiring wiring(services, engine);
    wiring.attach(*f.state);

    wiring.showSettings();
    ASSERT_NE(wiring.settingsWindow(), nullptr);
    QQuickWindow *window = wiring.settingsWindow()->window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(itemsNamed(window, "shortcutRow").size(), 4);
    wiring.showSettings();
    EXPECT_EQ(wiring.settingsWindow()->window(), window);

    SettingsViewModel &vm = wiring.settingsWindow()->viewModel();
    QSignalSpy monitor(&f.state->dictationController(),
                       &DictationController::dictationMonitorRequested);
    // Dictation off: a new hold key is only stored.
    vm.holdKeyRecorder()->toggleRecording();
    vm.holdKeyRecorder()->handleKeyPress(Qt::Key_Alt, 0xffe9);
    EXPECT_EQ(monitor.count(), 0);
    f.state->preferences()->setDictationModeEnabled(true);
    monitor.clear();
    vm.holdKeyRecorder()->toggleRecording();
    vm.holdKeyRecorder()->handleKeyPress(Qt::Key_Super_R, 0xffec);
    ASSERT_EQ(monitor.count(), 1);
    EXPECT_TRUE(monitor.at(0).at(0).toBool());
    EXPECT_EQ(f.preferences->stringValue("app.dictationHoldKey"), "Super_R");

    // First launch: the version is stored and nothing opens.
    wiring.showReleaseNotesIfNew();
    EXPECT_FALSE(wiring.whatsNew().isVisible());
    EXPECT_TRUE(f.preferences->stringValue(ReleaseNotes::lastSeenVersionKey).has_value());
    AppState::setInstance(nullptr);
}
