// The update window as a hostile server would have it drawn: what the server
// says is shown as written, and nothing that it names is fetched.

#include "TestFeedServer.h"

#include <OrvintaUi/UpdateWindowsController.h>
#include <OrvintaUpdates/UpdaterManager.h>

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UpdatesPlugin)

using namespace Orvinta;
using OrvintaTest::FeedResponse;
using OrvintaTest::TestFeedServer;

TEST(UpdateWindowTest, TheServersWordsAreShownAsWrittenAndFetchNothing) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    TestFeedServer feed;
    TestFeedServer pictures(TestFeedServer::Scheme::http);
    pictures.serve("/pixel.png", FeedResponse::feed("not a picture"));
    const QByteArray picture = pictures.url("/pixel.png").toEncoded();
    feed.serve("/refused.xml",
               FeedResponse::error(503, "Busy <img src=\"" + picture + "\"> <b>now</b>"));

    QTemporaryDir folder;
    UpdaterManager::Options options;
    options.currentVersion = "1.4";
    options.ssl = OrvintaTest::trustingTestCertificate();
    UpdaterManager updater(std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf")),
                           options);
    updater.setFeedUrl(feed.url("/refused.xml"));
    QQmlEngine engine;
    engine.addImportPath("qrc:/");
    UpdateWindowsController windows(engine, nullptr, &updater);

    QSignalSpy finished(&updater, &UpdaterManager::checkFinished);
    updater.checkForUpdates();
    ASSERT_TRUE(finished.wait(60000));
    ASSERT_EQ(updater.state(), UpdaterManager::State::failed);
    ASSERT_NE(windows.updateWindow(), nullptr);
    QQuickWindow &window = *windows.updateWindow();
    EXPECT_TRUE(window.isVisible());
    const QObject *label = window.findChild<QObject *>("updateMessage");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->property("text").toString().contains("<img src=")) << "shown as written";
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    (void)window.grabWindow();
    QTest::qWait(1000);
    EXPECT_EQ(pictures.requests("/pixel.png"), 0) << "the window fetched what the server named";
}
