#include "AppTestSupport.h"

#include <OrvintaPlatform/LaunchAtLogin.h>

#include <QFile>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(Preferences, surviveARestart) {
    AppFixture f;
    f.state->preferences()->setSelectedLocale("de-DE");
    f.state->preferences()->setTargetLanguage("fr-FR");
    f.state->preferences()->setSelectedSource(AudioSourceType::microphone);
    f.state->preferences()->setShowOverlay(false);
    f.state->preferences()->setSoundEnabled(false);
    f.state->preferences()->setAutoPasteSource(AutoPasteSource::translation);
    f.state->preferences()->setDictationModeEnabled(true);
    f.state->audioDevices()->setSelectedDeviceID(7);
    f.state.reset();

    // A new store object reads the file afresh, as a new process would.
    f.preferences = std::make_shared<PreferencesStore>(f.preferences->fileName());
    f.restart();
    AppState &s = *f.state;
    EXPECT_EQ(s.preferences()->selectedLocale(), "de-DE");
    EXPECT_EQ(s.preferences()->targetLanguage(), "fr-FR");
    EXPECT_EQ(s.preferences()->selectedSource(), AudioSourceType::microphone);
    EXPECT_FALSE(s.preferences()->showOverlay());
    EXPECT_FALSE(s.preferences()->soundEnabled());
    EXPECT_EQ(s.preferences()->autoPasteSource(), AutoPasteSource::translation);
    EXPECT_TRUE(s.preferences()->dictationModeEnabled());
    EXPECT_FALSE(s.audioDevices()->selectedDeviceID()); // the device choice is not kept
}

TEST(Preferences, settersNotifyOnlyOnChangeButAlwaysWrite) {
    AppFixture f;
    AppState &s = *f.state;
    QSignalSpy changed(s.preferences(), &Preferences::soundEnabledChanged);
    f.preferences->setBool("app.soundEnabled", false); // written behind its back
    s.preferences()->setSoundEnabled(true);            // equal value: no signal...
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(f.preferences->boolValue("app.soundEnabled")); // ...but written
    s.preferences()->setSoundEnabled(false);
    EXPECT_EQ(changed.count(), 1);
}

TEST(Preferences, badStoredValuesAreIgnored) {
    AppFixture f;
    f.state.reset();
    f.preferences->setString("app.selectedSource", "speaker");
    f.preferences->setString("app.autoPasteSource", "Translation");
    f.preferences->setString("app.showOverlay", "banana");
    f.preferences->setString("app.soundEnabled", "false");
    f.preferences->setData("app.selectedLocale", QByteArray("\x01\x02"));
    f.restart();
    AppState &s = *f.state;
    EXPECT_EQ(s.preferences()->selectedSource(), AudioSourceType::systemAudio);
    EXPECT_EQ(f.preferences->stringValue("app.selectedSource"), "speaker");
    EXPECT_EQ(s.preferences()->autoPasteSource(), AutoPasteSource::original);
    EXPECT_TRUE(s.preferences()->showOverlay());
    EXPECT_FALSE(s.preferences()->soundEnabled());
    EXPECT_EQ(s.preferences()->selectedLocale(), "en-US");
}

TEST(Preferences, launchAtLoginWritesAnAutostartEntry) {
    QTemporaryDir config;
    XdgAutostart autostart(config.path(), "/usr/bin/orvinta");
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
    const QString path = folder.filePath("Orvinta.conf");
    PreferencesStore(path).setString("app.selectedLocale", "de-DE");

    PreferencesStore overriding(path);
    overriding.keepWritesInMemory();
    EXPECT_EQ(overriding.stringValue("app.selectedLocale"), "de-DE");
    overriding.setString("app.selectedLocale", "en-US");
    overriding.setBool("app.soundEnabled", false);
    EXPECT_EQ(overriding.stringValue("app.selectedLocale"), "en-US");
    EXPECT_FALSE(overriding.boolValue("app.soundEnabled"));

    const PreferencesStore reread(path);
    EXPECT_EQ(reread.stringValue("app.selectedLocale"), "de-DE");
    EXPECT_FALSE(reread.stringValue("app.soundEnabled"));
}

TEST(Preferences, theUsersStoreIsTheConfFileInTheXdgConfigHome) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    PreferencesStore store;
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(store.fileName(), config.filePath("Orvinta/Orvinta.conf"));
}
