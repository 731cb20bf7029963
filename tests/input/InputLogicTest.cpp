// The keyboard services' rules, without a display.

#include "DesktopBackends.h"
#include "InputTestSupport.h"

#include <OrvintaInput/ClipboardPaster.h>
#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>
#include <OrvintaInput/PasteKeystrokes.h>
#include <OrvintaInput/RemoteHoldKey.h>

#include <QMimeData>

using namespace Orvinta;
using namespace Orvinta::InputTesting;

namespace {

constexpr std::uint64_t controlOption = KeyCombo::control | KeyCombo::option;

class FakeGrabber : public KeyGrabber {
public:
    QString unavailableReason() const override { return {}; }
    int grab(std::uint32_t id, const KeyCombo &combo) override {
        ++grabCalls;
        grabs[id] = combo;
        return 0;
    }
    void ungrab(std::uint32_t id) override { grabs.erase(id); }
    using KeyGrabber::reportPress;

    std::map<std::uint32_t, KeyCombo> grabs;
    int grabCalls = 0;
};

/// A modifier key source whose flags the test reports.
struct FakeModifierSource : ModifierKeySource {
    QString unavailableReason() const override { return {}; }
    bool start(const QString &holdKey, QString *) override {
        key = holdKey;
        return running = true;
    }
    void stop() override { running = false; }
    using ModifierKeySource::reportFlags;
    bool running = false;
    QString key;
};
constexpr std::uint64_t holdFlag = ModifierKeySource::holdKeyFlag;

/// A paster over a clipboard and keystrokes the test drives: the user's
/// clipboard holds "user"; the focused window reads the text when told.
struct FakePaste {
    struct Keystrokes : PasteKeystrokes {
        QString reason;
        bool sends = true;
        QString unavailableReason() const override { return reason; }
        QStringList focusedWindowClass() override { return {}; }
        bool sendPaste(PasteShortcut) override { return sends; }
        bool clipboardHasOwner() override { return false; }
    };
    struct Clipboard : PasteClipboard {
        QString content = QStringLiteral("user");
        std::function<void()> fetched;
        QString unavailableReason() const override { return {}; }
        bool hasOwner() override { return !content.isEmpty(); }
        std::unique_ptr<QMimeData> save() override {
            auto saved = std::make_unique<QMimeData>();
            saved->setText(content);
            return saved;
        }
        bool setText(const QString &text, std::function<void()> onFetched) override {
            content = text;
            fetched = std::move(onFetched);
            return true;
        }
        void restore(std::unique_ptr<QMimeData> saved) override {
            content = saved ? saved->text() : QString();
        }
        bool holdsContent() const override { return true; }
    };
    Keystrokes *keystrokes = new Keystrokes; // owned by the paster
    Clipboard *clipboard = new Clipboard;
    ClipboardPaster paster{std::unique_ptr<PasteKeystrokes>(keystrokes),
                           std::unique_ptr<PasteClipboard>(clipboard), nullptr};
    QSignalSpy restored{&paster, &ClipboardPaster::restored};
};

} // namespace

TEST(KeyCombo, displayStringsAndStoredForm) {
    // Names from the key table; a code without one shows its number.
    EXPECT_EQ((KeyCombo{87, KeyCombo::option}).displayString(), "Alt+Keypad 5");
    EXPECT_EQ((KeyCombo{52, KeyCombo::control}).displayString(), "Ctrl+Key52");
    // Caps lock and the fn flag take no part in a registration.
    EXPECT_EQ((KeyCombo{1, controlOption | 0x10000 | 0x800000}).carbonModifiers(), 0x1800u);

    // The stored JSON round-trips; members in any order.
    const KeyCombo combo{49, KeyCombo::command | KeyCombo::shift};
    EXPECT_EQ(KeyCombo::fromJson(combo.toJson()), combo);
    EXPECT_EQ(KeyCombo::fromJson(R"({"modifiers":1179648,"keyCode":49})"), combo);
    for (const char *bad :
         {"{\"keyCode\":1}", "{\"keyCode\":\"1\",\"modifiers\":0}", "not json", "[1,2]",
          "{\"keyCode\":70000,\"modifiers\":0}", "{\"keyCode\":1.5,\"modifiers\":0}",
          "{\"keyCode\":1,\"modifiers\":-1}"})
        EXPECT_FALSE(KeyCombo::fromJson(bad)) << bad;
}

