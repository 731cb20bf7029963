// The keyboard services against a real X server (Xvfb under ./test.sh):
// xdotool and XTest make real key events, and a second client holds the
// focus and receives the pastes.

#include "InputTestSupport.h"

#include "x11/X11Connection.h"
#include "x11/X11KeyGrabber.h"
#include "x11/X11ModifierKeySource.h"
#include "x11/X11PasteKeystrokes.h"

#include <OrvintaInput/ClipboardPaster.h>
#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>

#include <OrvintaApp/PreferencesStore.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace Orvinta;
using namespace Orvinta::InputTesting;

namespace {

std::shared_ptr<X11Connection> connect() {
    QString error;
    auto connection = X11Connection::open(&error);
    EXPECT_TRUE(connection) << error.toStdString();
    return connection;
}

struct Store {
    QTemporaryDir folder;
    std::shared_ptr<PreferencesStore> preferences =
        std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));
};

} // namespace

TEST(X11Shortcuts, aPressReachesItsActionAndACombinationHeldElsewhereFailsAlone) {
    REQUIRE_DISPLAY();
    PasteTarget target({});
    ASSERT_TRUE(target.waitUntilReady());

    // Another client holds ⌃⌥C.
    Display *other = XOpenDisplay(nullptr);
    ASSERT_TRUE(other);
    const KeyCode c = XKeysymToKeycode(other, XK_c);
    XGrabKey(other, c, ControlMask | Mod1Mask, DefaultRootWindow(other), False, GrabModeAsync,
             GrabModeAsync);
    XSync(other, False);

    Store store;
    auto connection = connect();
    ASSERT_TRUE(connection);
    HotkeyManager manager(store.preferences,
                          std::make_unique<X11KeyGrabber>(connection, QString()));
    int toggles = 0;
    int overlays = 0;
    manager.setActions({[&] { ++toggles; }, {}, {}, [&] { ++overlays; }});
    LogCapture log;
    manager.start();
    EXPECT_TRUE(log.contains("Failed to register hotkey 2: 10")) << log.all().toStdString();
    EXPECT_TRUE(manager.isRegistered(HotkeyAction::toggleListening));
    EXPECT_FALSE(manager.isRegistered(HotkeyAction::toggleAutoCopy));
    EXPECT_TRUE(manager.isRegistered(HotkeyAction::toggleAutoPaste));
    EXPECT_TRUE(manager.isRegistered(HotkeyAction::toggleOverlay));

    // ⌃⌥S typed while the other window has the focus, also with CapsLock on.
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+s"}));
    ASSERT_TRUE(waitFor([&] { return toggles == 1; }));
    ASSERT_TRUE(xdotool({"key", "Caps_Lock", "ctrl+alt+o", "Caps_Lock"}));
    ASSERT_TRUE(waitFor([&] { return overlays == 1; }));

    // Suspended, the keys reach the focused window instead.
    manager.setSuspended(true);
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+s", "x"}));
    ASSERT_TRUE(target.waitForLine("text: x"));
    EXPECT_EQ(toggles, 1);
    manager.setSuspended(false);
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+s"}));
    ASSERT_TRUE(waitFor([&] { return toggles == 2; }));

    XCloseDisplay(other);
}

TEST(X11HoldKey, aHoldStartsAndEndsOnceAndShiftCancelsIt) {
    REQUIRE_DISPLAY();
    auto connection = connect();
    ASSERT_TRUE(connection);
    DictationKeyMonitor monitor(std::make_unique<X11ModifierKeySource>(connection, QString()),
                                [] { return QStringLiteral("Control_R"); });
    int starts = 0;
    int ends = 0;
    monitor.onHoldStart = [&] { ++starts; };
    monitor.onHoldEnd = [&] { ++ends; };
    ASSERT_TRUE(monitor.start()) << monitor.lastError().toStdString();

    ASSERT_TRUE(fakeKey("Control_R", true));
    ASSERT_TRUE(waitFor([&] { return starts == 1; }));
    ASSERT_TRUE(fakeKey("Control_R", false));
    ASSERT_TRUE(waitFor([&] { return ends == 1; }));

    // Shift during the hold ends it at once; the release ends nothing more.
    ASSERT_TRUE(fakeKey("Control_R", true));
    ASSERT_TRUE(waitFor([&] { return starts == 2; }));
    ASSERT_TRUE(fakeKey("Shift_L", true));
    ASSERT_TRUE(waitFor([&] { return ends == 2; }));
    ASSERT_TRUE(fakeKey("Shift_L", false));
    ASSERT_TRUE(fakeKey("Control_R", false));
    // The next full hold proves the release above was seen and ended nothing.
    ASSERT_TRUE(fakeKey("Control_R", true));
    ASSERT_TRUE(waitFor([&] { return starts == 3; }));
    ASSERT_TRUE(fakeKey("Control_R", false));
    ASSERT_TRUE(waitFor([&] { return ends == 3; }));
    EXPECT_EQ(starts, 3);

    // The left Control key is a modifier, not the hold key: pressed first,
    // the hold starts only once it is up again.
    ASSERT_TRUE(fakeKey("Control_L", true));
    ASSERT_TRUE(fakeKey("Control_R", true));
    ASSERT_TRUE(fakeKey("Control_L", false));
    ASSERT_TRUE(waitFor([&] { return starts == 4; }));
    ASSERT_TRUE(fakeKey("Control_R", false));
    ASSERT_TRUE(waitFor([&] { return ends == 4; }));

    // An unknown hold key is refused with a reason.
    DictationKeyMonitor bad(std::make_unique<X11ModifierKeySource>(connection, QString()),
                            [] { return QStringLiteral("NoSuchKey"); });
    EXPECT_FALSE(bad.start());
    EXPECT_TRUE(bad.lastError().contains("NoSuchKey"));
}

