// The keyboard through xdg-desktop-portal: GlobalShortcuts signals, triggers, each session's back
// end; then the real frontend on a private bus with orvinta-test-portal as the desktop's.

#include "CliProcess.h"
#include "DesktopBackends.h"
#include "InputTestSupport.h"
#include "portal/GlobalShortcutsPortal.h"
#include "portal/PortalShortcutState.h"

#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>
#include <OrvintaInput/PortalKeyboard.h>

#include <QDBusConnectionInterface>
#include <QFileInfo>

using namespace Orvinta;
using namespace Orvinta::DesktopBackends;
using namespace Orvinta::InputTesting;
using namespace OrvintaTest;
using namespace std::chrono_literals;

namespace {

using State = PortalShortcutState;
using Effect = State::Effect;
const QString mine = QStringLiteral("/org/freedesktop/portal/desktop/session/1_7/mine");
const QString other = QStringLiteral("/org/freedesktop/portal/desktop/session/1_9/other");
const QString holdKey = QStringLiteral("hold-key");
const QString recording = QStringLiteral("toggle-recording");

/// xdg-desktop-portal on a bus of its own with the test back end, started
/// at the first use and stopped after the last test; every wait is bounded.
class PortalDesktop : public ::testing::Environment {
public:
    static PortalDesktop &instance() {
        static auto *desktop =
            static_cast<PortalDesktop *>(::testing::AddGlobalTestEnvironment(new PortalDesktop));
        return *desktop;
    }
    static constexpr const char *frontend = "/usr/libexec/xdg-desktop-portal";
    /// Empty when the desktop runs; otherwise why not.
    QString start() {
        if (m_address.isEmpty() && m_failure.isEmpty())
            m_failure = launch();
        return m_failure;
    }
    void TearDown() override {
        for (QProcess *process : {&m_frontend, &m_backend.process, &m_bus}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
    }
    QString address() const { return m_address; }
    void send(const QString &command) { m_backend.send(command.toUtf8()); }
    /// Waits for the back end's next line that starts with `prefix`.
    QString waitForLine(const QString &prefix) {
        return m_backend.waitForLine([&](const QString &line) { return line.startsWith(prefix); })
            .value_or(QString());
    }
    /// The lines read from `from` on that start with `prefix`.
    QStringList linesSince(qsizetype from, const QString &prefix) const {
        return m_backend.lines.mid(from).filter(
            QRegularExpression("^" + QRegularExpression::escape(prefix)));
    }
    qsizetype mark() const { return m_backend.checked; }
    QString log() const { return QString::fromUtf8(readAll(m_folder.filePath("frontend.log"))); }

private:
    QString launch() {
        const QString config = m_folder.filePath("bus.conf");
        writeFile(config, QString("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                  "<policy context=\"default\"><allow send_destination=\"*\" "
                                  "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
                                  "own=\"*\"/></policy></busconfig>")
                              .arg(m_folder.path())
                              .toUtf8());
        m_bus.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"});
        if (!m_bus.waitForReadyRead(10000))
            return "the private bus did not start";
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        // Frontend 1.16 reads the .portal files in XDG_DESKTOP_PORTAL_DIR and
        // takes the one whose UseIn names XDG_CURRENT_DESKTOP.
        writeFile(m_folder.filePath("portals/orvintatest.portal"),
                  "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.orvintatest\nInterfaces="
                  "org.freedesktop.impl.portal.GlobalShortcuts;org.freedesktop.impl.portal."
                  "RemoteDesktop;\nUseIn=test\n");
        // The code under test connects there too.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        qputenv("XDG_CURRENT_DESKTOP", "test");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DESKTOP_PORTAL_DIR", m_folder.filePath("portals"));
        environment.insert("XDG_RUNTIME_DIR", m_folder.path());
        m_backend.process.setProcessEnvironment(environment);
        m_backend.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_backend.process.start(ORVINTA_TEST_PORTAL);
        if (waitForLine("ready").isEmpty())
            return "the test portal back end did not start";
        m_frontend.setProcessEnvironment(environment);
        m_frontend.setProcessChannelMode(QProcess::MergedChannels);
        m_frontend.setStandardOutputFile(m_folder.filePath("frontend.log"));
        m_frontend.start(frontend, {"--verbose"});
        QDBusConnection watch = QDBusConnection::connectToBus(m_address, "orvinta-test-watch");
        const bool owned = waitUntil(
            [&] { return watch.interface()->isServiceRegistered(portalService).value(); }, 20s);
        QDBusConnection::disconnectFromBus("orvinta-test-watch");
        return owned ? QString() : "xdg-desktop-portal did not start: " + log();
    }

    QTemporaryDir m_folder;
    QProcess m_bus;
    LineProcess m_backend;
    QProcess m_frontend;
    QString m_address;
    QString m_failure;
};

/// Skips without xdg-desktop-portal; fails when it is there and does not start.
#define REQUIRE_PORTAL_DESKTOP()                                                                   \
    if (!QFileInfo(PortalDesktop::frontend).isExecutable())                                        \
        GTEST_SKIP() << "needs xdg-desktop-portal (scripts/deps.sh installs it)";                  \
    ASSERT_EQ(PortalDesktop::instance().start(), "")

/// The session of the latest binding and its shortcuts, as the back end printed them
/// ("bind SESSION\tID\tDESCRIPTION\tTRIGGER" lines, then "bound SESSION").
std::pair<QString, QStringList> nextBinding(PortalDesktop &desktop) {
    const qsizetype from = desktop.mark();
    const QString bound = desktop.waitForLine("bound ");
    QStringList shortcuts;
    for (const QString &line : desktop.linesSince(from, "bind "))
        shortcuts << line.section('\t', 1);
    return {bound.mid(6), shortcuts};
}

/// Waits until the signals sent before have reached this process: the
/// frontend keeps their order on each connection.
void sync(PortalDesktop &desktop, const QString &session, int &autoCopies) {
    const int before = autoCopies;
    desktop.send("activate " + session + " toggle-auto-copy");
    ASSERT_TRUE(waitUntil([&] { return autoCopies == before + 1; }));
    desktop.send("deactivate " + session + " toggle-auto-copy");
    // And that the back end's lines up to here have been read.
    ASSERT_FALSE(desktop.waitForLine("sent deactivate " + session + " toggle-auto-copy").isEmpty());
}

} // namespace

TEST(PortalShortcutState, holdsAndPressesCountOnceForThisSessionAndALostReleaseEndsAHoldAt60s) {
    State state(holdKey, 60s);
    const State::Clock::time_point t{};
    // Nothing counts before the session exists, nor another session's signals
    // (frontend 1.16 sends every session's signals to every client).
    EXPECT_EQ(state.activated(mine, holdKey, t), Effect::none);
    state.setSession(mine);
    EXPECT_EQ(state.activated(other, holdKey, t), Effect::none);
    EXPECT_EQ(state.activated(other, recording, t), Effect::none);
    // One start; a repeated Activated and a duplicate Deactivated change nothing.
    EXPECT_EQ(state.activated(mine, holdKey, t), Effect::holdStart);
    EXPECT_EQ(state.activated(mine, holdKey, t + 1s), Effect::none);
    EXPECT_EQ(state.deactivated(other, holdKey, t + 2s), Effect::none);
    EXPECT_EQ(state.deactivated(mine, holdKey, t + 2s), Effect::holdEnd);
    EXPECT_EQ(state.deactivated(mine, holdKey, t + 3s), Effect::none);
    // A lost Deactivated: the hold ends 60 s after it began, repeats or not;
    // the late release does nothing and the next press holds again.
    EXPECT_EQ(state.activated(mine, holdKey, t + 10s), Effect::holdStart);
    EXPECT_EQ(state.activated(mine, holdKey, t + 50s), Effect::none);
    EXPECT_EQ(state.expire(t + 69s), Effect::none);
    EXPECT_EQ(state.expire(t + 70s), Effect::holdEnd);
    EXPECT_EQ(state.deactivated(mine, holdKey, t + 90s), Effect::none);
    EXPECT_EQ(state.activated(mine, holdKey, t + 91s), Effect::holdStart);

    state.setSession(other); // forgets the hold
    EXPECT_FALSE(state.isHolding());

    // Shortcuts: every Activated is a press until the desktop sends Deactivated; then one before
    // the release is a repeat, until a lost release has outlasted the longest hold.
    State keys(holdKey, 60s);
    keys.setSession(mine);
    EXPECT_EQ(keys.activated(mine, recording, t), Effect::press);
    EXPECT_EQ(keys.activated(mine, recording, t + 1s), Effect::press);
    EXPECT_EQ(keys.deactivated(mine, recording, t + 2s), Effect::none);
    EXPECT_EQ(keys.activated(mine, recording, t + 3s), Effect::press);
    EXPECT_EQ(keys.activated(mine, recording, t + 4s), Effect::none);
    EXPECT_EQ(keys.activated(mine, "toggle-overlay", t + 4s), Effect::press);
    EXPECT_EQ(keys.activated(mine, recording, t + 62s), Effect::none);
    EXPECT_EQ(keys.activated(mine, recording, t + 63s), Effect::press);
}

TEST(PortalFormats, triggersInThePortalsFormatAndAsTheDesktopWritesThem) {
    EXPECT_EQ(portalTrigger({49, KeyCombo::command | KeyCombo::shift | KeyCombo::control}),
              "CTRL+SHIFT+LOGO+space");
    EXPECT_EQ(portalTrigger({87, KeyCombo::option}), "ALT+KP_5");
    EXPECT_EQ(portalTrigger({105, 0}), "F13");
    EXPECT_EQ(portalTrigger({52, KeyCombo::control}), ""); // a code without a key
    EXPECT_TRUE(sameTrigger("CTRL+ALT+s", "Alt+Control+S"));
    EXPECT_TRUE(sameTrigger("SHIFT+LOGO+space", "Meta+Shift+Space"));
    EXPECT_FALSE(sameTrigger("CTRL+ALT+s", "Ctrl+S"));
    EXPECT_FALSE(sameTrigger("CTRL+ALT+s", ""));
}

TEST(KeyboardChoice, eachSessionGetsWhatItOffersAndX11SessionsKeepX11) {
    const auto probe = [](const QString &offers) {
        const QStringList has = offers.split(' ');
        KeyboardProbe p;
        p.waylandSession = has.contains("wayland");
        p.x11 = has.contains("x11");
        p.virtualKeyboard = has.contains("keyboard");
        p.dataControl = has.contains("data");
        p.globalShortcutsPortal = has.contains("shortcuts") ? 1 : 0;
        p.remoteDesktopPortal = has.contains("remote") ? 2 : 0;
        p.remoteDesktopDevices = has.contains("pointer-only") ? 2 : 0;
        return p;
    };
    using C = KeyboardChoice;
    const C x11{C::Shortcuts::x11, C::Keystrokes::x11, C::Clipboard::qt};
    const C sway{C::Shortcuts::x11, C::Keystrokes::compositor, C::Clipboard::compositor};
    const C hyprland{C::Shortcuts::portal, C::Keystrokes::compositor, C::Clipboard::compositor};
    const C kwin{C::Shortcuts::portal, C::Keystrokes::portal, C::Clipboard::compositor};
    const C gnome48{C::Shortcuts::portal, C::Keystrokes::portal, C::Clipboard::qt};
    const C gnome43{C::Shortcuts::x11, C::Keystrokes::portal, C::Clipboard::qt};
    EXPECT_EQ(chooseKeyboard(probe("x11 shortcuts remote")), x11);
    EXPECT_EQ(chooseKeyboard(probe("wayland x11 keyboard data")), sway);
    EXPECT_EQ(chooseKeyboard(probe("wayland keyboard data shortcuts remote")), hyprland);
    EXPECT_EQ(chooseKeyboard(probe("wayland x11 data shortcuts remote")), kwin);
    EXPECT_EQ(chooseKeyboard(probe("wayland x11 shortcuts remote")), gnome48);
    EXPECT_EQ(chooseKeyboard(probe("wayland x11 remote")), gnome43);
    // A RemoteDesktop portal without a keyboard is no way to paste.
    EXPECT_EQ(chooseKeyboard(probe("wayland x11 remote pointer-only")), x11);
    // No clipboard to paste from, or nothing at all, and no X11: the
    // compositor's back ends say what they lack.
    EXPECT_EQ(chooseKeyboard(probe("wayland remote")), sway);
    EXPECT_EQ(chooseKeyboard(probe("wayland")), sway);
}

TEST(PortalDesktop, shortcutsAndTheHoldKeyBindOnceAndTheirSignalsActOnceForThisSessionOnly) {
    REQUIRE_PORTAL_DESKTOP();
    PortalDesktop &desktop = PortalDesktop::instance();
    const PortalProbe probe = probePortals();
    EXPECT_EQ(probe.unavailableReason, "");
    EXPECT_GE(probe.globalShortcuts, 1u);
    EXPECT_GE(probe.remoteDesktop, 1u);
    EXPECT_EQ(probe.remoteDesktopDevices, 1u);

    QTemporaryDir folder;
    auto preferences = std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));
    preferences->setBool("app.dictationModeEnabled", true);
    PortalKeyboard keyboard = openPortalKeyboard(probe, true, false, preferences);
    ASSERT_EQ(keyboard.unavailableReason, "");
    ASSERT_TRUE(keyboard.grabber && keyboard.makeHoldKeySource);
    HotkeyManager hotkeys(preferences, std::move(keyboard.grabber));
    int toggles = 0, autoCopies = 0;
    hotkeys.setActions({[&] { ++toggles; }, [&] { ++autoCopies; }, {}, {}, {}});
    hotkeys.start();
    DictationKeyMonitor monitor(keyboard.makeHoldKeySource(), [] { return defaultHoldKey; });
    int holds = 0, ends = 0;
    monitor.onHoldStart = [&] { ++holds; };
    monitor.onHoldEnd = [&] { ++ends; };
    ASSERT_TRUE(monitor.start());

    // One binding of all six, named as the settings window names them.
    const auto [session, shortcuts] = nextBinding(desktop);
    ASSERT_FALSE(session.isEmpty()) << desktop.log().toStdString();
    EXPECT_EQ(shortcuts, (QStringList{"hold-key\tHold Key\tControl_R",
                                      "toggle-recording\tToggle Recording\tCTRL+ALT+s",
                                      "toggle-auto-copy\tToggle Auto Copy\tCTRL+ALT+c",
                                      "toggle-auto-paste\tToggle Auto Paste\tCTRL+ALT+v",
                                      "toggle-overlay\tToggle Overlay\tCTRL+ALT+o",
                                      "toggle-focus-captions\tFocus captions\tCTRL+ALT+f"}));

    // Another client's session gets its own signals; this one ignores them.
    QString error;
    const std::shared_ptr<PortalConnection> otherConnection = PortalConnection::open(probe, &error);
    ASSERT_TRUE(otherConnection) << error.toStdString();
    GlobalShortcutsPortal otherClient(otherConnection);
    QSignalSpy otherPresses(&otherClient, &GlobalShortcutsPortal::pressed);
    otherClient.setShortcut({recording, "Another program's", "CTRL+ALT+s"});
    const QString otherSession = nextBinding(desktop).first;
    ASSERT_FALSE(otherSession.isEmpty());
    ASSERT_NE(otherSession, session);
    for (const char *signal : {"activate", "deactivate"})
        for (const QString &id : {recording, holdKey})
            desktop.send(QString("%1 %2 %3").arg(signal, otherSession, id));
    ASSERT_TRUE(waitUntil([&] { return otherPresses.count() == 1; }));
    sync(desktop, session, autoCopies);
    EXPECT_EQ(toggles, 0);
    EXPECT_EQ(holds + ends, 0);

    // A shortcut: one press, one action; its release, nothing.
    desktop.send("activate " + session + " toggle-recording");
    desktop.send("deactivate " + session + " toggle-recording");
    sync(desktop, session, autoCopies);
    EXPECT_EQ(toggles, 1);

    // Recording a shortcut mutes the shortcuts without binding again; the hold key stays live, its
    // press and release reach the monitor once each, repeats and duplicates change nothing.
    const qsizetype beforeSuspension = desktop.mark();
    hotkeys.setSuspended(true);
    desktop.send("activate " + session + " toggle-recording");
    desktop.send("deactivate " + session + " toggle-recording");
    desktop.send("activate " + session + " hold-key");
    ASSERT_TRUE(waitUntil([&] { return holds == 1; }));
    desktop.send("activate " + session + " hold-key");
    desktop.send("deactivate " + session + " hold-key");
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }));
    desktop.send("deactivate " + session + " hold-key");
    hotkeys.setSuspended(false);
    sync(desktop, session, autoCopies);
    EXPECT_EQ(std::tuple(toggles, holds, ends), std::tuple(1, 1, 1));
    EXPECT_EQ(desktop.linesSince(beforeSuspension, "bind"), QStringList());

    // A changed shortcut binds the set again; where the desktop binds
    // another key than asked, the log names it and where to change it.
    LogCapture log;
    desktop.send("trigger toggle-overlay Meta+O");
    hotkeys.setCombo(HotkeyAction::toggleOverlay, KeyCombo{40, KeyCombo::control});
    const auto [again, rebound] = nextBinding(desktop);
    EXPECT_EQ(again, session);
    EXPECT_EQ(rebound.value(4), "toggle-overlay\tToggle Overlay\tCTRL+k");
    ASSERT_TRUE(waitUntil([&] {
        return log.contains("The desktop bound Toggle Overlay to Meta+O, not CTRL+k: change it in "
                            "the desktop's keyboard shortcut settings");
    }));
    EXPECT_TRUE(log.contains("The desktop bound Toggle Recording to CTRL+ALT+s"));

    // The desktop ends the session during a hold: the hold ends, and the log says why.
    desktop.send("activate " + session + " hold-key");
    ASSERT_TRUE(waitUntil([&] { return holds == 2; }));
    desktop.send("close " + session);
    ASSERT_TRUE(waitUntil([&] { return ends == 2; }));
    EXPECT_TRUE(log.contains("Global shortcuts through the desktop portal unavailable: the desktop "
                             "ended Orvinta's shortcuts session (start Orvinta again to bind them "
                             "again)"));
    monitor.stop();
}