TEST(HotkeyManager, storedCombosLoadRegisterAndRunTheirActionsAndABadOneFallsBackAlone) {
    QTemporaryDir folder;
    auto store = std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));
    FakeGrabber *grabber = nullptr;
    const auto make = [&] {
        auto fake = std::make_unique<FakeGrabber>();
        grabber = fake.get();
        return std::make_unique<HotkeyManager>(store, std::move(fake));
    };
    store->setData("app.hotkeyCombo", R"({"keyCode":49,"modifiers":1179648})");
    store->setData("app.autoCopyCombo", "{\"keyCode\":3");    // not valid JSON
    store->setData("app.autoPasteCombo", R"({"keyCode":3})"); // no modifiers
    store->setString("app.toggleOverlayCombo", "not data at all");
    LogCapture log;
    auto manager = make();
    EXPECT_EQ(manager->combo(HotkeyAction::toggleListening).displayString(), "Super+Shift+Space");
    for (HotkeyAction bad :
         {HotkeyAction::toggleAutoCopy, HotkeyAction::toggleAutoPaste, HotkeyAction::toggleOverlay})
        EXPECT_EQ(manager->combo(bad), defaultCombo(bad));
    manager->start();
    EXPECT_TRUE(log.contains("com.orvinta.Hotkey: Hotkey manager started (Super+Shift+Space)"));
    // The bad value stays until the shortcut is changed.
    EXPECT_EQ(store->dataValue("app.autoCopyCombo"), QByteArray("{\"keyCode\":3"));

    // Without Ctrl, Alt or Super a shortcut would take its key from every
    // program (Space, Return, Shift+S): refused with a log line. F13 may stand alone.
    const KeyCombo fallback = defaultCombo(HotkeyAction::toggleListening);
    for (const char *lone : {R"({"keyCode":49,"modifiers":0})", R"({"keyCode":36,"modifiers":0})",
                             R"({"keyCode":1,"modifiers":131072})"}) {
        store->setData("app.hotkeyCombo", lone);
        LogCapture refused;
        EXPECT_EQ(make()->combo(HotkeyAction::toggleListening), fallback) << lone;
        EXPECT_TRUE(refused.contains("needs Ctrl, Alt or Super")) << lone;
    }
    store->setData("app.hotkeyCombo", R"({"keyCode":105,"modifiers":0})");
    auto withF13 = make();
    EXPECT_EQ(withF13->combo(HotkeyAction::toggleListening), (KeyCombo{105, 0}));
    withF13->start();
    withF13->setCombo(HotkeyAction::toggleListening, KeyCombo{49, KeyCombo::shift});
    EXPECT_EQ(grabber->grabs.at(1), (KeyCombo{105, 0}));

    // F13 registers beside the others, once however often started. (A
    // combination another program holds: SettingsWindowX11 and CliShortcuts.)
    manager = make();
    LogCapture registering;
    manager->start();
    EXPECT_TRUE(manager->isRegistered(HotkeyAction::toggleListening));
    EXPECT_EQ(grabber->grabs.size(), 5u);
    EXPECT_EQ(grabber->grabs.at(5), (KeyCombo{3, controlOption})) << "Focus captions: Ctrl+Alt+F";
    const int calls = grabber->grabCalls;
    manager->start();
    EXPECT_EQ(grabber->grabCalls, calls);

    // The action runs after the press was handled, and the one set after
    // start() is the one that runs; presses without an action do nothing.
    int toggles = 0, overlays = 0, captionFocuses = 0;
    manager->setActions(
        {[&] { ++toggles; }, {}, {}, [&] { ++overlays; }, [&] { ++captionFocuses; }});
    grabber->reportPress(1);
    EXPECT_EQ(toggles, 0);
    ASSERT_TRUE(waitUntil([&] { return toggles == 1; }));
    for (std::uint32_t id : {4, 3, 99, 5})
        grabber->reportPress(id);
    ASSERT_TRUE(waitUntil([&] { return overlays == 1 && captionFocuses == 1; }));

    // A change is stored and registers everything again; a key code
    // without a name still registers.
    manager->setCombo(HotkeyAction::toggleListening, KeyCombo{10, KeyCombo::command});
    EXPECT_TRUE(registering.contains("Hotkey restarted (Super+§)"));
    EXPECT_EQ(grabber->grabs.at(1), (KeyCombo{10, KeyCombo::command}));
    EXPECT_EQ(store->dataValue("app.hotkeyCombo"),
              QByteArray(R"({"keyCode":10,"modifiers":1048576})"));
}

