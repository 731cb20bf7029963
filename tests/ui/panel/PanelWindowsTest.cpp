// The panel and bubble windows load from the QML module with their view models.

#include "AppTestSupport.h"
#include "WindowTestSupport.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaUi/DictationBubble.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/PanelWindows.h>
#include <OrvintaUi/UiTheme.h>

#include <QQmlEngine>
#include <QQmlProperty>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(PanelWindows, panelShowsItsSectionsOrTheSetupTheIconTogglesItAndControlsPassTheirChoices) {
    AppFixture f;
    auto audio = std::make_shared<OrvintaTest::FakeCapture>();
    audio->devices = {{{5, "USB mic", 1, false, "usb"}}};
    f.audio = audio;
    f.restart();
    f.state->addConfirmedLine("Keep me.");
    QQmlEngine engine;
    MenuBarViewModel model(*f.state);
    MenuBarPanel panel(model, engine, MenuBarPanel::Mode::trayPopup);
    ASSERT_TRUE(panel.isLoaded()) << panel.errorString().toStdString();
    QQuickWindow &window = *panel.window();
    EXPECT_TRUE(window.flags() & Qt::FramelessWindowHint);
    const QStringList texts = visibleTexts(&window);
    for (const char *expected :
         {"Orvinta", "Language", "Same language — no translation", "Audio Source", "System Audio",
          "Microphone", "Captures all audio playing on your computer", "Start", "Hide Overlay",
          "Copy All", "Auto Copy", "Auto Paste", "Dictation", "Right Ctrl Hold-to-Dictate",
          "Settings", "Quit"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;

    panel.showWindow();
    EXPECT_TRUE(waitUntil([&] { return window.isExposed(); }));

    // A click on the icon closes the open panel; the click that closed the
    // pop-up by going elsewhere does not open it again at once.
    const QRect icon(1417, 1, 22, 22);
    panel.toggleNear(icon);
    EXPECT_FALSE(window.isVisible());
    panel.toggleNear(icon);
    EXPECT_FALSE(window.isVisible());
    spin(std::chrono::milliseconds(400));
    panel.toggleNear(icon);
    EXPECT_TRUE(window.isVisible());

    const auto says = [&](const char *text) {
        return itemSaying(&window, QString::fromUtf8(text));
    };

    // The microphone row: the device picker once access is granted.
    EXPECT_FALSE(shown(says("Device")));
    f.state->preferences()->setSelectedSource(AudioSourceType::microphone);
    EXPECT_TRUE(waitUntil([&] { return shown(says("Device")); }));
    EXPECT_FALSE(shown(says("Microphone access denied")));
    // Both sides at once: its longer description keeps to the panel's width.
    QMetaObject::invokeMethod(itemNamed(&window, "bothButton"), "clicked");
    EXPECT_EQ(f.state->preferences()->selectedSource(), AudioSourceType::both);
    QQuickItem *both =
        says("Captures your microphone as \"Me\" and your computer's sound as \"Others\"");
    ASSERT_TRUE(waitUntil([&] { return shown(both); }));
    for (QQuickItem *item : allItems(&window))
        item->ensurePolished();
    EXPECT_LE(both->mapToScene({both->width(), 0}).x(), window.width());

    f.state->preferences()->setAutoPasteAtCursor(true);
    QQuickItem *original = says("Original");
    ASSERT_TRUE(shown(original) && says("Translation"));
    EXPECT_TRUE(original->property("selected").toBool());
    QMetaObject::invokeMethod(says("Translation"), "clicked");
    EXPECT_EQ(f.state->preferences()->autoPasteSource(), AutoPasteSource::translation);
    EXPECT_FALSE(original->property("selected").toBool());

    for (const auto &[item, extension] : {std::pair{"Export as SRT Subtitles (.srt)", ".srt"},
                                          std::pair{"Export as WebVTT (.vtt)", ".vtt"},
                                          std::pair{"Export as Plain Text (.txt)", ".txt"}}) {
        ASSERT_TRUE(says(item)) << item;
        QMetaObject::invokeMethod(says(item), "triggered");
        EXPECT_TRUE(f.saveDialog->suggested.endsWith(QLatin1String(extension)));
    }

    MenuBarPanel plain(model, engine, MenuBarPanel::Mode::window);
    ASSERT_TRUE(plain.isLoaded());
    EXPECT_FALSE(plain.window()->flags() & Qt::FramelessWindowHint);

    // Without a speech model the panel explains the setup instead.
    MenuBarViewModel::Options options;
    options.setupRequired = true;
    MenuBarViewModel setupModel(*f.state, options);
    MenuBarPanel setup(setupModel, engine, MenuBarPanel::Mode::trayPopup);
    ASSERT_TRUE(setup.isLoaded()) << setup.errorString().toStdString();
    const QStringList setupTexts = visibleTexts(setup.window());
    for (const char *expected :
         {"Speech Model Required",
          "Orvinta needs an on-device speech\nmodel, which is not installed.", "Setup Guide",
          "Install the package pocketsphinx-en-us:", "sudo apt install pocketsphinx-en-us"})
        EXPECT_TRUE(setupTexts.contains(expected)) << expected;
    EXPECT_FALSE(setupTexts.contains("Start"));
    // It names the package and copies the command that installs it.
    QQuickItem *copy = itemNamed(setup.window(), "copySetupCommandButton");
    ASSERT_TRUE(shown(copy));
    QMetaObject::invokeMethod(copy, "clicked");
    EXPECT_EQ(f.clipboard->text, "sudo apt install pocketsphinx-en-us");
    EXPECT_EQ(copy->property("text").toString(), "Copied");
    setup.showWindow();
    EXPECT_TRUE(waitUntil([&] { return setup.window()->isExposed(); }));
}

TEST(PanelWindows, tabReachesEveryControlAndScreenReadersHearRolesAndStates) {
    AppFixture f;
    f.state->preferences()->setAutoPasteAtCursor(true);
    QQmlEngine engine;
    MenuBarViewModel model(*f.state);
    MenuBarPanel panel(model, engine, MenuBarPanel::Mode::window);
    ASSERT_TRUE(panel.isLoaded()) << panel.errorString().toStdString();
    QQuickWindow &window = *panel.window();
    panel.showWindow();
    window.requestActivate();
    ASSERT_TRUE(waitUntil([&] { return window.isActive(); }));

    // Every control in reading order, each at least 24 × 24, and round again.
    const QStringList controls({"Recognition language", "Translation language", "System Audio",
                                "Microphone", "Application", "Microphone + Computer",
                                "Start recording", "Hide Overlay", "Copy All", "Export transcript",
                                "Clear all transcriptions", "Auto Copy", "Auto Paste", "Original",
                                "Translation", "Right Ctrl Hold-to-Dictate", "Settings", "Quit"});
    for (const QString &name : controls) {
        QTest::keyClick(&window, Qt::Key_Tab);
        QQuickItem *focused = window.activeFocusItem();
        ASSERT_EQ(focusedName(&window), name);
        EXPECT_GE(focused->width(), 24) << name.toStdString();
        EXPECT_GE(focused->height(), 24) << name.toStdString();
    }
    QTest::keyClick(&window, Qt::Key_Tab);
    EXPECT_EQ(focusedName(&window), controls.first());
    QTest::keyClick(&window, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focusedName(&window), controls.last());

    // Toggles are check boxes with their state, off as well as on; choices are radio buttons.
    const auto accessible = [&](const char *name) {
        return QAccessible::queryAccessibleInterface(itemNamed(&window, name));
    };
    QAccessibleInterface *autoCopy = accessible("autoCopyPill");
    ASSERT_TRUE(autoCopy);
    EXPECT_EQ(autoCopy->role(), QAccessible::CheckBox);
    EXPECT_TRUE(autoCopy->state().checkable);
    EXPECT_FALSE(autoCopy->state().checked);
    itemNamed(&window, "autoCopyPill")->forceActiveFocus(Qt::TabFocusReason);
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(f.state->preferences()->autoCopyToClipboard());
    EXPECT_TRUE(autoCopy->state().checked);
    for (const char *choice : {"pasteOriginalChoice", "pasteTranslationChoice", "systemAudioButton",
                               "microphoneButton", "applicationButton", "bothButton"})
        EXPECT_EQ(accessible(choice)->role(), QAccessible::RadioButton) << choice;
    EXPECT_TRUE(accessible("pasteOriginalChoice")->state().checked);
    itemNamed(&window, "pasteTranslationChoice")->forceActiveFocus(Qt::TabFocusReason);
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_EQ(f.state->preferences()->autoPasteSource(), AutoPasteSource::translation);
    EXPECT_TRUE(accessible("pasteTranslationChoice")->state().checked);
    EXPECT_FALSE(accessible("pasteOriginalChoice")->state().checked);
    EXPECT_TRUE(accessible("systemAudioButton")->state().checked);

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

TEST(PanelWindows, everyTextReadsInTheDesktopsLightAndDarkSchemeFollowedWhileOpen) {
    AppFixture f;
    f.state->preferences()->setAutoCopyToClipboard(true);
    QQmlEngine engine;
    MenuBarViewModel model(*f.state);
    MenuBarPanel panel(model, engine, MenuBarPanel::Mode::window);
    ASSERT_TRUE(panel.isLoaded());
    QQuickWindow &window = *panel.window();
    panel.showWindow();
    ASSERT_TRUE(waitUntil([&] { return window.isExposed(); }));
    // The windows draw with the theme their engine's C++ side reads, not one of QML's own.
    EXPECT_EQ(engine.singletonInstance<UiTheme *>(qmlTypeId("Orvinta.Ui", 1, 0, "UiTheme")),
              &UiTheme::of(engine));
    const QPalette original = QGuiApplication::palette();
    for (const bool dark : {true, false}) {
        QGuiApplication::setPalette(themePalette(dark));
        spin(std::chrono::milliseconds(100));
        EXPECT_EQ(QQmlProperty::read(&window, "palette.window").value<QColor>(),
                  themePalette(dark).color(QPalette::Window));
        // A heading, a caption, a pill that is on (which also shows a check
        // mark) and one that is off.
        for (const char *text : {"Language", "Captures all audio playing on your computer",
                                 "Auto Copy", "Auto Paste", "Quit"}) {
            QQuickItem *item = itemSaying(&window, QString::fromUtf8(text));
            ASSERT_TRUE(shown(item)) << text;
            EXPECT_GE(measuredContrast(pictureOf(window, item)), 4.5)
                << text << (dark ? " dark" : " light");
        }
        for (const QColor &status : {UiTheme::of(engine).success(), UiTheme::of(engine).warning()})
            EXPECT_GE(contrastRatio(status, themePalette(dark).color(QPalette::Window)), 4.5);
    }
    QGuiApplication::setPalette(original);
}

TEST(PanelWindows, bubbleWindowFollowsItsModel) {
    QQmlEngine engine;
    Dictation dictation;
    DictationBubble bubble(dictation);
    QString error;
    auto window = createUiWindow(engine, "panel/DictationBubbleView.qml",
                                 {{"bubble", QVariant::fromValue(&bubble)}}, &error);
    ASSERT_TRUE(window) << error.toStdString();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->flags() & Qt::WindowDoesNotAcceptFocus);

    bubble.show();
    dictation.setDictationState(DictationState::recording);
    dictation.setDictationInterimText("the bubble shows what is being said");
    ASSERT_TRUE(waitUntil([&] { return window->isExposed(); }));
    EXPECT_EQ(window->geometry(), bubble.frame()); // its smallest: DictationBubbleTest
}