TEST(X11Paste, textReachesAnotherClientAndEveryClipboardFormatComesBack) {
    REQUIRE_DISPLAY();
    // The other client owns a clipboard with text, rich text, an image and a file.
    PasteTarget target({"--clipboard", "rich"});
    ASSERT_TRUE(target.waitUntilReady());
    Store store;
    auto connection = connect();
    ASSERT_TRUE(connection);
    ClipboardPaster paster(std::make_unique<X11PasteKeystrokes>(connection, QString()),
                           store.preferences);
    ASSERT_TRUE(paster.isAvailable());
    QSignalSpy restored(&paster, &ClipboardPaster::restored);

    paster.pasteTextAtCursor("Hello from Orvinta");
    ASSERT_TRUE(target.waitForLine("key: ctrl+v"));
    ASSERT_TRUE(target.waitForLine("text: Hello from Orvinta"));
    ASSERT_TRUE(waitFor([&] { return restored.count() == 1; }));
    // The target learns of the new owner asynchronously; until then it asks
    // for the formats of the pasted text only.
    QMap<QString, QString> clipboard;
    waitFor([&] {
        clipboard = target.dumpClipboard();
        return clipboard.value("formats").contains("text/html");
    });
    EXPECT_EQ(clipboard.value("plain"), "before");
    EXPECT_EQ(clipboard.value("html"), "<b>before</b>");
    EXPECT_EQ(clipboard.value("image"), "4x3");
    EXPECT_EQ(clipboard.value("urls"), "file:///tmp/orvinta-test-file.txt");

    // With auto-copy on, the text stays on the clipboard.
    store.preferences->setBool("app.autoCopyToClipboard", true);
    target.send("clear");
    ASSERT_TRUE(target.waitForLine("text: "));
    paster.pasteTextAtCursor("kept");
    ASSERT_TRUE(target.waitForLine("text: kept")) << target.lines().join('\n').toStdString();
    EXPECT_EQ(target.dumpClipboard().value("plain"), "kept");
    EXPECT_EQ(restored.count(), 1);

    // With an empty clipboard before, it is empty again after.
    store.preferences->setBool("app.autoCopyToClipboard", false);
    QGuiApplication::clipboard()->clear();
    target.send("clear");
    ASSERT_TRUE(target.waitForLine("text: "));
    paster.pasteTextAtCursor("once");
    ASSERT_TRUE(target.waitForLine("text: once"));
    ASSERT_TRUE(waitFor([&] { return restored.count() == 2; }));
    EXPECT_EQ(target.dumpClipboard().value("formats"), "");
}

TEST(X11Paste, aTerminalGetsCtrlShiftVUnlessThePreferenceSaysCtrlV) {
    REQUIRE_DISPLAY();
    PasteTarget terminal({"--terminal", "--clipboard", "before"});
    ASSERT_TRUE(terminal.waitUntilReady());
    Store store;
    auto connection = connect();
    ASSERT_TRUE(connection);
    auto keystrokes = std::make_unique<X11PasteKeystrokes>(connection, QString());
    EXPECT_EQ(keystrokes->focusedWindowClass(), (QStringList{"xterm", "XTerm"}));
    ClipboardPaster paster(std::move(keystrokes), store.preferences);
    QSignalSpy restored(&paster, &ClipboardPaster::restored);

    paster.pasteTextAtCursor("ls -l");
    ASSERT_TRUE(terminal.waitForLine("key: ctrl+shift+v"));
    ASSERT_TRUE(terminal.waitForLine("text: ls -l"));
    ASSERT_TRUE(waitFor([&] { return restored.count() == 1; }));
    EXPECT_EQ(terminal.dumpClipboard().value("plain"), "before");

    // Two pastes close together bring back the user's content, not the first paste's text.
    paster.pasteTextAtCursor(" a");
    paster.pasteTextAtCursor(" b");
    ASSERT_TRUE(waitFor([&] { return restored.count() == 2; }));
    EXPECT_EQ(terminal.dumpClipboard().value("plain"), "before");

    store.preferences->setString("app.pasteShortcut", "ctrl-v");
    paster.pasteTextAtCursor("pwd");
    ASSERT_TRUE(terminal.waitForLine("key: ctrl+v"));
    ASSERT_TRUE(waitFor([&] { return restored.count() == 3; }, std::chrono::seconds(10)));
    EXPECT_TRUE(terminal.lastText().startsWith("ls -l")) << terminal.lastText().toStdString();
    EXPECT_FALSE(terminal.lastText().contains("pwd"));
}