TEST(PortalDesktop, aPasteSendsControlVAsKeysymsOnceTheDesktopAllowsAndARefusalIsSaid) {
    REQUIRE_PORTAL_DESKTOP();
    PortalDesktop &desktop = PortalDesktop::instance();
    const PortalProbe probe = probePortals();
    QTemporaryDir folder;
    auto preferences = std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));
    {
        PortalKeyboard keyboard = openPortalKeyboard(probe, false, true, preferences);
        ASSERT_TRUE(keyboard.keystrokes && keyboard.waitForKeystrokes);
        // Until the desktop answers, the reason is its dialog.
        EXPECT_EQ(keyboard.keystrokes->unavailableReason(),
                  "the desktop has not yet allowed Orvinta to send the paste keystroke (answer "
                  "its remote control dialog)");
        EXPECT_FALSE(keyboard.keystrokes->sendPaste(PasteShortcut::ctrlV));
        ASSERT_TRUE(keyboard.waitForKeystrokes(10s)) << desktop.log().toStdString();
        const QString session = desktop.waitForLine("remote session ").mid(15);
        EXPECT_EQ(desktop.waitForLine("select devices"), "select devices 1");
        EXPECT_EQ(keyboard.keystrokes->unavailableReason(), "");

        const std::vector<std::pair<PasteShortcut, QString>> pastes{
            {PasteShortcut::ctrlV, "ffe3 down, 76 down, 76 up, ffe3 up"},
            {PasteShortcut::ctrlShiftV, "ffe3 down, ffe1 down, 76 down, 76 up, ffe1 up, ffe3 up"}};
        for (const auto &[shortcut, keysyms] : pastes) {
            const qsizetype from = desktop.mark();
            ASSERT_TRUE(keyboard.keystrokes->sendPaste(shortcut));
            ASSERT_FALSE(desktop.waitForLine("keysym 0xffe3 up").isEmpty());
            EXPECT_EQ(desktop.linesSince(from, "keysym").join(", ").remove("keysym 0x"), keysyms);
        }

        // The desktop ends the session (the user revoked it): said, and nothing sent.
        desktop.send("close " + session);
        ASSERT_TRUE(waitUntil([&] { return !keyboard.keystrokes->unavailableReason().isEmpty(); }));
        EXPECT_EQ(keyboard.keystrokes->unavailableReason(),
                  "the desktop ended Orvinta's remote control (start Orvinta again to allow the "
                  "paste keystroke)");
        EXPECT_FALSE(keyboard.keystrokes->sendPaste(PasteShortcut::ctrlV));
    }

    // The user says no: nothing is sent, and the reason says what to do.
    desktop.send("refuse");
    PortalKeyboard refused = openPortalKeyboard(probe, false, true, preferences);
    ASSERT_TRUE(refused.keystrokes);
    EXPECT_FALSE(refused.waitForKeystrokes(10s));
    EXPECT_EQ(refused.keystrokes->unavailableReason(),
              "the desktop did not allow Orvinta to send the paste keystroke (start Orvinta "
              "again to be asked again)");
    EXPECT_FALSE(refused.keystrokes->sendPaste(PasteShortcut::ctrlV));
}

