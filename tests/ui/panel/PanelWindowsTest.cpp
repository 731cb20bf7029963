// The panel and bubble windows load from the QML module with their view models.

#include "AppTestSupport.h"
#include "WindowTestSupport.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaUi/DictationBubble.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/PanelWindows.h>

#include <QQmlEngine>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(PanelWindows, panelShowsItsSectionsOrTheSetupTheIconTogglesItAndControlsPassTheirChoices) {
    AppFixture f;
    auto audio = std::make_shared<OrvintaTest::FakeCapture>();
    audio->devices = {{{5, "USB mic", 1, false}}};
    f.audio = audio;
    f.restart();
    f.state->addConfirmedLine("Keep me.");
    QQmlEngine engine;
    engine.addImportPath("qrc:/");
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

    // The controls follow the state and pass their choices through its typed parts.
    const auto says = [&](const char *text) {
        return itemSaying(&window, QString::fromUtf8(text));
    };

    // The microphone row: the device picker once access is granted.
    EXPECT_FALSE(shown(says("Device")));
    f.state->preferences()->setSelectedSource(AudioSourceType::microphone);
    EXPECT_TRUE(waitUntil([&] { return shown(says("Device")); }));
    EXPECT_FALSE(shown(says("Microphone access denied")));
    // Both sides at once: its longer description keeps to the panel's width.
    for (QQuickItem *item : allItems(&window))
        if (item->property("text") == "Microphone + Computer" &&
            item->inherits("QQuickAbstractButton"))
            QMetaObject::invokeMethod(item, "clicked");
    EXPECT_EQ(f.state->preferences()->selectedSource(), AudioSourceType::both);
    QQuickItem *both =
        says("Captures your microphone as \"Me\" and your computer's sound as \"Others\"");
    ASSERT_TRUE(waitUntil([&] { return shown(both); }));
    for (QQuickItem *item : allItems(&window))
        item->ensurePolished();
    EXPECT_LE(both->mapToScene({both->width(), 0}).x(), window.width());

    // Auto-paste offers the source, the original one chosen.
    f.state->preferences()->setAutoPasteAtCursor(true);
    QQuickItem *original = says("Original");
    ASSERT_TRUE(shown(original) && says("Translation"));
    EXPECT_TRUE(original->property("selected").toBool());
    QMetaObject::invokeMethod(says("Translation"), "clicked");
    EXPECT_EQ(f.state->preferences()->autoPasteSource(), AutoPasteSource::translation);
    EXPECT_FALSE(original->property("selected").toBool());

    // Each export item asks for its own kind of file.
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
    EXPECT_TRUE(setupTexts.contains("Speech Model Required"));
    EXPECT_TRUE(
        setupTexts.contains("Orvinta needs an on-device speech\nmodel, which is not installed."));
    EXPECT_TRUE(setupTexts.contains("Setup Guide"));
    EXPECT_FALSE(setupTexts.contains("Start"));
    setup.showWindow();
    EXPECT_TRUE(waitUntil([&] { return setup.window()->isExposed(); }));
}

TEST(PanelWindows, bubbleWindowFollowsItsModel) {
    QQmlEngine engine;
    engine.addImportPath("qrc:/");
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
    EXPECT_EQ(window->geometry(), bubble.frame());
    EXPECT_GE(window->width(), 250);
    EXPECT_GE(window->height(), 44);
}