namespace {

using Step = HoldKeyGesture::Step;
/// What the keyboard does at a moment: the hold key alone down, with
/// another modifier, up; or another key or a mouse button pressed.
enum class Keys { hold, holdAndModifier, up, otherPress };
/// The steps a gesture takes over `events` (milliseconds, keys), its timer
/// firing on time, each with the millisecond it came at.
std::vector<std::pair<int, Step>> play(std::initializer_list<std::pair<int, Keys>> events) {
    using namespace std::chrono;
    HoldKeyGesture gesture;
    const HoldKeyGesture::TimePoint zero{};
    std::vector<std::pair<int, Step>> steps;
    const auto note = [&](HoldKeyGesture::TimePoint at, Step step) {
        if (step != Step::none)
            steps.emplace_back(int(duration_cast<milliseconds>(at - zero).count()), step);
    };
    const auto runUntil = [&](HoldKeyGesture::TimePoint now) {
        for (auto due = gesture.deadline(); due && *due <= now; due = gesture.deadline())
            note(*due, gesture.timePassed(*due));
    };
    for (const auto &[ms, keys] : events) {
        const auto now = zero + milliseconds(ms);
        runUntil(now);
        note(now, keys == Keys::otherPress
                      ? gesture.otherPressed()
                      : gesture.keysChanged(keys != Keys::up, keys == Keys::holdAndModifier, now));
    }
    runUntil(zero + hours(1));
    return steps;
}

} // namespace

// The hold key dictates only alone: recording begins unheard at 50 ms, tone and bubble at 300 ms;
// another key, modifier or button before then makes a combination until the key is up again.
TEST(HoldKeyGesture, aKeyAloneDictatesAndAnyCombinationIsNoDictation) {
    using enum Keys;
    using Steps = std::vector<std::pair<int, Step>>;
    EXPECT_EQ(play({{0, hold}, {4000, up}}),
              (Steps{{50, Step::begin}, {300, Step::start}, {4000, Step::end}}));
    EXPECT_EQ(play({{0, hold}, {30, up}}), (Steps{{30, Step::dropped}}));
    EXPECT_EQ(play({{0, hold}, {200, up}}), (Steps{{50, Step::begin}, {200, Step::cancel}}));

    // Ctrl+C (or a Ctrl+click) as typists type it, the Ctrl key held on after.
    for (int second : {10, 49, 50, 150, 299}) {
        const Steps steps =
            play({{0, hold}, {second, otherPress}, {second + 20, otherPress}, {5000, up}});
        EXPECT_EQ(steps, (second < 50 ? Steps{{second, Step::dropped}}
                                      : Steps{{50, Step::begin}, {second, Step::cancel}}))
            << second;
    }
    // Ctrl+Alt+S: Alt's release leaves Ctrl alone, but no hold begins.
    EXPECT_EQ(play({{0, hold}, {20, holdAndModifier}, {100, hold}, {5000, up}}),
              (Steps{{20, Step::dropped}}));
    EXPECT_EQ(play({{0, hold}, {120, holdAndModifier}, {200, hold}, {5000, up}}),
              (Steps{{50, Step::begin}, {120, Step::cancel}}));

    // After the tone another key ends the dictation, keeping what was said.
    EXPECT_EQ(play({{0, hold}, {1000, otherPress}, {1100, hold}, {3000, up}}),
              (Steps{{50, Step::begin}, {300, Step::start}, {1000, Step::end}}));

    // Pressed while another modifier is down, the key counts from that one's release.
    EXPECT_EQ(play({{0, holdAndModifier}, {500, hold}, {3000, up}}),
              (Steps{{550, Step::begin}, {800, Step::start}, {3000, Step::end}}));
    // With the key up, other keys are nobody's business.
    EXPECT_EQ(play({{0, otherPress}, {10, up}, {20, hold}, {30, up}}),
              (Steps{{30, Step::dropped}}));
}