TEST(PortalDesktop, dictateHoldsThroughTheShortcutsPortalAndPastesThroughRemoteDesktop) {
    REQUIRE_DISPLAY();
    REQUIRE_DICTATION_AUDIO();
    REQUIRE_PORTAL_DESKTOP();
    PortalDesktop &desktop = PortalDesktop::instance();

    // A Wayland session whose compositor offers neither a virtual keyboard
    // nor data control (GNOME's), with XWayland's clipboard.
    const PrivateHome home;
    QProcessEnvironment environment = home.environment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", desktop.address());
    environment.insert("WAYLAND_DISPLAY", home.folder.filePath("no-compositor"));
    // doctor names the portals' back ends without opening a session of its
    // own (no dialog), and asks for no bindings of the desktop.
    desktop.send("echo before doctor");
    ASSERT_FALSE(desktop.waitForLine("echo before doctor").isEmpty());
    const qsizetype beforeDoctor = desktop.mark();
    const QString report = runCli({"doctor"}, 30000, environment).output;
    for (const char *line : {"Global shortcuts: GlobalShortcuts portal (xdg-desktop-portal)\n",
                             "Hold-to-dictate: GlobalShortcuts portal, press and release\n",
                             "Paste at the cursor: RemoteDesktop portal keysyms (the desktop asks "
                             "once to allow them)\n",
                             "Clipboard: X11 clipboard through XWayland\n"})
        EXPECT_TRUE(report.contains(line)) << report.toStdString();
    EXPECT_FALSE(report.contains("orvinta-cli")) << report.toStdString();
    QProcess dictate;
    startCli(dictate, {"dictate", "--verbose"}, environment);
    QString log;
    const auto says = [&](const char *text) { return readErrorsUntil(dictate, text, log); };
    ASSERT_TRUE(says("Ready: hold Right Ctrl")) << log.toStdString();
    const auto [session, shortcuts] = nextBinding(desktop);
    ASSERT_EQ(shortcuts, QStringList{"hold-key\tHold Key\tControl_R"}) << log.toStdString();
    ASSERT_TRUE(says("The desktop lets Orvinta send the paste keystroke")) << log.toStdString();

    desktop.send("activate " + session + " hold-key");
    ASSERT_TRUE(says("[AppState] startDictation complete")) << log.toStdString();
    play("orvinta_mic_feed", {"0880"});
    desktop.send("deactivate " + session + " hold-key");
    ASSERT_TRUE(says("[AppState] Dictation stopped, pasted: true")) << log.toStdString();
    EXPECT_FALSE(desktop.waitForLine("keysym 0xffe3 up").isEmpty()); // keysyms: the paste test

    const CliResult stopped = interrupt(dictate, log);
    EXPECT_FALSE(stopped.crashed);
    EXPECT_EQ(stopped.exitCode, 0);
    EXPECT_TRUE(
        stopped.errors.contains("through the RemoteDesktop portal, the clipboard through X11"))
        << stopped.errors.toStdString();
    EXPECT_EQ(desktop.linesSince(beforeDoctor, "remote session").size(), 1);
}
