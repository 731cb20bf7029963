// The settings, "What's New" and update windows load from the QML module
// with their models and follow them (offscreen).

#include "AppTestSupport.h"
#include "SettingsTestSupport.h"

#include <OrvintaApp/Preferences.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/SettingsWindowController.h>
#include <OrvintaUi/ShortcutRecorderModel.h>
#include <OrvintaUi/UpdateWindowsController.h>
#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/UpdaterManager.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QDir>
#include <QFile>
#include <QQmlEngine>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UpdatesPlugin)

using namespace Orvinta;
using namespace Orvinta::Testing;

namespace {

struct SettingsFixture {
    SettingsFixture() {
        engine.addImportPath("qrc:/");
        for (HotkeyAction action : allHotkeyActions)
            recorders.push_back(std::make_unique<ShortcutRecorderModel>(hotkeys, action));
    }
    ~SettingsFixture() { controller.reset(); }
    SettingsWindowController &make(SettingsServices services = {}) {
        services.preferences = f.preferences;
        services.accessibilityTrusted = [this] { return trusted; };
        services.openUrl = [this](const QUrl &url) { opened << url; };
        for (auto &recorder : recorders)
            services.shortcutRecorders << recorder.get();
        controller = std::make_unique<SettingsWindowController>(engine, *f.state, &overlay, nullptr,
                                                                std::move(services));
        return *controller;
    }

    AppFixture f;
    QQmlEngine engine;
    OverlaySettings overlay{f.preferences};
    std::shared_ptr<RecordingHotkeys> hotkeys = std::make_shared<RecordingHotkeys>(f.preferences);
    std::vector<std::unique_ptr<ShortcutRecorderModel>> recorders;
    bool trusted = false;
    QList<QUrl> opened;
    std::unique_ptr<SettingsWindowController> controller;
};

} // namespace

TEST(SettingsWindow, oneWindowOfTheRightSizeThatClosingOnlyHides) {
    SettingsFixture s;
    SettingsWindowController &controller = s.make();
    EXPECT_EQ(controller.window(), nullptr); // made on first use
    ASSERT_TRUE(controller.show());
    QQuickWindow *window = controller.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->title(), "Orvinta Settings");
    EXPECT_EQ(window->size(), QSize(540, 400));
    EXPECT_EQ(window->minimumSize(), QSize(480, 320));
    EXPECT_TRUE(window->isVisible());

    window->close();
    EXPECT_TRUE(waitUntil([&] { return !window->isVisible(); }));
    ASSERT_TRUE(controller.show());
    EXPECT_EQ(controller.window(), window);
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(controller.show());
    EXPECT_EQ(controller.window(), window);
}

