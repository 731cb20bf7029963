// The tray panel's rules, without pixels: what the panel derives from the
// application's state, and what its own controls do.

#include "AppTestSupport.h"

#include <OrvintaApp/DesktopCapabilities.h>
#include <OrvintaUi/LanguageSelection.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/TrayIcon.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

TEST(LanguageSelection, swapExchangesTheLanguagesOnlyWhenBothTablesHoldThem) {
    AppFixture f;
    MenuBarViewModel panel(*f.state);
    LanguageSelection &languages = *panel.languages();
    Preferences &prefs = *f.state->preferences();

    // Same language: no swap, and the note says there is no translation.
    EXPECT_TRUE(languages.sameLanguage());
    EXPECT_FALSE(languages.canSwap());

    prefs.setTargetLanguage("es-ES");
    EXPECT_FALSE(languages.sameLanguage());
    ASSERT_TRUE(languages.canSwap());
    languages.swap();
    EXPECT_EQ(prefs.selectedLocale(), "es-ES");
    EXPECT_EQ(prefs.targetLanguage(), "en-US");

    // A target that cannot be recognised, or a source that cannot be a target,
    // disables the swap; pressing it anyway changes nothing.
    prefs.setSelectedLocale("en-US");
    prefs.setTargetLanguage("zz-ZZ");
    EXPECT_FALSE(languages.canSwap());
    languages.swap();
    EXPECT_EQ(prefs.selectedLocale(), "en-US");
    EXPECT_EQ(prefs.targetLanguage(), "zz-ZZ");
    prefs.setSelectedLocale("xx-XX");
    prefs.setTargetLanguage("en-US");
    EXPECT_FALSE(languages.canSwap());

    // The pickers index into the tables, and picking writes the preference;
    // an index outside the table changes nothing.
    const QVariantList sources = languages.sourceLanguages();
    ASSERT_FALSE(sources.isEmpty());
    languages.selectSource(0);
    EXPECT_EQ(prefs.selectedLocale(), sources[0].toMap()["id"].toString());
    EXPECT_EQ(languages.sourceIndex(), 0);
    languages.selectSource(static_cast<int>(sources.size()));
    languages.selectTarget(-1);
    EXPECT_EQ(languages.sourceIndex(), 0);
    EXPECT_EQ(prefs.targetLanguage(), "en-US");
}

TEST(MenuBarViewModel, copyAllConfirmsForAWhileClearingTakesTwoPressesAndOneOverlaySetUp) {
    AppFixture f;
    f.state->addConfirmedLine("One.");
    f.state->addConfirmedLine("Two.");
    MenuBarViewModel::Options options;
    options.copyConfirmDuration = 100ms;
    MenuBarViewModel panel(*f.state, options);

    panel.copyAllWithFeedback();
    EXPECT_TRUE(panel.showCopyConfirm());
    EXPECT_EQ(f.clipboard->text, QString("One.\nTwo."));
    EXPECT_TRUE(waitUntil([&] { return !panel.showCopyConfirm(); }, 5s));
    // A second copy shows its confirmation for the whole while, not only
    // for what is left of the first one's.
    QElapsedTimer clock;
    panel.copyAllWithFeedback();
    spin(60ms);
    panel.copyAllWithFeedback();
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return !panel.showCopyConfirm(); }, 5s));
    EXPECT_GE(clock.elapsed(), 90);

    QSignalSpy setUp(f.state.get(), &AppState::overlaySetupRequested);
    QSignalSpy shown(f.state.get(), &AppState::overlayVisibilityRequested);

    panel.confirmClear(); // no confirm button yet: nothing happens
    EXPECT_EQ(f.state->transcript()->lineCount(), 2);

    panel.requestClear();
    EXPECT_TRUE(panel.showClearConfirm());
    panel.panelShown(); // reopening the panel keeps the question
    panel.panelShown();
    EXPECT_TRUE(panel.showClearConfirm());
    EXPECT_EQ(setUp.count(), 1);
    EXPECT_EQ(shown.count(), 1);
    panel.cancelClear();
    EXPECT_FALSE(panel.showClearConfirm());
    EXPECT_EQ(f.state->transcript()->lineCount(), 2);

    panel.requestClear();
    panel.confirmClear();
    EXPECT_FALSE(panel.showClearConfirm());
    EXPECT_EQ(f.state->transcript()->lineCount(), 0);
}