// The display's watcher and orvinta-cli hold from the desktop's bindings, side by side: taps,
// holds, and commands that come twice, late or never (other keys: HoldKeyGesture, X11HoldKey).
TEST(DictationKeyMonitor, tapsHoldsStopAndBindingCommandsTwiceLateOrNever) {
    using Answer = RemoteHoldKey::Answer;
    using namespace std::chrono_literals;
    auto key = std::make_shared<RemoteHoldKey>(300ms);
    EXPECT_EQ(key->press(10), Answer::notWatched); // dictation off: the command says so
    auto *local = new FakeModifierSource;
    DictationKeyMonitor monitor(key->makeSource(std::unique_ptr<ModifierKeySource>(local)),
                                [] { return QStringLiteral("Control_R"); }, {10ms, 20ms});
    int starts = 0, ends = 0;
    monitor.onHoldStart = [&] { ++starts; };
    monitor.onHoldEnd = [&] { ++ends; };
    ASSERT_TRUE(monitor.start());
    ASSERT_TRUE(monitor.start());
    EXPECT_TRUE(local->running);
    EXPECT_EQ(local->key, "Control_R");

    // A tap shorter than the threshold does nothing; the log names the hold key.
    LogCapture log;
    local->reportFlags(holdFlag);
    local->reportFlags(0);
    EXPECT_TRUE(log.contains("Right Ctrl released before threshold — ignored"));
    EXPECT_FALSE(monitor.isPending());
    // A hold: one start, one end at release; repeated events while held change nothing.
    local->reportFlags(holdFlag);
    ASSERT_TRUE(waitUntil([&] { return starts == 1; }));
    local->reportFlags(holdFlag);
    local->reportFlags(0);
    EXPECT_EQ(std::pair(starts, ends), std::pair(1, 1));

    // The bindings' commands, beside the display's key.
    EXPECT_EQ(key->press(100), Answer::taken);
    ASSERT_TRUE(waitUntil([&] { return starts == 2; }));
    EXPECT_EQ(key->press(100), Answer::ignored);
    EXPECT_EQ(key->release(200), Answer::taken);
    EXPECT_EQ(key->release(200), Answer::ignored);
    EXPECT_EQ(ends, 2);
    // A release whose command overtook its press's: the press comes too late to hold.
    EXPECT_EQ(key->release(400), Answer::ignored);
    EXPECT_EQ(key->press(300), Answer::ignored);
    EXPECT_FALSE(key->isDown());

    // A lost release: the hold ends by itself after the maximum, and says why.
    EXPECT_EQ(key->press(500), Answer::taken);
    ASSERT_TRUE(waitUntil([&] { return starts == 3; }));
    ASSERT_TRUE(waitUntil([&] { return ends == 3; }));
    EXPECT_FALSE(key->isDown());
    EXPECT_TRUE(log.contains("No hold release came within"));
    EXPECT_EQ(key->release(600), Answer::ignored); // the late one

    // stop() ends a hold without onHoldEnd; the release afterwards calls
    // nothing, and the commands say that nobody watches.
    local->reportFlags(holdFlag);
    ASSERT_TRUE(waitUntil([&] { return starts == 4; }));
    monitor.stop();
    EXPECT_FALSE(monitor.isHolding());
    local->reportFlags(0);
    EXPECT_EQ(ends, 3);
    EXPECT_EQ(key->press(700), Answer::notWatched);
}

TEST(PasteShortcut, terminalsGetCtrlShiftVUnlessThePreferenceSaysOtherwise) {
    for (const char *terminal :
         {"xterm XTerm", "gnome-terminal-server Gnome-terminal", "konsole konsole",
          "Alacritty Alacritty", "kitty kitty", "st-256color st-256color",
          "org.wezfurlong.wezterm org.wezfurlong.wezterm"})
        EXPECT_EQ(choosePasteShortcut("auto", QString(terminal).split(' ')),
                  PasteShortcut::ctrlShiftV)
            << terminal;
    EXPECT_EQ(choosePasteShortcut("auto", {"gedit", "Gedit"}), PasteShortcut::ctrlV);
    EXPECT_EQ(choosePasteShortcut("", {}), PasteShortcut::ctrlV);
    EXPECT_EQ(choosePasteShortcut("bogus", {"xterm", "XTerm"}), PasteShortcut::ctrlShiftV);
    EXPECT_EQ(choosePasteShortcut("ctrl-v", {"xterm", "XTerm"}), PasteShortcut::ctrlV);
    EXPECT_EQ(choosePasteShortcut("ctrl-shift-v", {"firefox", "Firefox"}),
              PasteShortcut::ctrlShiftV);
    // A browser whose name merely contains "term" is no terminal.
    EXPECT_EQ(choosePasteShortcut("auto", {"terminal-notes", "Determinate"}), PasteShortcut::ctrlV);
}

