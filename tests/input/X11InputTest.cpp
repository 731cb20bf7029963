// The keyboard services against a real X server (Xvfb under ./test.sh):
// xdotool and XTest make real key events, and a second client holds the
// focus and receives the pastes. The key table meets the keys X and Qt report.

#include "InputTestSupport.h"

#include "x11/X11Connection.h"
#include "x11/X11KeyGrabber.h"
#include "x11/X11ModifierKeySource.h"
#include "x11/X11PasteKeystrokes.h"

#include <OrvintaInput/ClipboardPaster.h>
#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>

#include <OrvintaApp/KeyTable.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <set>

#include <signal.h>

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

/// Key presses as a keyboard makes them, into a focused window that keeps
/// what Qt reports, as the settings' fields receive them. Keys the keyboard
/// lacks go on a spare keycode, as another layout would have them; NumLock
/// and the spare keycode are reset at the end.
class TestKeyboard : public QWindow {
public:
    struct Press {
        int key;
        Qt::KeyboardModifiers modifiers;
        quint32 keysym;
    };

    TestKeyboard() {
        resize(200, 100);
        show();
        requestActivate();
        if (!m_display)
            return;
        int minCode = 0;
        int maxCode = 0;
        XDisplayKeycodes(m_display, &minCode, &maxCode);
        for (int code = maxCode; code >= minCode && m_spare == 0; --code) {
            int perCode = 0;
            KeySym *syms = XGetKeyboardMapping(m_display, static_cast<KeyCode>(code), 1, &perCode);
            bool empty = true;
            for (int i = 0; i < perCode; ++i)
                empty = empty && syms[i] == NoSymbol;
            XFree(syms);
            if (empty)
                m_spare = static_cast<KeyCode>(code);
        }
    }
    ~TestKeyboard() override {
        if (!m_display)
            return;
        useSpareFor(NoSymbol);
        setNumLock(false);
        XCloseDisplay(m_display);
    }
    bool isReady() {
        return m_spare != 0 && waitFor([&] { return isActive(); });
    }

    /// The keycode of `keysym`, on the spare keycode if the keyboard lacks it.
    KeyCode keycodeOf(KeySym keysym) {
        const KeyCode keycode = XKeysymToKeycode(m_display, keysym);
        return keycode != 0 ? keycode : useSpareFor(keysym);
    }
    /// Puts `keysym` alone on the spare keycode.
    KeyCode useSpareFor(KeySym keysym) {
        XChangeKeyboardMapping(m_display, m_spare, 1, &keysym, 1);
        XSync(m_display, False);
        return m_spare;
    }
    void setNumLock(bool on) {
        const unsigned int numLock = XkbKeysymToModifiers(m_display, XK_Num_Lock);
        XkbLockModifiers(m_display, XkbUseCoreKbd, numLock, on ? numLock : 0);
        XSync(m_display, False);
    }
    /// Presses and releases `keycode` (with Shift held), and what Qt reported.
    std::optional<Press> press(KeyCode keycode, bool shifted = false) {
        m_presses.clear();
        const KeyCode shift = XKeysymToKeycode(m_display, XK_Shift_L);
        if (shifted)
            XTestFakeKeyEvent(m_display, shift, True, CurrentTime);
        XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
        XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
        if (shifted)
            XTestFakeKeyEvent(m_display, shift, False, CurrentTime);
        XSync(m_display, False);
        std::optional<Press> found;
        waitFor([&] {
            for (const auto &[scanCode, press] : m_presses)
                if (scanCode == keycode)
                    found = press;
            return found.has_value();
        });
        return found;
    }
    Display *display() const { return m_display; }

protected:
    void keyPressEvent(QKeyEvent *event) override {
        m_presses.push_back({event->nativeScanCode(),
                             {event->key(), event->modifiers(), event->nativeVirtualKey()}});
    }

private:
    Display *m_display = XOpenDisplay(nullptr);
    KeyCode m_spare = 0;
    std::vector<std::pair<quint32, Press>> m_presses;
};

} // namespace

