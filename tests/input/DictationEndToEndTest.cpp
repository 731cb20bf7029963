// orvinta-cli's keyboard commands as a user meets them: dictate with the hold
// key pressed through XTest and a recording played into the microphone; shortcuts.

#include "CliProcess.h"
#include "InputTestSupport.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace Orvinta::InputTesting;
using namespace OrvintaTest;

TEST(DictationEndToEnd, heldKeyRecordingReleasePastesTheWordsAndRestoresTheClipboard) {
    REQUIRE_DISPLAY();
    REQUIRE_DICTATION_AUDIO();

    PasteTarget target({"--clipboard", "before"});
    ASSERT_TRUE(target.waitUntilReady());
    const PrivateHome home;
    QProcess dictate;
    startCli(dictate, {"dictate", "--verbose"}, home.environment());
    QString log;
    ASSERT_TRUE(readErrorsUntil(dictate, "Ready: hold Right Ctrl", log)) << log.toStdString();

    // Right Ctrl as a modifier, for Ctrl+C or a Ctrl+click, is no dictation
    // however long it stays down after the other key or button.
    const auto combination = [&](const std::function<bool(bool down)> &other) {
        ASSERT_TRUE(fakeKey("Control_R", true));
        ASSERT_TRUE(other(true) && other(false));
        const QString noHold = QStringLiteral("Right Ctrl used with another key or button");
        ASSERT_TRUE(readErrorsUntil(dictate, noHold, log)) << log.toStdString();
        log.remove(noHold);
        ASSERT_TRUE(fakeKey("Control_R", false));
    };
    ASSERT_NO_FATAL_FAILURE(combination([](bool down) { return fakeKey("c", down); }));
    ASSERT_NO_FATAL_FAILURE(combination([](bool down) { return fakeButton(1, down); }));

    ASSERT_TRUE(fakeKey("Control_R", true));
    ASSERT_TRUE(readErrorsUntil(dictate, "[AppState] startDictation complete", log))
        << log.toStdString();
    play("orvinta_mic_feed", {"0880"});
    ASSERT_TRUE(fakeKey("Control_R", false));

    ASSERT_TRUE(readErrorsUntil(dictate, "[AppState] Dictation stopped, pasted: true", log))
        << log.toStdString();
    // One tone and one paste, the hold's.
    EXPECT_EQ(log.count("start tone"), 1) << log.toStdString();
    EXPECT_EQ(log.count("Dictation stopped"), 1) << log.toStdString();
    ASSERT_TRUE(target.waitForLine([](const QString &line) { return line.startsWith("text: "); }));
    const QString pasted = target.lastText();
    std::printf("pasted: %s\n", pasted.toUtf8().constData());
    // "he was not an ill disposed young man": most of the words arrive.
    EXPECT_GE(wordsHeard(pasted, "0880"), 4) << pasted.toStdString();

    ASSERT_TRUE(waitUntil([&] { return target.dumpClipboard().value("plain") == "before"; }));

    const CliResult stopped = interrupt(dictate);
    EXPECT_FALSE(stopped.crashed);
    EXPECT_EQ(stopped.exitCode, 0);
    EXPECT_EQ(stopped.output.trimmed(), pasted);
}

TEST(CliShortcuts, listsEachShortcutAndNamesTheOneAnotherProgramHolds) {
    REQUIRE_DISPLAY();
    // Another client holds Ctrl+Alt+V.
    Display *other = XOpenDisplay(nullptr);
    ASSERT_TRUE(other);
    XGrabKey(other, XKeysymToKeycode(other, XK_v), ControlMask | Mod1Mask, DefaultRootWindow(other),
             False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    const PrivateHome home;
    const CliResult listed = runCli({"shortcuts"}, 30000, home.environment());
    XCloseDisplay(other);
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_EQ(listed.lines,
              (QStringList{"Toggle Recording\tCtrl+Alt+S\tregistered",
                           "Toggle Auto Copy\tCtrl+Alt+C\tregistered",
                           "Toggle Auto Paste\tCtrl+Alt+V\tfailed: another program already uses "
                           "this shortcut",
                           "Toggle Overlay\tCtrl+Alt+O\tregistered",
                           "Focus captions\tCtrl+Alt+F\tregistered"}));

    QProcessEnvironment withoutDisplay = home.environment();
    withoutDisplay.remove("DISPLAY");
    const CliResult refused = runCli({"shortcuts"}, 30000, withoutDisplay);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.errors.trimmed(),
              "orvinta-cli: this command needs an X11 display (DISPLAY is not set)");
}
