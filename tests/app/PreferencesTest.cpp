#include "AppTestSupport.h"

#include <OrvintaApp/LaunchAtLogin.h>

#include <QFile>

#include <gtest/gtest.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(Preferences, freshInstallationDefaults) {
    AppFixture f;
    const AppState &s = *f.state;
    EXPECT_EQ(s.selectedLocale(), QStringLiteral("en-US"));
    EXPECT_EQ(s.targetLanguage(), QStringLiteral("en-US"));
    EXPECT_EQ(s.selectedSource(), AudioSourceType::systemAudio);
    EXPECT_TRUE(s.showOverlay());
    EXPECT_TRUE(s.soundEnabled());
    EXPECT_FALSE(s.autoCopyToClipboard());
    EXPECT_FALSE(s.autoPasteAtCursor());
    EXPECT_EQ(s.autoPasteSource(), AutoPasteSource::original);
    EXPECT_FALSE(s.dictationModeEnabled());
    EXPECT_FALSE(s.selectedDeviceID());
}

TEST(Preferences, surviveARestart) {
    AppFixture f;
    f.state->setSelectedLocale(QStringLiteral("de-DE"));
    f.state->setTargetLanguage(QStringLiteral("fr-FR"));
    f.state->setSelectedSource(AudioSourceType::microphone);
    f.state->setShowOverlay(false);
    f.state->setSoundEnabled(false);
    f.state->setAutoPasteSource(AutoPasteSource::translation);
    f.state->setDictationModeEnabled(true);
    f.state->setSelectedDeviceID(7);
    f.state.reset();

    // A new store object reads the file afresh, as a new process would.
    f.preferences = std::make_shared<PreferencesStore>(f.preferences->fileName());
    f.restart();
    const AppState &s = *f.state;
    EXPECT_EQ(s.selectedLocale(), QStringLiteral("de-DE"));
    EXPECT_EQ(s.targetLanguage(), QStringLiteral("fr-FR"));
    EXPECT_EQ(s.selectedSource(), AudioSourceType::microphone);
    EXPECT_FALSE(s.showOverlay());
    EXPECT_FALSE(s.soundEnabled());
    EXPECT_EQ(s.autoPasteSource(), AutoPasteSource::translation);
    EXPECT_TRUE(s.dictationModeEnabled());
    EXPECT_FALSE(s.selectedDeviceID()); // the device choice is not kept
}

TEST(Preferences, badStoredValuesAreIgnored) {
    AppFixture f;
    f.state.reset();
    f.preferences->setString(QStringLiteral("app.selectedSource"), QStringLiteral("speaker"));
    f.preferences->setString(QStringLiteral("app.autoPasteSource"), QStringLiteral("Translation"));
    f.preferences->setString(QStringLiteral("app.showOverlay"), QStringLiteral("banana"));
    f.preferences->setString(QStringLiteral("app.soundEnabled"), QStringLiteral("false"));
    f.preferences->setData(QStringLiteral("app.selectedLocale"), QByteArray("\x01\x02"));
    f.restart();
    const AppState &s = *f.state;
    EXPECT_EQ(s.selectedSource(), AudioSourceType::systemAudio);
    EXPECT_EQ(f.preferences->stringValue(QStringLiteral("app.selectedSource")),
              QStringLiteral("speaker"));
    EXPECT_EQ(s.autoPasteSource(), AutoPasteSource::original);
    EXPECT_TRUE(s.showOverlay());
    EXPECT_FALSE(s.soundEnabled());
    EXPECT_EQ(s.selectedLocale(), QStringLiteral("en-US"));
}

TEST(Preferences, launchAtLoginWritesAnAutostartEntry) {
    QTemporaryDir config;
    XdgAutostart autostart(config.path(), QStringLiteral("/usr/bin/orvinta"));
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_TRUE(autostart.setEnabled(true).isEmpty());
    EXPECT_TRUE(autostart.isEnabled());
    QFile entry(autostart.entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray contents = entry.readAll();
    EXPECT_TRUE(contents.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(contents.contains("\nExec=/usr/bin/orvinta\n"));
    EXPECT_TRUE(autostart.setEnabled(false).isEmpty());
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_TRUE(autostart.setEnabled(false).isEmpty()); // already off
}

TEST(Preferences, writesKeptInMemoryLeaveTheUsersFileAlone) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Orvinta.conf"));
    PreferencesStore(path).setString(QStringLiteral("app.selectedLocale"), QStringLiteral("de-DE"));

    PreferencesStore overriding(path);
    overriding.keepWritesInMemory();
    EXPECT_EQ(overriding.stringValue(QStringLiteral("app.selectedLocale")),
              QStringLiteral("de-DE"));
    overriding.setString(QStringLiteral("app.selectedLocale"), QStringLiteral("en-US"));
    overriding.setBool(QStringLiteral("app.soundEnabled"), false);
    EXPECT_EQ(overriding.stringValue(QStringLiteral("app.selectedLocale")),
              QStringLiteral("en-US"));
    EXPECT_FALSE(overriding.boolValue(QStringLiteral("app.soundEnabled")));

    const PreferencesStore reread(path);
    EXPECT_EQ(reread.stringValue(QStringLiteral("app.selectedLocale")), QStringLiteral("de-DE"));
    EXPECT_FALSE(reread.stringValue(QStringLiteral("app.soundEnabled")));
}

TEST(Preferences, theUsersStoreIsTheConfFileInTheXdgConfigHome) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    PreferencesStore store;
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(store.fileName(), config.filePath(QStringLiteral("Orvinta/Orvinta.conf")));
}