// One row per code, per X keysym and per Qt key, with X's own keysym names;
// and the key a shortcut grabs for each code, pressed as a keyboard does
// (with and without Shift and NumLock), is reported by Qt as a key that
// records the same code.
TEST(KeyTable, everyCodeRoundTripsThroughTheGrabbedKeyAndWhatQtReports) {
    std::set<std::uint16_t> codes;
    std::set<unsigned long> keysyms;
    std::set<int> qtKeys;
    for (const KeyRow &row : keyTable()) {
        EXPECT_TRUE(codes.insert(row.keyCode).second) << row.keyCode;
        const unsigned long keysym = referenceKeySym(row.keyCode);
        ASSERT_NE(keysym, static_cast<unsigned long>(NoSymbol)) << row.keysym;
        EXPECT_STREQ(XKeysymToString(keysym), row.keysym);
        EXPECT_TRUE(keysyms.insert(keysym).second) << row.keysym;
        for (QKeyCombination qt : {row.qtKey, row.otherQtKey}) {
            if (qt.key() == Qt::Key_unknown)
                continue;
            EXPECT_TRUE(qtKeys.insert(qt.toCombined()).second) << row.keysym;
            EXPECT_EQ(referenceKeyCode(qt.key(), qt.keyboardModifiers()), row.keyCode)
                << row.keysym;
        }
    }

    REQUIRE_DISPLAY();
    TestKeyboard keyboard;
    ASSERT_TRUE(keyboard.isReady());
    for (const KeyRow &row : keyTable()) {
        if (row.qtKey.key() == Qt::Key_unknown)
            continue;
        const KeyCode keycode = keyboard.keycodeOf(referenceKeySym(row.keyCode));
        // Keypad keys mean one thing with NumLock and another without.
        for (bool numLock : {false, true}) {
            keyboard.setNumLock(numLock);
            for (bool shifted : {false, true}) {
                const std::optional<TestKeyboard::Press> reported =
                    keyboard.press(keycode, shifted);
                ASSERT_TRUE(reported) << row.keysym;
                EXPECT_EQ(referenceKeyCode(reported->key, reported->modifiers), row.keyCode)
                    << row.keysym << (shifted ? " with Shift" : "")
                    << (numLock ? " with NumLock" : "") << ": Qt reported "
                    << QKeySequence(reported->key).toString().toStdString();
            }
        }
    }
}

// Each hold key the settings offer is one X knows by that name; pressed, the
// settings' field records it (Qt reports its keysym) and the hold-key monitor,
// started with the recorded name, sees it go down and up.
TEST(KeyTable, everyHoldKeyTheSettingsRecordIsOneTheMonitorSees) {
    std::set<QString> names;
    for (const HoldKey &key : holdKeys()) {
        EXPECT_EQ(XStringToKeysym(key.keysymName), key.keysym) << key.keysymName;
        EXPECT_STREQ(XKeysymToString(key.keysym), key.keysymName);
        EXPECT_TRUE(names.insert(holdKeyDisplayName(key.keysymName)).second) << key.displayName;
    }
    EXPECT_EQ(holdKeyDisplayName(defaultHoldKey), "Right Ctrl");

    REQUIRE_DISPLAY();
    TestKeyboard keyboard;
    ASSERT_TRUE(keyboard.isReady());
    auto connection = connect();
    ASSERT_TRUE(connection);
    X11ModifierKeySource source(connection, QString());
    std::uint64_t flags = 0;
    source.setFlagsHandler([&](std::uint64_t now) { flags = now; });
    for (const HoldKey &key : holdKeys()) {
        // Alone on a key of its own, as a keyboard may have it: the monitor
        // watches a key by its first symbol.
        const KeyCode keycode = keyboard.useSpareFor(key.keysym);
        const std::optional<TestKeyboard::Press> reported = keyboard.press(keycode);
        ASSERT_TRUE(reported) << key.keysymName;
        const HoldKey *recorded = holdKeyForKeysym(reported->keysym);
        ASSERT_EQ(recorded, &key) << key.keysymName;

        QString error;
        ASSERT_TRUE(source.start(QString::fromLatin1(recorded->keysymName), &error))
            << key.keysymName << ": " << error.toStdString();
        XTestFakeKeyEvent(keyboard.display(), keycode, True, CurrentTime);
        XSync(keyboard.display(), False);
        EXPECT_TRUE(waitFor([&] { return flags & ModifierKeySource::holdKeyFlag; }))
            << key.keysymName;
        XTestFakeKeyEvent(keyboard.display(), keycode, False, CurrentTime);
        XSync(keyboard.display(), False);
        EXPECT_TRUE(waitFor([&] { return !(flags & ModifierKeySource::holdKeyFlag); }))
            << key.keysymName;
        source.stop();
    }
}

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

TEST(X11Paste, aClipboardOwnerThatDoesNotAnswerKeepsItsClipboardAndNothingIsPasted) {
    REQUIRE_DISPLAY();
    PasteTarget target({"--clipboard", "before"});
    ASSERT_TRUE(target.waitUntilReady());
    Store store;
    auto connection = connect();
    ASSERT_TRUE(connection);
    ClipboardPaster paster(std::make_unique<X11PasteKeystrokes>(connection, QString()),
                           store.preferences);
    QSignalSpy pasted(&paster, &ClipboardPaster::pasted);
    QSignalSpy restored(&paster, &ClipboardPaster::restored);

    ::kill(static_cast<pid_t>(target.processId()), SIGSTOP);
    const QString failure = paster.pasteTextAtCursor("unpasted");
    ::kill(static_cast<pid_t>(target.processId()), SIGCONT);
    EXPECT_EQ(failure, "the clipboard did not answer");
    EXPECT_EQ(pasted.count(), 0);
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
    QTest::qWait(2 * ClipboardPaster::restoreDelay.count());
    EXPECT_EQ(restored.count(), 0);
    EXPECT_EQ(target.dumpClipboard().value("plain"), "before");
    EXPECT_FALSE(target.lines().contains("text: unpasted"));
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