TEST(MenuBarViewModel, microphoneAccessStatusStartStopAndTheSettingsAnErrorOffersFollowTheState) {
    AppFixture f;
    MenuBarViewModel panel(*f.state);
    QSignalSpy pulse(&panel, &MenuBarViewModel::activityChanged);
    using Row = MenuBarViewModel::SourceRow;
    EXPECT_EQ(panel.sourceDescription(), "Captures all audio playing on your computer");
    EXPECT_EQ(panel.sourceRow(), Row::Hidden);

    // Choosing the microphone asks for access once; the fixture has no sound
    // server, so asking ends in a refusal.
    panel.selectMicrophone(true);
    EXPECT_EQ(panel.sourceDescription(), "Captures audio from your microphone");
    ASSERT_TRUE(waitUntil([&] { return panel.sourceRow() == Row::AccessDenied; }));
    panel.selectMicrophone(false);
    EXPECT_EQ(panel.sourceRow(), Row::Hidden);

    // The third source: its picker.
    panel.selectSource("application");
    EXPECT_EQ(panel.sourceRow(), Row::ApplicationPicker);
    EXPECT_EQ(panel.sourceDescription(), "Captures only the sound of the chosen application");
    panel.selectSource("systemAudio");
    EXPECT_NE(panel.sourceRow(), Row::ApplicationPicker);

    EXPECT_EQ(panel.activity(), MenuBarViewModel::Activity::Idle);
    EXPECT_EQ(panel.statusText(), "");
    EXPECT_TRUE(panel.startStopEnabled());

    f.toggleListening();
    EXPECT_EQ(panel.activity(), MenuBarViewModel::Activity::Listening);
    EXPECT_EQ(panel.statusText(), "0:00");
    EXPECT_EQ(panel.status()->spokenText(), "Listening");
    EXPECT_TRUE(panel.pulseActive());
    panel.selectMicrophone(true); // the source stays while listening
    EXPECT_EQ(f.state->preferences()->selectedSource(), AudioSourceType::systemAudio);
    panel.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return !f.state->listening()->isListening(); }));

    f.state->dictation()->setIsDictating(true);
    EXPECT_EQ(panel.activity(), MenuBarViewModel::Activity::Dictating);
    EXPECT_EQ(panel.statusText(), "Dictating");
    EXPECT_FALSE(panel.startStopEnabled()); // what a disabled button does: below
    panel.setReducedMotion(true);
    EXPECT_FALSE(panel.pulseActive());
    EXPECT_GE(pulse.count(), 3);

    // Errors offer the settings they are about.
    EXPECT_EQ(panel.errorSettingsText(), "");
    for (auto [error, offered] :
         {std::pair{"System audio access denied. Allow Orvinta to record from the sound server in "
                    "your sound settings.",
                    "Open Sound Settings"},
          {"Microphone access required. Check that a microphone is connected and that Orvinta "
           "may record from it in your sound settings.",
           "Open Microphone Settings"},
          {"Failed to prepare speech recognition: no model", ""}}) {
        f.state->listening()->setErrorMessage(error);
        EXPECT_EQ(panel.errorSettingsText(), offered) << error;
    }
    EXPECT_EQ(errorSettingsFor("No display found for screen capture"),
              MenuBarViewModel::ErrorSettings::sound);
}

TEST(MenuBarViewModel, startStopWaitsForTheModelAndTheFooterShowsItsShortcut) {
    AppFixture f;
    f.recognizer->installedLocales.clear();
    f.restart();
    MenuBarViewModel waiting(*f.state);
    EXPECT_FALSE(waiting.startStopEnabled());
    waiting.toggleListening();
    EXPECT_FALSE(f.state->listening()->isTransitioning());
    EXPECT_EQ(waiting.shortcutText(), "");

    auto hotkeys = std::make_shared<FakeHotkeys>();
    hotkeys->start();
    MenuBarViewModel::Options options;
    options.hotkeys = hotkeys;
    MenuBarViewModel panel(*f.state, options);
    EXPECT_EQ(panel.shortcutText(), QString::fromUtf8("Ctrl+Alt+S"));
    // Changed elsewhere: read again when the panel opens.
    hotkeys->setCombo(HotkeyAction::toggleListening,
                      {49, KeyCombo::shift | KeyCombo::control | KeyCombo::command});
    panel.panelShown();
    EXPECT_EQ(panel.shortcutText(), QString::fromUtf8("Super+Ctrl+Shift+Space"));
    // A shortcut another program holds does not work: the footer does not offer it.
    hotkeys->refused[HotkeyAction::toggleListening] = "another program already uses this shortcut";
    panel.panelShown();
    EXPECT_EQ(panel.shortcutText(), "");

    // Under the footer, a Wayland session says which keyboard features need a step.
    EXPECT_EQ(panel.sessionNote(), "");
    DesktopCapabilities gnome;
    gnome.session = DesktopCapabilities::Session::wayland;
    gnome.paste = DesktopCapabilities::PasteBackend::xtest;
    options.sessionNote = gnome.sessionNote();
    EXPECT_EQ(MenuBarViewModel(*f.state, options).sessionNote(),
              "Global shortcuts, hold-to-dictate and paste at the cursor need a step in this "
              "Wayland session");
}

