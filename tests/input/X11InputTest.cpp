// The keyboard services against a real X server: xdotool and XTest make real
// key events, and a second client holds the focus and receives the pastes.

#include "CliProcess.h"
#include "InputTestSupport.h"

#include "x11/X11Connection.h"
#include "x11/X11KeyGrabber.h"
#include "x11/X11ModifierKeySource.h"
#include "x11/X11PasteKeystrokes.h"

#include <OrvintaInput/ClipboardPaster.h>
#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>

#include <OrvintaApp/KeyTable.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWindow>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

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

/// The paste target client started with `options`, a paster into it, and their preferences.
struct Paste {
    explicit Paste(const QStringList &options)
        : target(options) {}
    QTemporaryDir folder;
    std::shared_ptr<PreferencesStore> preferences =
        std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));
    PasteTarget target;
    ClipboardPaster paster{std::make_unique<X11PasteKeystrokes>(connect(), QString()), preferences};
    QSignalSpy restored{&paster, &ClipboardPaster::restored};
};

/// A focused window that keeps what Qt reports of each key press XTest makes.
/// Keys the keyboard lacks go on a spare keycode, as another layout has them.
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
        int first = 0, last = 0, perCode = 0;
        XDisplayKeycodes(m_display, &first, &last);
        KeySym *syms = XGetKeyboardMapping(m_display, KeyCode(first), last - first + 1, &perCode);
        for (int code = last; code >= first && m_spare == 0; --code)
            if (std::all_of(syms + (code - first) * perCode, syms + (code - first + 1) * perCode,
                            [](KeySym sym) { return sym == NoSymbol; }))
                m_spare = KeyCode(code);
        XFree(syms);
    }
    ~TestKeyboard() override {
        useSpareFor(NoSymbol);
        setNumLock(false);
        XCloseDisplay(m_display);
    }
    bool isReady() {
        return m_spare != 0 && waitUntil([&] { return isActive(); });
    }
    /// The keycode of `keysym`: the keyboard's, or the spare one.
    KeyCode keycodeOf(KeySym keysym) {
        const KeyCode keycode = XKeysymToKeycode(m_display, keysym);
        return keycode ? keycode : useSpareFor(keysym);
    }
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
    /// Presses and releases `keycode` (with Shift held); what Qt reported.
    std::optional<Press> press(KeyCode keycode, bool shifted = false) {
        m_presses.erase(keycode);
        if (shifted)
            fakeKey("Shift_L", true);
        XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
        XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
        XSync(m_display, False);
        if (shifted)
            fakeKey("Shift_L", false);
        if (!waitUntil([&] { return m_presses.contains(keycode); }))
            return std::nullopt;
        return m_presses.at(keycode);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override {
        m_presses[event->nativeScanCode()] = {event->key(), event->modifiers(),
                                              event->nativeVirtualKey()};
    }

private:
    Display *m_display = XOpenDisplay(nullptr);
    KeyCode m_spare = 0;
    std::map<quint32, Press> m_presses;
};

} // namespace

