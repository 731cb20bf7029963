// The real settings window on an X server: it comes to the front with the
// X input focus, and its shortcut fields record real key presses (sent
// through XTest by xdotool) into the real shortcut service.

#include "AppTestSupport.h"
#include "DesktopBackends.h"
#include "SettingsTestSupport.h"

#include <OrvintaApp/Preferences.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/SettingsWindowController.h>
#include <OrvintaUi/ShortcutRecorderModel.h>
#include <OrvintaUi/UpdateWindowsController.h>
#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/UpdaterManager.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QDir>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)

using namespace Orvinta;
using namespace Orvinta::Testing;

namespace {

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

QString xdotool(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
}

WId focusedWindow() {
    return xdotool({QStringLiteral("getwindowfocus")}).toULongLong();
}

/// Draws `window` and its controls in dark colours, as a dark desktop theme does.
void paintDark(QQuickWindow &window) {
    const std::pair<const char *, QColor> roles[] = {{"window", QColor(0x2b, 0x2b, 0x2b)},
                                                     {"windowText", QColor(0xe0, 0xe0, 0xe0)},
                                                     {"base", QColor(0x33, 0x33, 0x33)},
                                                     {"alternateBase", QColor(0x26, 0x26, 0x26)},
                                                     {"text", QColor(0xe0, 0xe0, 0xe0)},
                                                     {"button", QColor(0x3a, 0x3a, 0x3a)},
                                                     {"buttonText", QColor(0xe0, 0xe0, 0xe0)},
                                                     {"mid", QColor(0x55, 0x55, 0x55)},
                                                     {"placeholderText", QColor(0xa0, 0xa0, 0xa0)},
                                                     {"highlight", QColor(0x35, 0x84, 0xe4)},
                                                     {"highlightedText", QColor(0xff, 0xff, 0xff)},
                                                     {"light", QColor(0x48, 0x48, 0x48)},
                                                     {"dark", QColor(0x1e, 0x1e, 0x1e)},
                                                     {"midlight", QColor(0x40, 0x40, 0x40)}};
    for (const auto &[role, colour] : roles)
        QQmlProperty(&window, QStringLiteral("palette.") + QLatin1String(role)).write(colour);
}

void pressKeys(const QString &keys) {
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

struct X11Settings {
    X11Settings() {
        services.preferences = f.preferences;
        DesktopBackends::addKeyboard(services);
        hotkeys = services.hotkeys;
        engine.addImportPath("qrc:/");
        SettingsServices settings;
        settings.preferences = f.preferences;
        settings.accessibilityTrusted = [] { return true; };
        settings.openUrl = [](const QUrl &) {};
        settings.displayVersion = AppVersion::displayVersion();
        for (HotkeyAction action : allHotkeyActions) {
            recorders.push_back(std::make_unique<ShortcutRecorderModel>(hotkeys, action));
            settings.shortcutRecorders << recorders.back().get();
        }
        controller = std::make_unique<SettingsWindowController>(engine, *f.state, &overlay,
                                                                &updater, settings);
    }
    ~X11Settings() { controller.reset(); }
    bool showAndFocus() {
        if (!controller->show())
            return false;
        QQuickWindow *window = controller->window();
        return waitUntil([&] { return window->isExposed() && focusedWindow() == window->winId(); },
                         std::chrono::seconds(10));
    }
    /// The field of the row labelled `label`.
    QQuickItem *field(const QString &label) {
        for (QQuickItem *row : itemsNamed(controller->window(), "shortcutRow"))
            if (row->property("label").toString() == label)
                return row->property("field").value<QQuickItem *>();
        return nullptr;
    }

    AppFixture f;
    AppServices services;
    std::shared_ptr<HotkeyService> hotkeys;
    QQmlEngine engine;
    OverlaySettings overlay{f.preferences};
    UpdaterManager updater{f.preferences};
    std::vector<std::unique_ptr<ShortcutRecorderModel>> recorders;
    std::unique_ptr<SettingsWindowController> controller;
};

} // namespace

TEST(SettingsWindowX11, openingTwiceRaisesTheSameWindowOverAnotherProgram) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    X11Settings s;
    ASSERT_TRUE(s.showAndFocus()) << "the first show() takes the X input focus";
    QQuickWindow *window = s.controller->window();

    // Another program takes the focus.
    QProcess other;
    other.start(QStringLiteral("xmessage"),
                {QStringLiteral("-name"), QStringLiteral("orvinta-focus-thief"),
                 QStringLiteral("another program")});
    ASSERT_TRUE(other.waitForStarted(5000));
    const QString thief =
        xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--classname"),
                 QStringLiteral("orvinta-focus-thief")})
            .section(QLatin1Char('\n'), 0, 0);
    ASSERT_FALSE(thief.isEmpty());
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), thief});
    EXPECT_TRUE(waitUntil([&] { return focusedWindow() == thief.toULongLong(); }));

    ASSERT_TRUE(s.controller->show());
    EXPECT_EQ(s.controller->window(), window) << "one window, not a second";
    EXPECT_TRUE(
        waitUntil([&] { return focusedWindow() == window->winId(); }, std::chrono::seconds(10)))
        << "the settings window has the X input focus again";
    other.kill();
    other.waitForFinished(5000);
}