TEST(ClipboardPaster, theUserContentComesBackOnceReadAndAPasteNotSentIsNeverReportedDone) {
    FakePaste p;
    // A window that reads late gets the text, not the user's content back.
    EXPECT_TRUE(p.paster.pasteTextAtCursor("late").pasted());
    spin(2 * ClipboardPaster::restoreDelay);
    EXPECT_EQ(p.clipboard->content, "late");
    p.clipboard->fetched();
    ASSERT_TRUE(waitUntil([&] { return p.restored.count() == 1; }));
    EXPECT_EQ(p.clipboard->content, "user");

    // A window that never reads: back after the bounded wait all the same.
    EXPECT_TRUE(p.paster.pasteTextAtCursor("unread").pasted());
    ASSERT_TRUE(waitUntil([&] { return p.restored.count() == 2; }, 2 * ClipboardPaster::fetchWait));
    EXPECT_EQ(p.clipboard->content, "user");

    // A keystroke that did not go out is a failure, and the user's content is back at once.
    QSignalSpy pasted(&p.paster, &ClipboardPaster::pasted);
    p.keystrokes->sends = false;
    const PasteResult unsent = p.paster.pasteTextAtCursor("unsent");
    EXPECT_EQ(unsent.failure, "the paste keystroke could not be sent");
    EXPECT_FALSE(unsent.onClipboard);
    EXPECT_EQ(pasted.count(), 0);
    EXPECT_EQ(p.clipboard->content, "user");
    EXPECT_FALSE(p.paster.isRestorePending());

    // Without any keystroke (a compositor without a virtual keyboard) the
    // text stays on the clipboard for the user's own Ctrl+V.
    p.keystrokes->reason = "the compositor offers no virtual keyboard";
    EXPECT_FALSE(p.paster.isAvailable());
    const PasteResult copied = p.paster.pasteTextAtCursor("copied");
    EXPECT_EQ(copied.failure, "the compositor offers no virtual keyboard");
    EXPECT_TRUE(copied.onClipboard);
    EXPECT_EQ(p.clipboard->content, "copied");
    EXPECT_FALSE(p.paster.isRestorePending());
}

// Every shortcut reports itself unavailable at each restart, and the log says it once.
TEST(KeyboardServices, withoutADisplayEachServiceSaysSoOnceAndTheRestWorks) {
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    QTemporaryDir folder;
    AppServices services;
    services.preferences = std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));
    services.preferences->setBool("app.dictationModeEnabled", true);
    services.speechAnalyzerAvailable = false;
    LogCapture log;
    DesktopBackends::addKeyboard(services);
    ASSERT_TRUE(services.hotkeys && services.paster && services.setUpDictation);
    int failures = 0;
    {
        AppState state(services);
        services.hotkeys->setFailureHandler([&](HotkeyAction, const QString &) { ++failures; });
        services.hotkeys->setCombo(HotkeyAction::toggleOverlay, KeyCombo{40, KeyCombo::control});
        EXPECT_FALSE(services.hotkeys->isRegistered(HotkeyAction::toggleListening));
        EXPECT_FALSE(services.paster->isAvailable());
        state.pasteAtCursor("nowhere");
        state.preferences()->setDictationModeEnabled(false);
        state.preferences()->setDictationModeEnabled(true);
        // The shortcut is still stored for a session that has a display.
        EXPECT_EQ(services.hotkeys->combo(HotkeyAction::toggleOverlay).displayString(), "Ctrl+K");
    }
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
    if (!wayland.isEmpty())
        qputenv("WAYLAND_DISPLAY", wayland);
    EXPECT_EQ(failures, 5);
    EXPECT_EQ(log.count("Keyboard services unavailable: no X11 display"), 1);
    EXPECT_EQ(log.count("Global shortcuts unavailable"), 1);
    EXPECT_FALSE(log.contains("Failed to register"));
    EXPECT_EQ(log.count("Hold-key dictation unavailable"), 1);
    EXPECT_EQ(log.count("Paste at the cursor unavailable"), 1);
}