// One row per code, X keysym and Qt key; each key, with and without Shift and NumLock, reaches Qt
// as one that records its code; the monitor sees each hold key the settings offer by its name.
TEST(KeyTable, everyCodeRoundTripsAndEveryHoldKeyIsOneTheMonitorSees) {
    std::set<std::uint16_t> codes;
    std::set<unsigned long> keysyms;
    std::set<int> qtKeys;
    for (const KeyRow &row : keyTable()) {
        EXPECT_TRUE(codes.insert(row.keyCode).second) << row.keyCode;
        const unsigned long keysym = referenceKeySym(row.keyCode);
        EXPECT_STREQ(XKeysymToString(keysym), row.keysym);
        EXPECT_TRUE(keysyms.insert(keysym).second) << row.keysym;
        for (QKeyCombination qt : {row.qtKey, row.otherQtKey})
            if (qt.key() != Qt::Key_unknown) {
                EXPECT_TRUE(qtKeys.insert(qt.toCombined()).second) << row.keysym;
                EXPECT_EQ(referenceKeyCode(qt.key(), qt.keyboardModifiers()), row.keyCode)
                    << row.keysym;
            }
    }

    std::set<QString> names;
    for (const HoldKey &key : holdKeys()) {
        EXPECT_EQ(XStringToKeysym(key.keysymName), key.keysym) << key.keysymName;
        EXPECT_STREQ(XKeysymToString(key.keysym), key.keysymName);
        EXPECT_TRUE(names.insert(holdKeyDisplayName(key.keysymName)).second) << key.displayName;
    }

    REQUIRE_DISPLAY();
    TestKeyboard keyboard;
    ASSERT_TRUE(keyboard.isReady());
    for (const KeyRow &row : keyTable()) {
        const KeyCode keycode = keyboard.keycodeOf(referenceKeySym(row.keyCode));
        // Keypad keys mean one thing with NumLock and another without.
        for (int variant = 0; variant < 4 && row.qtKey.key() != Qt::Key_unknown; ++variant) {
            keyboard.setNumLock(variant & 2);
            const auto reported = keyboard.press(keycode, variant & 1);
            ASSERT_TRUE(reported) << row.keysym;
            EXPECT_EQ(referenceKeyCode(reported->key, reported->modifiers), row.keyCode)
                << row.keysym << ((variant & 1) ? " with Shift" : "")
                << ((variant & 2) ? " with NumLock" : "") << ": Qt reported "
                << QKeySequence(reported->key).toString().toStdString();
        }
    }

    keyboard.setNumLock(false);
    X11ModifierKeySource source(connect(), QString());
    bool down = false, up = false;
    source.setFlagsHandler([&](std::uint64_t flags) {
        if (flags & ModifierKeySource::holdKeyFlag)
            down = true;
        else if (down)
            up = true;
    });
    for (const HoldKey &key : holdKeys()) {
        // Alone on a key of its own, as a keyboard may have it: the monitor
        // watches a key by its first symbol.
        const KeyCode keycode = keyboard.useSpareFor(key.keysym);
        const auto reported = keyboard.press(keycode);
        ASSERT_TRUE(reported) << key.keysymName;
        ASSERT_EQ(holdKeyForKeysym(reported->keysym), &key) << key.keysymName;
        QString error;
        ASSERT_TRUE(source.start(QString::fromLatin1(key.keysymName), &error))
            << key.keysymName << ": " << error.toStdString();
        down = up = false;
        keyboard.press(keycode);
        EXPECT_TRUE(waitUntil([&] { return down && up; })) << key.keysymName;
        source.stop();
    }
}

TEST(X11Shortcuts, aPressReachesItsActionAlsoWithCapsLockAndNotWhileSuspended) {
    REQUIRE_DISPLAY();
    Paste p({});
    ASSERT_TRUE(p.target.waitUntilReady());
    HotkeyManager manager(p.preferences, std::make_unique<X11KeyGrabber>(connect(), QString()));
    int toggles = 0, overlays = 0;
    manager.setActions({[&] { ++toggles; }, {}, {}, [&] { ++overlays; }, {}});
    manager.start();

    // Ctrl+Alt+S typed while the other window has the focus, also with CapsLock on.
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+s"}));
    ASSERT_TRUE(waitUntil([&] { return toggles == 1; }));
    ASSERT_TRUE(xdotool({"key", "Caps_Lock", "ctrl+alt+o", "Caps_Lock"}));
    ASSERT_TRUE(waitUntil([&] { return overlays == 1; }));

    // Suspended, the keys reach the focused window instead.
    manager.setSuspended(true);
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+s", "x"}));
    ASSERT_TRUE(p.target.waitForLine("text: x"));
    EXPECT_EQ(toggles, 1);
    manager.setSuspended(false);
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+s"}));
    ASSERT_TRUE(waitUntil([&] { return toggles == 2; }));

    // Held past the key repeat delay, a shortcut acts once; pressed again,
    // once more. XTest's keys repeat as a keyboard's do.
    Display *keyboard = XOpenDisplay(nullptr);
    unsigned int delay = 0, interval = 0;
    XkbGetAutoRepeatRate(keyboard, XkbUseCoreKbd, &delay, &interval);
    XkbSetAutoRepeatRate(keyboard, XkbUseCoreKbd, 200, 30);
    XSync(keyboard, False);
    for (int press = 1; press <= 2; ++press) {
        for (const char *key : {"Control_L", "Alt_L", "o"})
            EXPECT_TRUE(fakeKey(key, true));
        spin(std::chrono::milliseconds(600));
        for (const char *key : {"o", "Alt_L", "Control_L"})
            EXPECT_TRUE(fakeKey(key, false));
        spin(std::chrono::milliseconds(100));
        EXPECT_EQ(overlays, press + 1);
    }
    XkbSetAutoRepeatRate(keyboard, XkbUseCoreKbd, delay, interval);
    XCloseDisplay(keyboard);
}

