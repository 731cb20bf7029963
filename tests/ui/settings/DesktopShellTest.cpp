// The tray application's joints to its windows: the panel's "Settings"
// button, the release notes after the start, a new hold key and the
// overlay's shortcut texts, through the shell built on fakes.

#include "DesktopShell.h"
#include "DesktopBackends.h"
#include "SettingsTestSupport.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaInput/RemoteHoldKey.h>
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

// The start never waits for the sound server: What Works Here says
// "checking" until the device list, on its own thread, has the answer. The
// desktop's own key bindings run the shortcuts' actions (orvinta-cli toggle).
TEST(DesktopShell, whatWorksHereLearnsTheSoundServerOffTheMainThreadAndBindingsRunTheActions) {
    struct WatchedCapture : OrvintaTest::FakeCapture {
        std::optional<std::vector<InputDeviceRecord>> inputDevices() override {
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                ++mainThreadAsks;
            return FakeCapture::inputDevices();
        }
        std::atomic<int> mainThreadAsks = 0;
    };
    AppFixture f;
    f.state.reset();
    auto audio = std::make_shared<WatchedCapture>();
    audio->devices = std::vector<InputDeviceRecord>{{1, "Microphone", 1, false},
                                                    {2, "Monitor of Speakers", 2, true}};
    DesktopShell::Services services;
    services.app = f.services();
    services.app.audio = audio;
    services.translation = std::make_shared<PrefixTranslator>();
    services.capabilities = DesktopBackends::probe(services.app, {});
    services.remoteHoldKey = std::make_shared<RemoteHoldKey>();
    EXPECT_EQ(audio->mainThreadAsks, 0);
    DesktopShell shell(std::move(services));
    shell.showCapabilities();
    const CapabilitiesModel &page = *shell.settingsWindow()->viewModel().capabilities();
    const auto status = [&page](const char *feature) {
        for (int row = 0; row < page.rowCount(); ++row)
            if (page.data(page.index(row), CapabilitiesModel::FeatureRole) == feature)
                return page.data(page.index(row), CapabilitiesModel::StatusRole).toString();
        return QString();
    };
    run(shell.state().startupFinished());
    EXPECT_TRUE(waitUntil([&] { return status("Microphone") == "works"; }));
    EXPECT_EQ(status("System audio"), "works");
    EXPECT_EQ(audio->mainThreadAsks, 0);

    Preferences &prefs = *shell.state().preferences();
    EXPECT_EQ(shell.runCommand("toggle auto-copy"), "");
    EXPECT_TRUE(prefs.autoCopyToClipboard());
    EXPECT_EQ(shell.runCommand("toggle overlay"), "");
    EXPECT_NE(shell.overlay(), nullptr);
    const QString dictationOff = "hold-to-dictate is off: turn it on in Orvinta's settings "
                                 "(General > Dictation)";
    EXPECT_EQ(shell.runCommand("toggle dictation"), dictationOff);
    EXPECT_EQ(shell.runCommand("hold press 5"), dictationOff);
    EXPECT_TRUE(shell.runCommand("toggle everything").startsWith("usage: orvinta-cli hold"));
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
