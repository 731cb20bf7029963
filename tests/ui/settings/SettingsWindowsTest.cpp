// The settings and "What's New" windows load from the QML module with their models and follow
// them (offscreen). The update window: UpdaterTest and DesktopShellTest.

#include "SettingsTestSupport.h"

#include <OrvintaApp/Preferences.h>
#include <OrvintaUi/UpdateWindowsController.h>
#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/WhatsNewModel.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(SettingsWindow, oneWindowWithItsSectionsRulesVersionAndResetButtonsThatClosingOnlyHides) {
    SettingsWindowFixture s;
    static_cast<FakeHotkeys &>(*s.hotkeys).refused[HotkeyAction::toggleAutoCopy] =
        "another program already uses this shortcut";
    SettingsServices services;
    services.displayVersion =
        AppVersion::displayVersion(QStringLiteral("1.4"), QStringLiteral("27"));
    SettingsWindowController &controller = s.make(services);
    EXPECT_EQ(controller.window(), nullptr); // made on first use
    ASSERT_TRUE(controller.show());
    QQuickWindow &window = *controller.window();
    ASSERT_TRUE(waitUntil([&] { return window.isExposed(); }));
    spin(std::chrono::milliseconds(100));
    const QStringList texts = visibleTexts(&window);
    // One line of each section, the fields' own labels, and the tabs.
    for (const char *expected :
         {"Launch at Login", "Source Language", "Target Language", "Play sounds on start/stop",
          "Auto-copy new transcriptions", "Auto-paste at cursor position",
          "Hold Right Ctrl key to dictate", "Toggle Recording", "Toggle Auto Copy",
          "Toggle Auto Paste", "Toggle Overlay", "General", "Appearance", "Update", "About"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;

    // Auto-paste off: no source picker, no warning, even without trust.
    EXPECT_FALSE(shown(itemNamed(&window, "pasteSourcePicker")));
    EXPECT_FALSE(shown(itemNamed(&window, "pasteWarning")));
    s.f.state->preferences()->setAutoPasteAtCursor(true);
    EXPECT_TRUE(shown(itemNamed(&window, "pasteSourcePicker")));
    QQuickItem *warning = itemNamed(&window, "pasteWarning");
    EXPECT_TRUE(shown(warning));
    // The warning names what is missing; a refused shortcut says why under its field.
    EXPECT_TRUE(shown(itemSaying(warning, "Paste at the cursor needs a keyboard back end")));
    EXPECT_TRUE(visibleTexts(&window).contains(
        "Ctrl+Alt+C does not work: another program already uses this shortcut"));

    // A shortcut's reset button shows only while the shortcut differs from its default.
    EXPECT_EQ(itemsNamed(&window, "shortcutRow").size(), 5);
    QQuickItem *row = s.shortcutRow("Toggle Recording");
    auto *reset = row ? row->property("resetButton").value<QQuickItem *>() : nullptr;
    ASSERT_NE(reset, nullptr);
    EXPECT_FALSE(reset->isVisible());
    s.recorders[0]->toggleRecording();
    s.recorders[0]->handleKeyPress(Qt::Key_K, int(Qt::AltModifier | Qt::MetaModifier));
    EXPECT_TRUE(reset->isVisible());
    QMetaObject::invokeMethod(reset, "clicked");
    EXPECT_FALSE(reset->isVisible());
    EXPECT_EQ(s.hotkeys->combo(HotkeyAction::toggleListening),
              defaultCombo(HotkeyAction::toggleListening));

    // A screen reader hears the sections as a list with the shown one selected, switches
    // and choices with their state.
    const auto accessible = [&](const char *name) {
        return QAccessible::queryAccessibleInterface(itemNamed(&window, name));
    };
    QAccessibleInterface *sidebar = accessible("settingsSidebar");
    ASSERT_TRUE(sidebar);
    EXPECT_EQ(sidebar->role(), QAccessible::List);
    QStringList tabs;
    for (int i = 0; i < sidebar->childCount(); ++i)
        tabs << sidebar->child(i)->text(QAccessible::Name) +
                    (sidebar->child(i)->state().selected ? "*" : "");
    EXPECT_EQ(tabs, QStringList({"General*", "Appearance", "Update", "What Works Here", "About"}));
    QAccessibleInterface *readAloud = accessible("readAloudSwitch");
    ASSERT_TRUE(readAloud);
    EXPECT_EQ(std::tuple(readAloud->text(QAccessible::Name), readAloud->role(),
                         bool(readAloud->state().checked)),
              std::tuple(QString("Read new captions aloud"), QAccessible::CheckBox, false));
    QMetaObject::invokeMethod(itemNamed(&window, "readAloudSwitch"), "toggle");
    QMetaObject::invokeMethod(itemNamed(&window, "readAloudSwitch"), "toggled");
    EXPECT_TRUE(s.overlay.readAloud());
    EXPECT_TRUE(readAloud->state().checked);
    for (const char *choice : {"pasteOriginalRadio", "pasteTranslationRadio"})
        EXPECT_EQ(accessible(choice)->role(), QAccessible::RadioButton) << choice;
    EXPECT_TRUE(accessible("pasteOriginalRadio")->state().checked);

    // The warning's button leads to the page that says what works on this desktop.
    QQuickItem *whatWorks = itemSaying(warning, "Show What Works Here");
    ASSERT_TRUE(shown(whatWorks));
    QMetaObject::invokeMethod(whatWorks, "clicked");
    EXPECT_TRUE(waitUntil([&] { return shown(itemNamed(&window, "capabilitiesPage")); }));
    EXPECT_FALSE(shown(itemNamed(&window, "generalPage")));

    controller.viewModel().setCurrentTab("about");
    spin(std::chrono::milliseconds(100));
    QQuickItem *version = itemNamed(&window, "aboutVersion");
    ASSERT_TRUE(shown(version));
    EXPECT_EQ(version->property("text").toString(), "Version 1.4 (27)");
    EXPECT_EQ(AppVersion::displayVersion(QStringLiteral("1.4"), std::nullopt),
              QString::fromUtf8("1.4 (—)"));

    window.close();
    EXPECT_TRUE(waitUntil([&] { return !window.isVisible(); }));
    ASSERT_TRUE(controller.show());
    EXPECT_EQ(controller.window(), &window);
    EXPECT_TRUE(window.isVisible());
}

TEST(SettingsWindow, labelsCaptionsAndTheCaptionPreviewReadInTheDesktopsLightAndDarkScheme) {
    SettingsWindowFixture s;
    SettingsWindowController &controller = s.make();
    ASSERT_TRUE(controller.show());
    QQuickWindow &window = *controller.window();
    ASSERT_TRUE(waitUntil([&] { return window.isExposed(); }));
    controller.viewModel().setCurrentTab("appearance");
    window.resize(window.width(), 1200); // the whole page in view
    const QPalette original = QGuiApplication::palette();
    for (const bool dark : {true, false}) {
        QGuiApplication::setPalette(themePalette(dark));
        spin(std::chrono::milliseconds(100));
        // The sidebar's chosen and other pages, headings, labels and captions.
        for (const char *text : {"Appearance", "General", "Captions", "Style", "Background Opacity",
                                 "When enabled, the overlay floats above all other windows."}) {
            QQuickItem *item = itemSaying(&window, QString::fromUtf8(text));
            ASSERT_TRUE(shown(item)) << text;
            EXPECT_GE(measuredContrast(pictureOf(window, item)), 4.5)
                << text << (dark ? " dark" : " light");
        }
        EXPECT_GE(measuredContrast(pictureOf(window, itemNamed(&window, "captionPreview"))), 7.0);
    }
    QGuiApplication::setPalette(original);

    // The background opacity cannot be set below what keeps captions legible.
    s.overlay.setPreset(OverlaySettings::Preset::WhiteOnBlack);
    QQuickItem *opacity = itemNamed(&window, "backgroundOpacityRow");
    ASSERT_TRUE(opacity);
    EXPECT_DOUBLE_EQ(opacity->property("from").toDouble(),
                     controller.viewModel().captionStyle()->leastBackgroundOpacity());
    EXPECT_GT(opacity->property("from").toDouble(), 0.5);
}

TEST(WhatsNewWindow, notesWithScriptsRenderWithoutAnyScriptEffect) {
    SettingsWindowFixture s;
    WhatsNewModel model;
    UpdateWindowsController windows(s.engine, &model, nullptr);
    EXPECT_EQ(windows.whatsNewWindow(), nullptr);

    model.show("1.3", "<h3>New</h3><ul><li>Faster</li></ul>"
                      "<script>document.title='pwned'; alert('pwned')</script>"
                      "<p onclick=\"alert('x')\">Click</p><img src=\"https://example.com/t.png\">");
    QQuickWindow *window = windows.whatsNewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->flags() & Qt::WindowStaysOnTopHint);
    ASSERT_TRUE(itemNamed(window, "notes"));
    // The window shows the sanitised notes (their rules: NotesHtmlTest).
    const QString shownHtml = itemNamed(window, "notes")->property("text").toString();
    EXPECT_TRUE(shownHtml.contains("Faster"));
    for (const char *gone : {"script", "pwned", "onclick", "example.com"})
        EXPECT_FALSE(shownHtml.contains(gone, Qt::CaseInsensitive)) << gone;
    EXPECT_TRUE(visibleTexts(window).contains("What's New in 1.3"));

    window->close();
    EXPECT_TRUE(waitUntil([&] { return !model.isVisible() && !window->isVisible(); }));
}
