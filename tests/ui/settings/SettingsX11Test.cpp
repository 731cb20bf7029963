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
#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/UpdaterManager.h>

#include <QGuiApplication>
#include <QProcess>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UpdatesPlugin)

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