// (Other keys and buttons during a hold, from the real source: DictationEndToEnd.)
TEST(X11HoldKey, aHoldStartsAndEndsOnceShiftEndsItAndLeftControlIsAModifier) {
    REQUIRE_DISPLAY();
    auto connection = connect();
    DictationKeyMonitor monitor(std::make_unique<X11ModifierKeySource>(connection, QString()),
                                [] { return QStringLiteral("Control_R"); });
    int starts = 0, ends = 0;
    monitor.onHoldStart = [&] { ++starts; };
    monitor.onHoldEnd = [&] { ++ends; };
    ASSERT_TRUE(monitor.start()) << monitor.lastError().toStdString();
    // Presses or releases exactly that key; then the holds started and ended are these.
    const auto key = [&](const char *name, bool down, int started, int ended) {
        ASSERT_TRUE(fakeKey(name, down));
        EXPECT_TRUE(waitUntil([&] { return starts == started && ends == ended; }))
            << name << (down ? " down: " : " up: ") << starts << " started, " << ends << " ended";
    };
    key("Control_R", true, 1, 0), key("Control_R", false, 1, 1);
    // Shift during the hold ends it at once; the release ends nothing more,
    // and the next hold shows that the release was seen.
    key("Control_R", true, 2, 1), key("Shift_L", true, 2, 2), key("Shift_L", false, 2, 2);
    key("Control_R", false, 2, 2), key("Control_R", true, 3, 2), key("Control_R", false, 3, 3);
    // Left Control is a modifier: pressed first, the hold starts once it is up.
    key("Control_L", true, 3, 3), key("Control_R", true, 3, 3);
    key("Control_L", false, 4, 3), key("Control_R", false, 4, 4);

    DictationKeyMonitor bad(std::make_unique<X11ModifierKeySource>(connection, QString()),
                            [] { return QStringLiteral("NoSuchKey"); });
    EXPECT_FALSE(bad.start());
    EXPECT_TRUE(bad.lastError().contains("NoSuchKey"));
}

