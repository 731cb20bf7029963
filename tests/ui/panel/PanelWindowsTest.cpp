// The panel and bubble windows load from the QML module with their view models.

#include "AppTestSupport.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaUi/DictationBubble.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/PanelWindows.h>

#include <QQmlEngine>
#include <QQuickItem>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UpdatesPlugin)

using namespace Orvinta;
using namespace Orvinta::Testing;

namespace {

/// The item that says `text`; null when none does.
QQuickItem *itemSaying(QObject *root, const QString &text) {
    for (QQuickItem *item : root->findChildren<QQuickItem *>())
        if (item->property("text").toString() == text)
            return item;
    return nullptr;
}

/// The texts of every item, for finding what a view says.
QStringList textsIn(QObject *root) {
    QStringList texts;
    for (QObject *object : root->findChildren<QObject *>())
        if (const QVariant text = object->property("text"); text.isValid())
            texts << text.toString();
    return texts;
}

} // namespace

TEST(PanelWindows, panelLoadsAt280PixelsAndShowsItsSections) {
    AppFixture f;
    QQmlEngine engine;
    engine.addImportPath("qrc:/");
    MenuBarViewModel model(*f.state);
    MenuBarPanel panel(model, engine, MenuBarPanel::Mode::trayPopup);
    ASSERT_TRUE(panel.isLoaded()) << panel.errorString().toStdString();
    QQuickWindow &window = *panel.window();
    EXPECT_EQ(window.width(), 280);
    EXPECT_TRUE(window.flags() & Qt::FramelessWindowHint);
    const QStringList texts = textsIn(&window);
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

    MenuBarPanel plain(model, engine, MenuBarPanel::Mode::window);
    ASSERT_TRUE(plain.isLoaded());
    EXPECT_FALSE(plain.window()->flags() & Qt::FramelessWindowHint);
}

// The panel's controls reach the application through its typed parts: what
// they show follows the state, and what they do arrives with the right values.
TEST(PanelWindows, controlsFollowTheStateAndPassTheirChoices) {
    AppFixture f;
    f.audio = std::make_shared<FakeSoundServer>();
    f.restart();
    f.state->addConfirmedLine("Keep me.");
    QQmlEngine engine;
    engine.addImportPath("qrc:/");
    MenuBarViewModel model(*f.state);
    MenuBarPanel panel(model, engine, MenuBarPanel::Mode::window);
    ASSERT_TRUE(panel.isLoaded()) << panel.errorString().toStdString();
    panel.showWindow();
    QQuickWindow &window = *panel.window();
    ASSERT_TRUE(waitUntil([&] { return window.isExposed(); }));
    const auto shown = [&](const char *text) {
        QQuickItem *item = itemSaying(&window, QString::fromUtf8(text));
        return item && item->isVisible();
    };

    // The microphone row: the device picker once access is granted.
    EXPECT_FALSE(shown("Device"));
    f.state->preferences()->setSelectedSource(AudioSourceType::microphone);
    EXPECT_TRUE(waitUntil([&] { return shown("Device"); }));
    EXPECT_FALSE(shown("Microphone access denied"));

    // Auto-paste offers the source, the original one chosen.
    f.state->preferences()->setAutoPasteAtCursor(true);
    QQuickItem *original = itemSaying(&window, "Original");
    QQuickItem *translation = itemSaying(&window, "Translation");
    ASSERT_TRUE(original && translation && original->isVisible());
    EXPECT_TRUE(original->property("selected").toBool());
    QMetaObject::invokeMethod(translation, "clicked");
    EXPECT_EQ(f.state->preferences()->autoPasteSource(), AutoPasteSource::translation);
    EXPECT_FALSE(original->property("selected").toBool());

    // Each export item asks for its own kind of file.
    for (const auto &[item, extension] : {std::pair{"Export as SRT Subtitles (.srt)", ".srt"},
                                          std::pair{"Export as Plain Text (.txt)", ".txt"}}) {
        QQuickItem *menuItem = itemSaying(&window, QString::fromUtf8(item));
        ASSERT_TRUE(menuItem) << item;
        QMetaObject::invokeMethod(menuItem, "triggered");
        EXPECT_TRUE(f.saveDialog->suggested.endsWith(QLatin1String(extension)))
            << f.saveDialog->suggested.toStdString();
    }
}

TEST(PanelWindows, withoutASpeechModelThePanelExplainsTheSetup) {
    AppFixture f;
    QQmlEngine engine;
    engine.addImportPath("qrc:/");
    MenuBarViewModel::Options options;
    options.setupRequired = true;
    MenuBarViewModel model(*f.state, options);
    MenuBarPanel panel(model, engine, MenuBarPanel::Mode::trayPopup);
    ASSERT_TRUE(panel.isLoaded()) << panel.errorString().toStdString();
    const QStringList texts = textsIn(panel.window());
    EXPECT_TRUE(texts.contains("Speech Model Required"));
    EXPECT_TRUE(
        texts.contains("Orvinta needs an on-device speech\nmodel, which is not installed."));
    EXPECT_TRUE(texts.contains("Setup Guide"));
    EXPECT_FALSE(texts.contains("Start"));
    panel.showWindow();
    EXPECT_TRUE(waitUntil([&] { return panel.window()->isExposed(); }));
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