TEST(TrayIcon, showsTheFrameOfTheCounterWhileListeningAndTheLogoOtherwise) {
    AppFixture f;
    TrayController tray(*f.state);
    EXPECT_EQ(tray.shownFrame(), -1);
    // Named after its symbolic icon, which StatusNotifierItem hosts recolour.
    EXPECT_EQ(tray.trayIcon().icon().name(), "orvinta-tray-symbolic");
    f.toggleListening();
    // The animation advances the counter every 10 ms in the fixture.
    ASSERT_TRUE(waitUntil([&] { return tray.shownFrame() > 0; }));
    EXPECT_EQ(tray.trayIcon().icon().name(),
              QString("orvinta-tray-frame-%1-symbolic").arg(tray.shownFrame()));
    f.toggleListening();
    EXPECT_EQ(tray.shownFrame(), -1);
    // A tentative dictation (the hold key may be part of Ctrl+C) shows nowhere.
    f.state->dictation()->setTentative(true);
    f.state->dictation()->setIsDictating(true);
    EXPECT_EQ(tray.shownFrame(), -1);
    f.state->dictation()->setTentative(false);
    EXPECT_EQ(tray.shownFrame(), 0);
    f.state->dictation()->setIsDictating(false);
    // Under reduced motion, listening shows one still frame.
    tray.setReducedMotion(true);
    f.toggleListening();
    const int still = tray.shownFrame();
    EXPECT_GE(still, 0);
    spin(std::chrono::milliseconds(100));
    EXPECT_EQ(tray.shownFrame(), still);
    f.toggleListening();

    QSignalSpy requested(&tray, &TrayController::panelRequested);
    for (auto reason :
         {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick})
        Q_EMIT tray.trayIcon().activated(reason);
    EXPECT_EQ(requested.count(), 2);
}

TEST(TrayIcon, isDrawnToStandOutFromThePanelOrElseFromThePalette) {
    // Any panel: at least 3:1, light on dark and dark on light.
    for (int v = 0; v <= 255; v += 5)
        for (const QColor &panel :
             {QColor(v, v, v), QColor(v, 0, 0), QColor(0, v, 0), QColor(0, 0, v), QColor(v, v, 0)})
            EXPECT_GE(contrastRatio(trayIconColor(panel), panel), 3.0)
                << panel.name().toStdString();

    // The panel is read around the drawing, which stays off the icon's edge.
    for (const int size : {16, 22, 24, 48}) {
        QImage place(size, size, QImage::Format_RGB32);
        place.fill(QColor(0x30, 0x60, 0x90));
        QPainter(&place).drawImage(0, 0, WaveformArt::logoImage(size, Qt::white));
        const std::optional<QColor> panel = trayBackground(place);
        ASSERT_TRUE(panel);
        EXPECT_LE(std::abs(panel->red() - 0x30) + std::abs(panel->blue() - 0x90), 4) << size;
    }
    EXPECT_FALSE(trayBackground(QImage()));

    // Without a tray that tells the icon's place the palette decides, and
    // its changes redraw the icon.
    AppFixture f;
    TrayController tray(*f.state);
    const QPalette original = QGuiApplication::palette();
    for (const QColor &window : {QColor(0x20, 0x20, 0x20), QColor(0xf6, 0xf5, 0xf4)}) {
        QPalette palette = original;
        palette.setColor(QPalette::Window, window);
        QGuiApplication::setPalette(palette);
        EXPECT_EQ(tray.iconColor(), trayIconColor(window));
        // The logo's tallest bar, at x = 10 of 24.
        const QColor ink = tray.trayIcon().icon().pixmap(24).toImage().pixelColor(9, 12);
        EXPECT_EQ(ink.alpha(), 255);
        EXPECT_GE(contrastRatio(ink, window), 3.0);
    }
    QGuiApplication::setPalette(original);

    // The installed symbolic icons are drawn in the theme's text colour.
    EXPECT_TRUE(WaveformArt::symbolicIconSvg(-1).contains(
        "class=\"ColorScheme-Text\" fill=\"currentColor\""));
}

TEST(TrayIcon, panelOpensNextToTheIconInsideTheScreen) {
    const QRect screen(0, 0, 1440, 900);
    const QSize panel(280, 528);
    // An icon in a top-right tray: below it, pushed left to stay on screen.
    EXPECT_EQ(panelPosition(QRect(1417, 1, 22, 22), panel, screen), QPoint(1160, 27));
    // An icon in a bottom tray: above it, centred on it.
    EXPECT_EQ(panelPosition(QRect(700, 876, 22, 22), panel, screen), QPoint(570, 344));
    // A taller panel than the room above: kept inside the screen.
    EXPECT_EQ(panelPosition(QRect(5, 876, 22, 22), QSize(280, 1000), screen).y(), 0);
    EXPECT_EQ(panelPosition(QRect(5, 876, 22, 22), panel, screen).x(), 0);
}