// orvinta-cli paste goes through the application's paster; what it puts
// back, in every format, stays on the clipboard after it has ended.
TEST(X11Paste, textReachesAnotherClientAndEveryClipboardFormatComesBackAlsoAfterTheCliEnded) {
    REQUIRE_DISPLAY();
    // The other client owns a clipboard with text, rich text, an image and a file.
    Paste p({"--clipboard", "rich"});
    ASSERT_TRUE(p.target.waitUntilReady());
    ASSERT_TRUE(p.paster.isAvailable());
    const OrvintaTest::PrivateHome home;
    QProcessEnvironment environment = home.environment();
    environment.remove("WAYLAND_DISPLAY");
    const auto cli = OrvintaTest::runCli({"paste", "from", "the", "cli"}, 20000, environment);
    EXPECT_EQ(cli.exitCode, 0) << cli.errors.toStdString();
    ASSERT_TRUE(p.target.waitForLine("key: ctrl+v"));
    ASSERT_TRUE(p.target.waitForLine("text: from the cli"));
    // The target learns of the new owner asynchronously; until then it asks
    // for the formats of the pasted text only.
    QMap<QString, QString> clipboard;
    waitUntil([&] {
        clipboard = p.target.dumpClipboard();
        return clipboard.value("formats").contains("text/html");
    });
    EXPECT_EQ(clipboard.value("plain"), "before");
    EXPECT_EQ(clipboard.value("html"), "<b>before</b>");
    EXPECT_EQ(clipboard.value("image"), "4x3");
    EXPECT_EQ(clipboard.value("urls"), "file:///tmp/orvinta-test-file.txt");

    // With auto-copy on, the text stays on the clipboard.
    p.preferences->setBool("app.autoCopyToClipboard", true);
    p.target.send("clear");
    ASSERT_TRUE(p.target.waitForLine("text: "));
    p.paster.pasteTextAtCursor("kept");
    ASSERT_TRUE(p.target.waitForLine("text: kept")) << p.target.lastText().toStdString();
    EXPECT_EQ(p.target.dumpClipboard().value("plain"), "kept");
    EXPECT_EQ(p.restored.count(), 0);

    // With an empty clipboard before, it is empty again after.
    p.preferences->setBool("app.autoCopyToClipboard", false);
    QGuiApplication::clipboard()->clear();
    p.target.send("clear");
    ASSERT_TRUE(p.target.waitForLine("text: "));
    p.paster.pasteTextAtCursor("once");
    ASSERT_TRUE(p.target.waitForLine("text: once"));
    ASSERT_TRUE(waitUntil([&] { return p.restored.count() == 1; }));
    EXPECT_EQ(p.target.dumpClipboard().value("formats"), "");
}

TEST(X11Paste, aTerminalGetsCtrlShiftVAndASilentClipboardOwnerGetsNothing) {
    REQUIRE_DISPLAY();
    Paste p({"--terminal", "--clipboard", "before"});
    ASSERT_TRUE(p.target.waitUntilReady());
    EXPECT_EQ(X11PasteKeystrokes(connect(), QString()).focusedWindowClass(),
              (QStringList{"xterm", "XTerm"}));

    // A clipboard owner that does not answer keeps its clipboard and nothing is pasted.
    QSignalSpy pasted(&p.paster, &ClipboardPaster::pasted);
    ::kill(static_cast<pid_t>(p.target.processId()), SIGSTOP);
    const QString failure = p.paster.pasteTextAtCursor("unpasted").failure;
    ::kill(static_cast<pid_t>(p.target.processId()), SIGCONT);
    EXPECT_EQ(failure, "the clipboard did not answer");
    EXPECT_EQ(pasted.count(), 0);
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
    spin(2 * ClipboardPaster::restoreDelay);
    EXPECT_EQ(p.restored.count(), 0);
    EXPECT_EQ(p.target.dumpClipboard().value("plain"), "before");
    EXPECT_NE(p.target.lastText(), "unpasted");

    p.paster.pasteTextAtCursor("ls -l");
    ASSERT_TRUE(p.target.waitForLine("key: ctrl+shift+v"));
    ASSERT_TRUE(p.target.waitForLine("text: ls -l"));
    ASSERT_TRUE(waitUntil([&] { return p.restored.count() == 1; }));
    EXPECT_EQ(p.target.dumpClipboard().value("plain"), "before");

    // Two pastes close together bring back the user's content, not the first paste's text.
    p.paster.pasteTextAtCursor(" a");
    p.paster.pasteTextAtCursor(" b");
    ASSERT_TRUE(waitUntil([&] { return p.restored.count() == 2; }));
    EXPECT_EQ(p.target.dumpClipboard().value("plain"), "before");

    p.preferences->setString("app.pasteShortcut", "ctrl-v");
    p.paster.pasteTextAtCursor("pwd");
    ASSERT_TRUE(p.target.waitForLine("key: ctrl+v"));
    ASSERT_TRUE(waitUntil([&] { return p.restored.count() == 3; }, std::chrono::seconds(10)));
    EXPECT_TRUE(p.target.lastText().startsWith("ls -l")) << p.target.lastText().toStdString();
    EXPECT_FALSE(p.target.lastText().contains("pwd"));
}
