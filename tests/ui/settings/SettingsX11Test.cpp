// The real settings window on an X server: it comes to the front with the
// X input focus, and its shortcut fields record real key presses (sent
// through XTest by xdotool) into the real shortcut service.

#include "DesktopBackends.h"
#include "SettingsTestSupport.h"

#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/UpdaterManager.h>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

struct X11Settings : SettingsWindowFixture {
    X11Settings() {
        AppServices keyboard;
        keyboard.preferences = f.preferences;
        DesktopBackends::addKeyboard(keyboard);
        hotkeys = keyboard.hotkeys;
        trusted = true;
        SettingsServices services;
        services.displayVersion = AppVersion::displayVersion();
        make(services, &updater);
    }
    ~X11Settings() { controller.reset(); }
    UpdaterManager updater{f.preferences};
};

void pressKeys(const QString &keys) {
    xdotool({"key", "--clearmodifiers", keys});
}

} // namespace

TEST(SettingsWindowX11, openingTwiceRaisesTheSameWindowAndRecordsAShortcutFromRealKeys) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    X11Settings s;
    int overlayToggles = 0;
    s.hotkeys->setActions({{}, {}, {}, [&] { ++overlayToggles; }});
    s.hotkeys->start();
    ASSERT_TRUE(s.controller->show());
    QQuickWindow *window = s.controller->window();
    ASSERT_TRUE(
        waitUntil([&] { return window->isExposed() && inputFocus() == window->winId(); }, 10s))
        << "the first show() takes the X input focus";

    // Another program takes the focus.
    QProcess other;
    other.start("xmessage", {"-name", "orvinta-focus-thief", "another program"});
    ASSERT_TRUE(other.waitForStarted(5000));
    const QString thief =
        xdotool({"search", "--sync", "--classname", "orvinta-focus-thief"}).section('\n', 0, 0);
    ASSERT_FALSE(thief.isEmpty());
    xdotool({"windowfocus", "--sync", thief});
    EXPECT_TRUE(waitUntil([&] { return inputFocus() == thief.toULongLong(); }));

    ASSERT_TRUE(s.controller->show());
    EXPECT_EQ(s.controller->window(), window) << "one window, not a second";
    EXPECT_TRUE(waitUntil([&] { return inputFocus() == window->winId(); }, 10s))
        << "the settings window has the X input focus again";
    other.kill();
    other.waitForFinished(5000);

    QQuickItem *field = s.shortcutRow("Toggle Overlay")->property("field").value<QQuickItem *>();
    ASSERT_NE(field, nullptr);
    ShortcutRecorderModel &model = *s.recorders[3];
    const KeyCombo before = s.hotkeys->combo(HotkeyAction::toggleOverlay);

    // Escape cancels; a letter alone keeps the field waiting; the shortcut's
    // own combination is recorded instead of firing, since shortcuts are suspended.
    QMetaObject::invokeMethod(field, "clicked");
    ASSERT_TRUE(model.isRecording());
    pressKeys("shift+Escape");
    EXPECT_TRUE(waitUntil([&] { return !model.isRecording(); }));
    QMetaObject::invokeMethod(field, "clicked");
    pressKeys("k");
    pressKeys("ctrl+alt+o");
    EXPECT_TRUE(waitUntil([&] { return !model.isRecording(); }));
    EXPECT_EQ(overlayToggles, 0);
    EXPECT_EQ(s.hotkeys->combo(HotkeyAction::toggleOverlay), before) << "k was not recorded";

    // Super+Alt+K: key code 40 with option and command, registered at once.
    QMetaObject::invokeMethod(field, "clicked");
    pressKeys("alt+super+k");
    EXPECT_TRUE(waitUntil([&] { return !model.isRecording(); }));
    EXPECT_EQ(s.hotkeys->combo(HotkeyAction::toggleOverlay), (KeyCombo{40, 0x180000}));
    EXPECT_EQ(model.displayText(), QString::fromUtf8("Super+Alt+K"));
    EXPECT_TRUE(s.hotkeys->isRegistered(HotkeyAction::toggleOverlay));
    // It works from anywhere right away (stored too: HotkeyManager's tests).
    xdotool({"key", "alt+super+k"});
    EXPECT_TRUE(waitUntil([&] { return overlayToggles == 1; }));
}