TEST(SettingsWindowX11, recordsAShortcutFromRealKeysAndKeepsIt) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    X11Settings s;
    int overlayToggles = 0;
    s.hotkeys->setActions({{}, {}, {}, [&] { ++overlayToggles; }});
    s.hotkeys->start();
    ASSERT_TRUE(s.showAndFocus());
    QQuickItem *field = s.field(QStringLiteral("Toggle Overlay"));
    ASSERT_NE(field, nullptr);
    ShortcutRecorderModel &model = *s.recorders[3];
    const KeyCombo before = s.hotkeys->combo(HotkeyAction::toggleOverlay);

    // Escape and Shift+Escape cancel; the field shows the old shortcut again.
    for (const char *cancel : {"Escape", "shift+Escape"}) {
        QMetaObject::invokeMethod(field, "clicked");
        ASSERT_TRUE(model.isRecording());
        pressKeys(QString::fromLatin1(cancel));
        EXPECT_TRUE(waitUntil([&] { return !model.isRecording(); })) << cancel;
        EXPECT_EQ(s.hotkeys->combo(HotkeyAction::toggleOverlay), before) << cancel;
        EXPECT_EQ(model.displayText(), QString::fromUtf8("⌃⌥O"));
    }

    // A letter without modifiers keeps the field waiting; the shortcut's own
    // combination is recorded instead of firing, since shortcuts are suspended.
    QMetaObject::invokeMethod(field, "clicked");
    pressKeys(QStringLiteral("k"));
    pressKeys(QStringLiteral("ctrl+alt+o"));
    EXPECT_TRUE(waitUntil([&] { return !model.isRecording(); }));
    EXPECT_EQ(overlayToggles, 0);
    EXPECT_EQ(s.hotkeys->combo(HotkeyAction::toggleOverlay), before) << "k was not recorded";

    // ⌥⌘K: key code 40 with option and command, registered at once.
    QMetaObject::invokeMethod(field, "clicked");
    pressKeys(QStringLiteral("alt+super+k"));
    EXPECT_TRUE(waitUntil([&] { return !model.isRecording(); }));
    const KeyCombo recorded = s.hotkeys->combo(HotkeyAction::toggleOverlay);
    EXPECT_EQ(recorded.keyCode, 40);
    EXPECT_EQ(recorded.modifiers, 0x180000u);
    EXPECT_EQ(model.displayText(), QString::fromUtf8("⌥⌘K"));
    EXPECT_TRUE(s.hotkeys->isRegistered(HotkeyAction::toggleOverlay));
    // It works from anywhere right away.
    xdotool({QStringLiteral("key"), QStringLiteral("alt+super+k")});
    EXPECT_TRUE(waitUntil([&] { return overlayToggles == 1; }));

    // A new run reads it back.
    AppServices restarted;
    restarted.preferences = s.f.preferences;
    s.controller.reset();
    s.recorders.clear();
    s.hotkeys.reset();
    s.services = {};
    DesktopBackends::addKeyboard(restarted);
    EXPECT_EQ(restarted.hotkeys->combo(HotkeyAction::toggleOverlay), recorded);
}

TEST(SettingsWindowX11, picturesOfEachTabAndTheReleaseNotes) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    // The pictures go to docs/ when asked for, else next to the other artefacts.
    const QString folder = qEnvironmentVariableIsSet("ORVINTA_UPDATE_DOCS")
                               ? QStringLiteral(ORVINTA_DOCS_DIR)
                               : QDir::temp().filePath("orvinta-ui-artefacts");
    QDir().mkpath(folder);
    for (const bool dark : {false, true}) {
        X11Settings s;
        s.f.state->preferences()->setAutoPasteAtCursor(true);
        s.overlay.setAutoHideEnabled(true);
        ASSERT_TRUE(s.showAndFocus());
        QQuickWindow &window = *s.controller->window();
        if (dark)
            paintDark(window);
        QQuickItem *view = itemNamed(&window, "settingsView");
        ASSERT_NE(view, nullptr);
        for (const char *tab : {"general", "appearance", "update", "about"}) {
            view->setProperty("selectedTab", QString::fromLatin1(tab));
            QCoreApplication::processEvents();
            const QString path = QDir(folder).filePath(
                QStringLiteral("settings-%1%2.png").arg(tab, dark ? "-dark" : ""));
            EXPECT_TRUE(window.grabWindow().save(path)) << path.toStdString();
            std::printf("Picture of the window: %s\n", qPrintable(path));
        }
        // The whole General tab, as it scrolls.
        view->setProperty("selectedTab", QStringLiteral("general"));
        window.resize(540, 1040);
        spin(std::chrono::milliseconds(300));
        const QString whole = QDir(folder).filePath(
            QStringLiteral("settings-general-full%1.png").arg(dark ? "-dark" : ""));
        EXPECT_TRUE(window.grabWindow().save(whole));
        window.resize(540, 400);
        WhatsNewModel notes;
        UpdateWindowsController windows(s.engine, &notes, nullptr);
        notes.show(QStringLiteral("1.3"),
                   QStringLiteral("<h3>New in this version</h3><ul><li>A settings window with "
                                  "General, Appearance, Update and About</li><li>Shortcuts are "
                                  "recorded from the keyboard</li><li>Release notes like these, "
                                  "once per version</li></ul><script>alert('no')</script>"));
        ASSERT_NE(windows.whatsNewWindow(), nullptr);
        if (dark)
            paintDark(*windows.whatsNewWindow());
        EXPECT_TRUE(waitUntil([&] { return windows.whatsNewWindow()->isExposed(); }));
        EXPECT_EQ(notes.darkColorScheme(), dark);
        QCoreApplication::processEvents();
        const QString path =
            QDir(folder).filePath(QStringLiteral("whats-new%1.png").arg(dark ? "-dark" : ""));
        EXPECT_TRUE(windows.whatsNewWindow()->grabWindow().save(path));
        std::printf("Picture of the window: %s\n", qPrintable(path));
    }
}
