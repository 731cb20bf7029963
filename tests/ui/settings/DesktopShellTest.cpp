// The tray application's joints to its windows (settings, release notes, hold key, overlay
// shortcut texts, What Works Here, bindings, update news) through the shell built on fakes; the
// news goes to a notification server on a session bus of the test's own.

#include "DesktopShell.h"
#include "DesktopBackends.h"
#include "SettingsTestSupport.h"
#include "TestFeedServer.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaInput/RemoteHoldKey.h>
#include <OrvintaPlatform/FreedesktopNotifier.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>
#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/UpdaterManager.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusError>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

/// A session bus of the test's own, on which nothing starts on demand.
class PrivateBus {
public:
    PrivateBus() {
        const QString config = m_folder.filePath("bus.conf");
        writeFile(config,
                  "<busconfig><type>session</type><listen>unix:dir=" + m_folder.path().toUtf8() +
                      "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                      "<allow send_destination=\"*\"/><allow eavesdrop=\"true\"/>"
                      "<allow own=\"*\"/>"
                      "</policy></busconfig>");
        m_daemon.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address"});
        if (m_daemon.waitForReadyRead(10000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString &name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }
    bool started() const { return !m_address.isEmpty(); }
    QDBusConnection connect(const QString &name) {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

/// org.freedesktop.Notifications as a desktop's notification server offers
/// it, recording what it is asked to show.
class NotificationServer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        uint id;
        QString appName, summary, body;
        QStringList actions;
    };
    explicit NotificationServer(QObject *object)
        : QDBusAbstractAdaptor(object) {}
    QList<Shown> shown;

public Q_SLOTS:
    uint Notify(const QString &appName, uint replacesId, const QString &, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &, int) {
        const uint id = replacesId ? replacesId : uint(shown.size() + 1);
        shown.push_back({id, appName, summary, body, actions});
        return id;
    }
    QStringList GetCapabilities() { return {"actions", "body"}; }
    void CloseNotification(uint id) { Q_EMIT NotificationClosed(id, 3); }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);
};

/// The visible item of a shown window that says `text`.
QQuickItem *onScreenSaying(const QString &text) {
    for (QWindow *window : QGuiApplication::topLevelWindows())
        if (window->isVisible())
            if (QQuickItem *item = itemSaying(window, text); shown(item))
                return item;
    return nullptr;
}

/// The shell's services over `f`'s fakes; the shell makes its own state.
DesktopShell::Services servicesOver(AppFixture &f) {
    f.state.reset();
    DesktopShell::Services services;
    services.app = f.services();
    return services;
}

bool updateWindowShown() {
    for (QWindow *window : QGuiApplication::topLevelWindows())
        if (window->isVisible() && window->title() == "Software Update")
            return true;
    return false;
}

} // namespace

TEST(DesktopShell, settingsButtonShowsOneWindowAndANewHoldKeyRestartsTheMonitor) {
    AppFixture f;
    DesktopShell::Services services = servicesOver(f);
    services.app.hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
    DesktopShell shell(std::move(services));
    AppState &state = shell.state();
    run(state.startupFinished());

    state.showSettings();
    ASSERT_NE(shell.settingsWindow(), nullptr);
    QQuickWindow *window = shell.settingsWindow()->window();
    ASSERT_NE(window, nullptr);

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

// The start never waits for the sound server: What Works Here says "checking" until the device
// list, on its own thread, answers. The desktop's bindings run the actions (orvinta-cli toggle).
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
    auto audio = std::make_shared<WatchedCapture>();
    audio->devices = std::vector<InputDeviceRecord>{{1, "Microphone", 1, false, "mic"},
                                                    {2, "Monitor of Speakers", 2, true, "spk"}};
    DesktopShell::Services services = servicesOver(f);
    services.app.audio = audio;
    services.translation = std::make_shared<PrefixTranslator>();
    services.capabilities = DesktopBackends::probe(services.app, {});
    services.remoteHoldKey = std::make_shared<RemoteHoldKey>();
    EXPECT_EQ(audio->mainThreadAsks, 0);
    DesktopShell shell(std::move(services));
    shell.showCapabilities();
    const CapabilitiesModel &page = *shell.settingsWindow()->viewModel().capabilities();
    run(shell.state().startupFinished());
    EXPECT_TRUE(waitUntil([&] { return capabilityLines(page).contains("Microphone: works"); }));
    EXPECT_TRUE(capabilityLines(page).contains("System audio: works"));
    EXPECT_EQ(audio->mainThreadAsks, 0);

    Preferences &prefs = *shell.state().preferences();
    EXPECT_EQ(shell.runCommand("toggle auto-copy"), "");
    EXPECT_TRUE(prefs.autoCopyToClipboard());
    EXPECT_EQ(shell.runCommand("toggle overlay"), "");
    EXPECT_NE(shell.overlay(), nullptr);
    EXPECT_EQ(shell.runCommand("toggle focus-captions"), "");
    EXPECT_TRUE(shell.overlay()->keyboardActive());
    const QString dictationOff = "hold-to-dictate is off: turn it on in Orvinta's settings "
                                 "(General > Dictation)";
    EXPECT_EQ(shell.runCommand("toggle dictation"), dictationOff);
    EXPECT_EQ(shell.runCommand("hold press 5"), dictationOff);
    EXPECT_TRUE(shell.runCommand("toggle everything").startsWith("usage: orvinta-cli hold"));
}

