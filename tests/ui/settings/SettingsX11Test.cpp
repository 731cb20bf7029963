// The real settings window on an X server: it comes to the front with the input focus, its
// shortcut fields record real key presses (xdotool) into the real shortcut service and say why
// one another program holds does not work; and what the desktop offers is probed.

#include "DesktopBackends.h"
#include "SettingsTestSupport.h"

#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaEngine/MainThread.h>
#include <OrvintaUi/CapabilitiesModel.h>
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

/// The scrolling form around `item`; null outside one.
QQuickItem *formOf(QQuickItem *item) {
    QQuickItem *view = item->parentItem();
    while (view && !view->property("contentY").isValid())
        view = view->parentItem();
    return view;
}

/// Whether `item` lies wholly inside the part of its form that shows.
bool inView(QQuickItem *item) {
    QQuickItem *view = formOf(item);
    const QRectF box = view ? item->mapRectToItem(view, item->boundingRect()) : QRectF();
    return !view || (box.top() >= 0 && box.bottom() <= view->height());
}

} // namespace

TEST(SettingsWindowX11, openingTwiceRaisesTheSameWindowAndRecordsAShortcutFromRealKeys) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    X11Settings s;
    int overlayToggles = 0;
    s.hotkeys->setActions({{}, {}, {}, [&] { ++overlayToggles; }, {}});
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
    other.kill(), other.waitForFinished(5000);

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
    EXPECT_TRUE(s.hotkeys->isRegistered(HotkeyAction::toggleOverlay));
    // It works from anywhere right away (stored too: HotkeyManager's tests).
    xdotool({"key", "alt+super+k"});
    EXPECT_TRUE(waitUntil([&] { return overlayToggles == 1; }));
}

TEST(SettingsWindowX11, aShortcutAnotherProgramHoldsSaysWhyAndTheDesktopsCapabilitiesAreProbed) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    // Another program, on its own X connection, holds the four shortcuts first.
    QTemporaryDir home;
    AppServices other;
    other.preferences = std::make_shared<PreferencesStore>(home.filePath("Orvinta.conf"));
    DesktopBackends::addKeyboard(other);
    other.hotkeys->start();
    X11Settings s;
    ASSERT_TRUE(s.controller->show());
    QQuickWindow *window = s.controller->window();
    ShortcutRecorderModel &field = *s.recorders[1];
    const QString refused =
        QStringLiteral("Ctrl+Alt+C does not work: another program already uses this shortcut");
    EXPECT_EQ(field.failureText(), refused);
    EXPECT_TRUE(waitUntil([&] { return visibleTexts(window).contains(refused); }));
    // A combination of its own works, and the field says nothing more.
    field.toggleRecording();
    field.handleKeyPress(Qt::Key_K, int(Qt::AltModifier | Qt::MetaModifier));
    EXPECT_TRUE(s.hotkeys->isRegistered(HotkeyAction::toggleAutoCopy));
    EXPECT_EQ(field.failureText(), "");
    EXPECT_EQ(s.recorders[0]->failureText(),
              "Ctrl+Alt+S does not work: another program already uses this shortcut");

    // What works here: this X server and the test sound server with its microphone.
    const QByteArray session = qgetenv("XDG_SESSION_TYPE");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    qputenv("XDG_SESSION_TYPE", "x11");
    qunsetenv("WAYLAND_DISPLAY");
    AppServices desktop;
    desktop.preferences = other.preferences;
    desktop.audio = DesktopBackends::audioCapture();
    const DesktopBackends::KeyboardStatus keyboard = DesktopBackends::addKeyboard(desktop);
    DesktopCapabilities x11 = DesktopBackends::probe(desktop, keyboard);
    EXPECT_FALSE(x11.isWayland());
    EXPECT_EQ(x11.paste, DesktopCapabilities::PasteBackend::xtest);
    // The sound server as the application's device list learns it, off the main thread.
    AudioDeviceList devices(desktop.audio, std::make_shared<SerialWorker>("test-sound"));
    run(devices.refresh());
    x11.readSoundServer(devices);
    const QStringList here = capabilityLines(CapabilitiesModel(x11));
    for (const char *works :
         {"Session", "Global shortcuts", "Hold-to-dictate", "Paste at the cursor", "Clipboard",
          "Overlay on top", "System audio", "Microphone"})
        EXPECT_TRUE(here.contains(QString(works) + ": works")) << here.join('\n').toStdString();
    // A Wayland session whose compositor offers no virtual keyboard (GNOME):
    // XTest reaches X11 apps only, and the keys need the desktop's bindings.
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    const DesktopCapabilities onWayland = DesktopBackends::probe(desktop, keyboard);
    qunsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_TRUE(onWayland.isWayland());
    const QStringList there = capabilityLines(CapabilitiesModel(onWayland));
    EXPECT_TRUE(there.contains(QString::fromUtf8(
        "Paste at the cursor: unavailable: GNOME offers no virtual keyboard, and XTest's Ctrl+V "
        "reaches X11 apps only — in other apps dictated text then stays on the clipboard: press "
        "Ctrl+V yourself")))
        << there.join('\n').toStdString();
    EXPECT_TRUE(there.contains("Overlay on top: works"));
    EXPECT_EQ(onWayland.setupLines().lines.value(0), "Ctrl+Alt+D: orvinta-cli toggle dictation");
    qputenv("XDG_SESSION_TYPE", session);
    wayland.isEmpty() ? qunsetenv("WAYLAND_DISPLAY") : qputenv("WAYLAND_DISPLAY", wayland);
}