TEST(SettingsWindow, generalTabShowsItsSectionsAndVisibilityRules) {
    SettingsFixture s;
    SettingsWindowController &controller = s.make();
    ASSERT_TRUE(controller.show());
    QQuickWindow &window = *controller.window();
    ASSERT_TRUE(waitUntil([&] { return window.isExposed(); }));
    spin(std::chrono::milliseconds(100));
    const QStringList texts = visibleTexts(&window);
    for (const char *expected :
         {"Startup",
          "Launch at Login",
          "Default Language",
          "Source Language",
          "Target Language",
          "Sound",
          "Play sounds on start/stop",
          "Clipboard",
          "Auto-copy new transcriptions",
          "Auto-paste at cursor position",
          "Dictation",
          "Hold Right Ctrl key to dictate",
          "Keyboard Shortcuts",
          "Toggle Recording",
          "Toggle Auto Copy",
          "Toggle Auto Paste",
          "Toggle Overlay",
          "Click a shortcut field and press your desired key combination to change it.",
          "General",
          "Appearance",
          "Update",
          "About"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;

    // Auto-paste off: no source picker, no warning, even without trust.
    Preferences &prefs = *s.f.state->preferences();
    EXPECT_FALSE(shown(itemNamed(&window, "pasteSourcePicker")));
    EXPECT_FALSE(shown(itemNamed(&window, "pasteWarning")));
    prefs.setAutoPasteAtCursor(true);
    EXPECT_TRUE(shown(itemNamed(&window, "pasteSourcePicker")));
    EXPECT_TRUE(shown(itemNamed(&window, "pasteWarning")));
    prefs.setAutoPasteAtCursor(false);
    EXPECT_FALSE(shown(itemNamed(&window, "pasteSourcePicker")));
    EXPECT_FALSE(shown(itemNamed(&window, "pasteWarning")));
}

TEST(SettingsWindow, resetButtonOnlyWhileTheShortcutDiffersAndNamesTheDefault) {
    SettingsFixture s;
    SettingsWindowController &controller = s.make();
    ASSERT_TRUE(controller.show());
    QList<QQuickItem *> rows;
    for (QQuickItem *item : itemsNamed(controller.window(), "shortcutRow"))
        rows << item;
    ASSERT_EQ(rows.size(), 4);
    QQuickItem *recordingRow = nullptr;
    for (QQuickItem *row : rows)
        if (row->property("label").toString() == "Toggle Recording")
            recordingRow = row;
    ASSERT_NE(recordingRow, nullptr);
    auto *reset = recordingRow->property("resetButton").value<QQuickItem *>();
    ASSERT_NE(reset, nullptr);
    EXPECT_FALSE(reset->isVisible());

    s.recorders[0]->toggleRecording();
    s.recorders[0]->handleKeyPress(Qt::Key_K, int(Qt::AltModifier | Qt::MetaModifier));
    EXPECT_TRUE(reset->isVisible());
    EXPECT_EQ(s.recorders[0]->resetToolTip(), QString::fromUtf8("Reset to default (⌃⌥S)"));
    QMetaObject::invokeMethod(reset, "clicked");
    EXPECT_FALSE(reset->isVisible());
    EXPECT_EQ(s.hotkeys->combo(HotkeyAction::toggleListening),
              defaultCombo(HotkeyAction::toggleListening));
}

TEST(SettingsWindow, aboutShowsTheDisplayVersion) {
    SettingsFixture s;
    SettingsServices services;
    services.displayVersion =
        AppVersion::displayVersion(QStringLiteral("1.4"), QStringLiteral("27"));
    SettingsWindowController &controller = s.make(services);
    ASSERT_TRUE(controller.show());
    QQuickWindow &window = *controller.window();
    auto *view = itemNamed(&window, "settingsView");
    ASSERT_NE(view, nullptr);
    view->setProperty("selectedTab", "about");
    spin(std::chrono::milliseconds(100));
    QQuickItem *version = itemNamed(&window, "aboutVersion");
    ASSERT_TRUE(shown(version));
    EXPECT_EQ(version->property("text").toString(), "Version 1.4 (27)");
}

TEST(WhatsNewWindow, notesWithScriptsRenderWithoutAnyScriptEffect) {
    AppFixture f;
    QQmlEngine engine;
    engine.addImportPath("qrc:/");
    WhatsNewModel model;
    UpdateWindowsController windows(engine, &model, nullptr);
    EXPECT_EQ(windows.whatsNewWindow(), nullptr);

    model.show("1.3", "<h3>New</h3><ul><li>Faster</li></ul>"
                      "<script>document.title='pwned'; alert('pwned')</script>"
                      "<p onclick=\"alert('x')\">Click</p><img src=\"https://example.com/t.png\">");
    QQuickWindow *window = windows.whatsNewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->title(), "What's New");
    EXPECT_EQ(window->size(), QSize(480, 420));
    EXPECT_TRUE(window->flags() & Qt::WindowStaysOnTopHint);
    QQuickItem *notes = itemNamed(window, "notes");
    ASSERT_NE(notes, nullptr);
    const QString shownHtml = notes->property("text").toString();
    EXPECT_TRUE(shownHtml.contains("Faster"));
    EXPECT_FALSE(shownHtml.contains("script", Qt::CaseInsensitive));
    EXPECT_FALSE(shownHtml.contains("pwned"));
    EXPECT_FALSE(shownHtml.contains("onclick"));
    EXPECT_FALSE(shownHtml.contains("example.com"));
    EXPECT_TRUE(visibleTexts(window).contains("What's New in 1.3"));

    // "Continue" and the close button both dismiss; a later show reuses nothing stale.
    window->close();
    EXPECT_TRUE(waitUntil([&] { return !model.isVisible() && !window->isVisible(); }));
}

namespace {

/// A feed on the loopback address that answers every request with `body`.
class FeedServer : public QTcpServer {
public:
    explicit FeedServer(QByteArray body)
        : m_body(std::move(body)) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\n"
                                  "Connection: close\r\nContent-Length: " +
                                  QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
                    socket->disconnectFromHost();
                });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(serverPort()));
    }

private:
    QByteArray m_body;
};

} // namespace

TEST(UpdateWindow, onlyAChecksTheUserAskedForOpensTheAnswer) {
    AppFixture f;
    QQmlEngine engine;
    engine.addImportPath("qrc:/");
    FeedServer server(R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><item><title>9.0</title><sparkle:version>900</sparkle:version>
<sparkle:shortVersionString>9.0</sparkle:shortVersionString>
<link>https://example.org/download</link>
<description><![CDATA[<h3>Big</h3><ul><li>Everything</li></ul>]]></description>
<enclosure url="https://example.org/orvinta-9.0.tar.gz" sparkle:version="900" length="1" type="application/octet-stream"/>
</item></channel></rss>)");
    ASSERT_TRUE(server.isListening());
    UpdaterManager::Options options;
    options.currentVersion = QStringLiteral("1.0");
    UpdaterManager updater(f.preferences, options);
    updater.setFeedUrl(server.url());
    UpdateWindowsController windows(engine, nullptr, &updater);

    updater.startAutomaticChecks();
    EXPECT_TRUE(waitUntil([&] {
        return updater.state() == UpdaterManager::State::updateAvailable ||
               updater.state() == UpdaterManager::State::failed;
    }));
    EXPECT_EQ(windows.updateWindow(), nullptr) << "a background check stays quiet";

    updater.checkForUpdates();
    EXPECT_TRUE(waitUntil([&] {
        return updater.isUserInitiated() && updater.canCheckForUpdates() &&
               updater.state() != UpdaterManager::State::checking;
    }));
    ASSERT_NE(windows.updateWindow(), nullptr);
    QQuickWindow &window = *windows.updateWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(updater.state(), UpdaterManager::State::updateAvailable)
        << updater.message().toStdString();
    const QStringList texts = visibleTexts(&window);
    EXPECT_TRUE(texts.contains(updater.message())) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.contains("Download"));
    // A picture for a person to look at.
    EXPECT_TRUE(waitUntil([&] { return window.isExposed(); }));
    const QString folder = QDir::temp().filePath("orvinta-ui-artefacts");
    QDir().mkpath(folder);
    EXPECT_TRUE(window.grabWindow().save(QDir(folder).filePath("update-available.png")));
}
