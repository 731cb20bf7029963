#include "AppTestSupport.h"

#include <OrvintaPlatform/LaunchAtLogin.h>

#include <QFile>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(Preferences, surviveARestartNotifyOnlyOnChangeAndIgnoreBadStoredValues) {
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

    // Setters notify only on a change, but always write.
    QSignalSpy changed(s.preferences(), &Preferences::soundEnabledChanged);
    f.preferences->setBool("app.soundEnabled", true); // written behind its back
    s.preferences()->setSoundEnabled(false);          // equal value: no signal...
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(f.preferences->boolValue("app.soundEnabled")); // ...but written
    s.preferences()->setSoundEnabled(true);
    EXPECT_EQ(changed.count(), 1);

    // Bad stored values are ignored.
    f.state.reset();
    f.preferences->setString("app.selectedSource", "speaker");
    f.preferences->setString("app.autoPasteSource", "Translation");
    f.preferences->setString("app.showOverlay", "banana");
    f.preferences->setString("app.soundEnabled", "false");
    f.preferences->setData("app.selectedLocale", QByteArray("\x01\x02"));
    f.restart();
    AppState &bad = *f.state;
    EXPECT_EQ(bad.preferences()->selectedSource(), AudioSourceType::systemAudio);
    EXPECT_EQ(f.preferences->stringValue("app.selectedSource"), "speaker");
    EXPECT_EQ(bad.preferences()->autoPasteSource(), AutoPasteSource::original);
    EXPECT_TRUE(bad.preferences()->showOverlay());
    EXPECT_FALSE(bad.preferences()->soundEnabled());
    EXPECT_EQ(bad.preferences()->selectedLocale(), "en-US");
    // A file from before the application source reads as no application
    // chosen, and stays without the key.
    EXPECT_TRUE(bad.preferences()->selectedApplication().isEmpty());
    EXPECT_FALSE(f.preferences->stringValue("app.selectedApplication"));
}

// The entry is written and removed; a folder name with quotes, dollars,
// backticks, backslashes or percent signs stays one argument of the Exec line,
// quoted and escaped as a desktop-entry reader undoes it, and adds no line.
TEST(Preferences, launchAtLoginWritesAnAutostartEntryThatQuotesAHostileCommandPath) {
    const std::vector<std::pair<QString, QString>> execs{
        {"/usr/bin/orvinta", "/usr/bin/orvinta"},
        {"/home/a b/orvinta", R"("/home/a b/orvinta")"},
        {"/home/100%/orvinta", "/home/100%%/orvinta"},
        {"/home/%f/orvinta", "/home/%%f/orvinta"},
        {R"(/home/say "hi"/orvinta)", R"("/home/say \\"hi\\"/orvinta")"},
        {"/home/$(reboot)/`id`/orvinta", R"("/home/\\$(reboot)/\\`id\\`/orvinta")"},
        {R"(/home/back\slash\n/orvinta)", R"("/home/back\\\\slash\\\\n/orvinta")"},
        {R"(/home/x\"y/orvinta)", R"("/home/x\\\\\\"y/orvinta")"},
        {"/home/Hidden=true;#[Group]/orvinta", R"("/home/Hidden=true;#[Group]/orvinta")"},
        {"/home/tab\there/\u00e9t\u00e9/orvinta", "\"/home/tab\\there/\u00e9t\u00e9/orvinta\""},
    };
    for (const auto &[path, exec] : execs) {
        SCOPED_TRACE(path.toStdString());
        QTemporaryDir config;
        XdgAutostart autostart(config.path(), path);
        EXPECT_FALSE(autostart.isEnabled());
        ASSERT_TRUE(autostart.setEnabled(true).isEmpty());
        EXPECT_TRUE(autostart.isEnabled());
        EXPECT_EQ(QString::fromUtf8(readAll(autostart.entryPath())),
                  "[Desktop Entry]\nType=Application\nName=Orvinta\nComment=Live speech-to-text "
                  "subtitles\nExec=" +
                      exec + "\nIcon=orvinta\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
        EXPECT_TRUE(autostart.setEnabled(false).isEmpty());
        EXPECT_FALSE(autostart.isEnabled());
        EXPECT_TRUE(autostart.setEnabled(false).isEmpty()); // already off
    }
    // A line break cannot be written into an Exec line at all: nothing is written.
    for (const QString &path :
         {QStringLiteral("/home/a\nHidden=true/orvinta"), QStringLiteral("/home/a\rb/orvinta")}) {
        QTemporaryDir config;
        XdgAutostart autostart(config.path(), path);
        const QString error = autostart.setEnabled(true);
        EXPECT_TRUE(error.contains("line break")) << error.toStdString();
        EXPECT_FALSE(QFile::exists(autostart.entryPath()));
        EXPECT_FALSE(autostart.isEnabled());
    }
}

TEST(Preferences, theUsersFileIsInTheXdgConfigHomeAndWritesKeptInMemoryLeaveItAlone) {
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

    // The user's store is the file in the XDG config home.
    qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
    PreferencesStore store;
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(store.fileName(), folder.filePath("Orvinta/Orvinta.conf"));
}