TEST(SettingsWindowX11, everyPageIsWalkedByKeyboardWithTheFocusInViewAndEscapeCloses) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    X11Settings s;
    ASSERT_TRUE(s.controller->show());
    QQuickWindow *window = s.controller->window();
    ASSERT_TRUE(
        waitUntil([&] { return window->isExposed() && inputFocus() == window->winId(); }, 10s));
    const auto press = [&](const QString &keys) {
        const QString before = focusedName(window);
        pressKeys(keys);
        waitUntil([&] { return focusedName(window) != before; }, 500ms);
        return focusedName(window);
    };

    // The sidebar has the keyboard first; Down goes to the next page, Tab through its controls
    // (each at least 24 × 24, scrolled into view) and back to the sidebar.
    const std::vector<std::pair<QString, QStringList>> pages = {
        {"General",
         {"Launch at Login", "Source Language", "Target Language", "Play sounds on start/stop",
          "Auto-copy new transcriptions", "Auto-paste at cursor position",
          "Hold Right Ctrl key to dictate", "Hold Key: Right Ctrl", "Read new captions aloud",
          "Toggle Recording: Ctrl+Alt+S", "Toggle Auto Copy: Ctrl+Alt+C",
          "Toggle Auto Paste: Ctrl+Alt+V", "Toggle Overlay: Ctrl+Alt+O",
          "Focus captions: Ctrl+Alt+F"}},
        {"Appearance",
         {"Style", "Text Colour", "Background", "Background Opacity", "Font Size", "Font", "Edges",
          "Compact captions", "Window Opacity", "Position", "Always on top",
          "Hide overlay when idle"}},
        {"Update", {"Automatically check for updates", "Check for Updates..."}},
        {"What Works Here", {}},
        {"About", {"Website", "Contact Support"}}};
    ASSERT_TRUE(waitUntil([&] { return focusedName(window) == "General"; }));
    bool scrolled = false;
    for (const auto &[page, controls] : pages) {
        if (page != "General") {
            ASSERT_EQ(press("Down"), page);
        }
        for (const QString &control : controls) {
            ASSERT_EQ(press("Tab"), control) << page.toStdString();
            QQuickItem *item = window->activeFocusItem();
            EXPECT_GE(std::min(item->width(), item->height()), 24) << control.toStdString();
            EXPECT_TRUE(waitUntil([&] { return inView(item); }, 1s)) << control.toStdString();
            scrolled = scrolled || formOf(item)->property("contentY").toReal() > 0;
        }
        EXPECT_EQ(press("Tab"), page) << "Tab comes round to the sidebar";
    }
    EXPECT_TRUE(scrolled) << "the General page is taller than the window";
    EXPECT_EQ(press("Up"), "What Works Here");
    EXPECT_EQ(press("Down"), "About");
    EXPECT_EQ(press("Tab"), "Website");
    EXPECT_EQ(press("ctrl+Tab"), "About") << "Ctrl+Tab comes back from a page";

    // A shortcut field: Enter records, Escape cancels and leaves the keyboard on it.
    for (int i = 0; i < 4; ++i)
        press("Up");
    ASSERT_EQ(focusedName(window), "General");
    while (focusedName(window) != "Focus captions: Ctrl+Alt+F" && press("Tab") != "General") {
    }
    ASSERT_EQ(focusedName(window), "Focus captions: Ctrl+Alt+F");
    ShortcutRecorderModel &field = *s.recorders[4];
    pressKeys("Return");
    ASSERT_TRUE(waitUntil([&] { return field.isRecording(); }));
    pressKeys("Escape");
    ASSERT_TRUE(waitUntil([&] { return !field.isRecording(); }));
    EXPECT_EQ(focusedName(window), "Focus captions: Ctrl+Alt+F");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(s.hotkeys->combo(HotkeyAction::focusCaptions),
              defaultCombo(HotkeyAction::focusCaptions));

    pressKeys("Escape");
    EXPECT_TRUE(waitUntil([&] { return !window->isVisible(); }));
}