TEST(DesktopShell, overlayShortcutTextsFollowTheRegisteredCombinations) {
    AppFixture f;
    auto hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
    hotkeys->refused[HotkeyAction::toggleListening] = "another program already uses this shortcut";
    DesktopShell::Services services = servicesOver(f);
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
    ASSERT_TRUE(
        waitUntil([&] { return shown(itemSaying(&window, "Click Start in Orvinta's panel")); }));
    EXPECT_FALSE(shown(itemSaying(&window, "Press")));

    // Changes in the settings show at once.
    state.showSettings();
    const QList<ShortcutRecorderModel *> fields =
        shell.settingsWindow()->viewModel().shortcutRecorders();
    ASSERT_EQ(fields.size(), 5);
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

TEST(DesktopShell, theFirstStartOpensThePanelAndTheOverlayWelcomesWithHowToStart) {
    AppFixture f;
    f.state.reset();
    ASSERT_TRUE(f.preferences->isFirstRun());
    const auto start = [&](std::shared_ptr<PreferencesStore> preferences) {
        DesktopShell::Services services = servicesOver(f);
        services.app.preferences = std::move(preferences);
        services.app.hotkeys = std::make_shared<FakeHotkeys>(services.app.preferences);
        auto shell = std::make_unique<DesktopShell>(std::move(services));
        shell->start();
        EXPECT_TRUE(waitUntil([] { return onScreenSaying("Quit") != nullptr; }));
        EXPECT_TRUE(waitUntil([&] { return shell->overlay() && shell->overlay()->window(); }));
        return shell;
    };
    auto shell = start(f.preferences);
    QQuickWindow *overlay = shell->overlay()->window();
    ASSERT_TRUE(waitUntil([&] { return overlay->isVisible(); }));
    EXPECT_TRUE(shown(itemSaying(overlay, "Welcome to Orvinta")));
    EXPECT_TRUE(shown(itemSaying(overlay, "Ctrl+Alt+S")));
    EXPECT_TRUE(shown(itemSaying(overlay, "or click Start in Orvinta's panel")));

    // The next start is no first one.
    shell.reset();
    auto again = std::make_shared<PreferencesStore>(f.preferences->fileName());
    EXPECT_FALSE(again->isFirstRun());
    shell = start(again);
    ASSERT_TRUE(waitUntil([&] { return shell->overlay()->window()->isVisible(); }));
    EXPECT_TRUE(shown(itemSaying(shell->overlay()->window(), "Ready to transcribe")));
}

TEST(DesktopShell, aNewVersionFoundInTheBackgroundIsNotifiedOnceAndMarkedInThePanelUntilSeen) {
    PrivateBus bus;
    if (!bus.started())
        GTEST_SKIP() << "dbus-daemon did not start (Debian package dbus-daemon)";
    QDBusConnection desktop = bus.connect("orvinta-test-notifications");
    ASSERT_TRUE(desktop.isConnected()) << desktop.lastError().message().toStdString();
    QObject serverObject;
    auto *server = new NotificationServer(&serverObject);
    ASSERT_TRUE(desktop.registerObject("/org/freedesktop/Notifications", &serverObject));
    ASSERT_TRUE(desktop.registerService("org.freedesktop.Notifications"));
    QDBusConnection session = bus.connect("orvinta-test-session");

    OrvintaTest::TestFeedServer feed(OrvintaTest::TestFeedServer::Scheme::http);
    feed.serve("/appcast.xml", OrvintaTest::FeedResponse::feed(
                                   OrvintaTest::appcastXml({{"99.0", "<p>Faster</p>"}})));
    AppFixture f;
    f.preferences->setString(UpdaterManager::feedUrlKey, feed.url("/appcast.xml").toString());
    LogCapture log;
    // Each start checks at once, as a day after the last check would; the
    // shell is returned with that check done.
    const auto start = [&] {
        f.preferences->setString(UpdaterManager::lastCheckTimeKey, QString());
        DesktopShell::Services services = servicesOver(f);
        services.translation = std::make_shared<PrefixTranslator>();
        services.notifier = std::make_shared<FreedesktopNotifier>(session);
        services.timings.updateCheck = 0ms;
        auto shell = std::make_unique<DesktopShell>(std::move(services));
        const int checks = log.count("is available (you have");
        shell->start();
        EXPECT_TRUE(waitUntil([&] { return log.count("is available (you have") > checks; }, 30s));
        EXPECT_TRUE(waitUntil([] { return onScreenSaying("Quit") != nullptr; }));
        return shell;
    };
    const auto marked = [] { return onScreenSaying("Update available") != nullptr; };

    // The daily check finds 99.0: one notification, and the panel's mark.
    auto shell = start();
    ASSERT_TRUE(waitUntil([&] { return !server->shown.isEmpty(); }));
    const NotificationServer::Shown news = server->shown.first();
    EXPECT_EQ(news.appName, "Orvinta");
    EXPECT_EQ(news.summary, "Orvinta 99.0 is available");
    EXPECT_FALSE(news.body.isEmpty());
    ASSERT_GE(news.actions.size(), 2);
    EXPECT_TRUE(marked());
    EXPECT_FALSE(updateWindowShown());

    // Its action opens the update window, which clears the mark for good.
    Q_EMIT server->ActionInvoked(news.id + 1000, news.actions.last()); // another program's
    Q_EMIT server->ActionInvoked(news.id, news.actions.last());
    Q_EMIT server->NotificationClosed(news.id, 2);
    ASSERT_TRUE(waitUntil(updateWindowShown));
    EXPECT_TRUE(onScreenSaying("Download"));
    EXPECT_FALSE(marked());
    shell.reset();
    shell = start();
    spin(500ms);
    EXPECT_FALSE(marked());
    EXPECT_EQ(server->shown.size(), 1);

    // Without a notification server 99.1 is only marked, and the log says why.
    desktop.unregisterService("org.freedesktop.Notifications");
    feed.serve("/appcast.xml", OrvintaTest::FeedResponse::feed(OrvintaTest::appcastXml(
                                   {{"99.0", ""}, {"99.1", "<p>Smaller</p>"}})));
    shell.reset();
    shell = start();
    EXPECT_TRUE(marked());
    ASSERT_TRUE(waitUntil([&] { return log.contains("No desktop notification"); }));
    EXPECT_TRUE(log.lines().filter("No desktop notification").first().contains("Orvinta 99.1"))
        << log.all().toStdString();
    // Nor does a session without a bus.
    FreedesktopNotifier busless(QDBusConnection("orvinta-test-no-bus"));
    QSignalSpy failed(&busless, &DesktopNotifier::failed);
    busless.notify({"Orvinta 99.1 is available", "", "View Update"});
    ASSERT_TRUE(failed.wait());
    EXPECT_TRUE(failed.first().first().toString().contains("no D-Bus session bus"));

    // With a server again, 99.1 is notified at the next start, and after
    // another the panel marks it but nothing notifies it again.
    ASSERT_TRUE(desktop.registerService("org.freedesktop.Notifications"));
    shell.reset();
    shell = start();
    ASSERT_TRUE(waitUntil([&] { return server->shown.size() == 2; }));
    EXPECT_EQ(server->shown.last().summary, "Orvinta 99.1 is available");
    // Counted as notified once the server's answer is back.
    ASSERT_TRUE(waitUntil(
        [&] { return f.preferences->stringValue(UpdateNotice::notifiedVersionKey) == "99.1"; }));
    shell.reset();
    shell = start();
    spin(500ms);
    EXPECT_EQ(server->shown.size(), 2);
    // The mark itself opens the update window too.
    ASSERT_TRUE(marked());
    QMetaObject::invokeMethod(onScreenSaying("Update available"), "clicked");
    EXPECT_TRUE(waitUntil(updateWindowShown));
    EXPECT_FALSE(marked());
}

#include "DesktopShellTest.moc"
