#include "../WindowTestSupport.h"
#include "AppTestSupport.h"

#include <OrvintaUi/CaptionStyle.h>
#include <OrvintaUi/DesktopMotion.h>
#include <OrvintaUi/OverlayLineModel.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>
#include <OrvintaUi/OverlayWindowItems.h>
#include <OrvintaUi/UiTheme.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <limits>
#include <thread>
#include <tuple>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

/// A desktop theme's palette with a highlight too faint for white text.
QPalette desktopPalette(bool dark) {
    QPalette palette = themePalette(dark);
    palette.setColor(QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
    return palette;
}

struct Overlay : AppFixture {
    void addLines(int count, const QString &prefix = "Line") {
        for (int i = 1; i <= count; ++i)
            state->addConfirmedLine(QString("%1 %2").arg(prefix).arg(i));
    }
    QStringList listedTexts() const {
        QStringList texts;
        for (int row = 0; row < model.lines()->rowCount(); ++row)
            texts << model.lines()->index(row, 0).data(Transcript::TextRole).toString();
        return texts;
    }
    QString marked(int row) const {
        return model.lines()->index(row, 0).data(OverlayLineModel::HighlightedTextRole).toString();
    }

    OverlaySettings settings{preferences};
    UiTheme theme{nullptr};
    OverlayViewModel model{*state, settings, theme, std::make_shared<PrefixTranslator>()};
};

} // namespace

TEST(OverlaySettings, storedValuesAndWrites) {
    AppFixture f;
    {
        OverlaySettings settings(f.preferences);
        QSignalSpy opacity(&settings, &OverlaySettings::opacityChanged);
        settings.setOpacity(0.6); // the default
        EXPECT_EQ(opacity.count(), 0);
        // The equal value is still written: a store without defaults reads it.
        EXPECT_DOUBLE_EQ(PreferencesStore(f.preferences->fileName()).doubleValue("overlay.opacity"),
                         0.6);
        settings.setPinned(false);
        settings.setFontSize(20);
    }
    PreferencesStore reread(f.preferences->fileName());
    EXPECT_FALSE(reread.boolValue("overlay.pinned"));
    EXPECT_DOUBLE_EQ(reread.doubleValue("overlay.fontSize"), 20);

    // Out of the sliders' ranges but drawable: kept. Not a number: the default.
    f.preferences->setDouble("overlay.opacity", 0.05);
    f.preferences->setDouble("overlay.autoHideDelay", -3);
    OverlaySettings reloaded(f.preferences);
    EXPECT_DOUBLE_EQ(reloaded.opacity(), 0.05);
    EXPECT_DOUBLE_EQ(reloaded.autoHideDelay(), 5.0);
    // A font size the slider could not set is the default or brought into 10 to 64 points.
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (auto [hostile, size] :
         {std::pair{"nan", 15.0}, {"1e9", 64.0}, {"-5", 15.0}, {"0.5", 10.0}}) {
        f.preferences->setString("overlay.fontSize", hostile);
        EXPECT_DOUBLE_EQ(OverlaySettings(f.preferences).fontSize(), size) << hostile;
    }
    for (auto [hostile, size] : {std::pair{inf, 15.0}, {1e9, 64.0}, {-inf, 15.0}}) {
        reloaded.setFontSize(hostile);
        EXPECT_DOUBLE_EQ(reloaded.fontSize(), size) << hostile;
    }

    // The caption style is remembered; a preset sets both colours, a colour
    // chosen alone makes the style Custom; names nothing knows are the defaults.
    using Preset = OverlaySettings::Preset;
    {
        QSignalSpy style(&reloaded, &OverlaySettings::captionStyleChanged);
        reloaded.setPreset(Preset::HighContrast);
        EXPECT_EQ(reloaded.textColor(), QColor(0xff, 0xff, 0x00));
        EXPECT_EQ(reloaded.backgroundColor(), QColor(Qt::black));
        reloaded.setBackgroundColor(QColor(0, 0, 0x80));
        EXPECT_EQ(reloaded.preset(), Preset::Custom);
        reloaded.setBackgroundOpacity(0.7);
        reloaded.setEdgeStyle(OverlaySettings::EdgeStyle::Outline);
        reloaded.setFontFamily("DejaVu Serif");
        reloaded.setCompact(true);
        reloaded.setPlacement(OverlaySettings::Placement::DockedTop);
        EXPECT_EQ(style.count(), 5);
    }
    OverlaySettings styled(f.preferences);
    EXPECT_EQ(std::tuple(styled.preset(), styled.textColor(), styled.backgroundColor(),
                         styled.backgroundOpacity(), styled.edgeStyle(), styled.fontFamily(),
                         styled.compact(), styled.placement()),
              std::tuple(Preset::Custom, QColor(0xff, 0xff, 0x00), QColor(0, 0, 0x80), 0.7,
                         OverlaySettings::EdgeStyle::Outline, QString("DejaVu Serif"), true,
                         OverlaySettings::Placement::DockedTop));
    styled.setPreset(Preset::Default);
    EXPECT_FALSE(OverlaySettings(f.preferences).textColor().isValid());
    f.preferences->setString("overlay.captionPreset", "Sparkly");
    f.preferences->setString("overlay.placement", "left");
    f.preferences->setDouble("overlay.backgroundOpacity", 7);
    const OverlaySettings unknown(f.preferences);
    EXPECT_EQ(std::tuple(unknown.preset(), unknown.placement(), unknown.backgroundOpacity()),
              std::tuple(Preset::Default, OverlaySettings::Placement::Floating, 1.0));

    EXPECT_FALSE(reloaded.savedFrame());
    reloaded.saveFrame(QRect(10, 20, 700, 200));
    EXPECT_EQ(OverlaySettings(f.preferences).savedFrame(), QRect(10, 20, 700, 200));
    // Edges past the largest coordinate are unreadable too.
    for (const char *unreadable : {"garbage 1 2", "2147483647 0 2147483647 300"}) {
        f.preferences->setString("OrvintaOverlay", unreadable);
        EXPECT_FALSE(OverlaySettings(f.preferences).savedFrame()) << unreadable;
    }
}

// The first frame, a saved one too small or too large, the minimum sizes and
// docking at the top: OverlayWindowTest.
TEST(OverlayWindowFrame, aFrameOffTheScreensComesBackAndADragOutwardsGrows) {
    // A frame off the screens, larger than its screen or reaching past an edge
    // is brought onto the screen it is on.
    const QRect screen(0, 0, 1440, 900), right(1440, 0, 1920, 1080);
    constexpr int most = std::numeric_limits<int>::max();
    for (const auto &[saved, screens, restored] :
         std::initializer_list<std::tuple<QRect, QList<QRect>, QRect>>{
             {{2000, 100, 700, 200}, {screen}, {420, 540, 600, 280}},
             {{0, 0, most, most}, {screen}, screen},
             {{-30000, -30000, most, most}, {screen}, screen},
             {{1000, 800, 700, 200}, {screen}, {740, 700, 700, 200}},
             {{1500, -50, 5000, 300}, {screen, right}, {1440, 0, 1920, 300}}})
        EXPECT_EQ(OverlayWindowController::restoredFrame(saved, screen, screens), restored);
    // Docked: the screen's whole width along its edge, at most half its height.
    using Placement = OverlaySettings::Placement;
    EXPECT_EQ(OverlayWindowController::dockedFrame(right, Placement::DockedBottom, 5000),
              QRect(1440, 540, 1920, 540));
    EXPECT_FALSE(OverlayWindowController::dockedFrame(screen, Placement::Floating, 120));
    const QPointF grab(425, 815);
    EXPECT_EQ(overlayResizedFrame(OverlayCorner::bottomLeft, QRect(420, 540, 600, 280), grab,
                                  grab + QPointF(-100, 30)),
              QRect(320, 540, 700, 310));
}

TEST(OverlaySearch, barFromTheThirdLineRowByRowLocaleAwareMarksAndAClearedTranscriptEndsTheQuery) {
    Overlay o;
    o.addLines(2);
    EXPECT_FALSE(o.model.searchBarVisible());
    o.state->addConfirmedLine("Say hello to the WORLD.");
    EXPECT_TRUE(o.model.searchBarVisible());
    o.state->addConfirmedLine("The world is round.");
    o.state->setInterimText("still speaking");
    ASSERT_TRUE(waitUntil([&] { return o.model.displayedInterim() == "still speaking"; }));
    EXPECT_EQ(o.model.placeholder(), OverlayViewModel::Placeholder::Interim);

    o.model.setSearchQuery("World");
    EXPECT_EQ(o.listedTexts(), QStringList({"Say hello to the WORLD.", "The world is round."}));
    EXPECT_EQ(o.model.resultText(), "2 results");
    EXPECT_EQ(o.model.placeholder(), OverlayViewModel::Placeholder::None);
    EXPECT_TRUE(o.marked(0).contains(">WORLD</span>")) << o.marked(0).toStdString();
    EXPECT_TRUE(o.marked(1).contains(">world</span>")) << o.marked(1).toStdString();

    o.model.setSearchQuery("round");
    EXPECT_EQ(o.model.resultText(), "1 result");
    o.model.setSearchQuery("");
    EXPECT_EQ(o.model.lines()->rowCount(), 4);
    EXPECT_EQ(o.model.placeholder(), OverlayViewModel::Placeholder::Interim);

    // A new line inserts one row, with or without a query.
    QSignalSpy inserted(o.model.lines(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(o.model.lines(), &QAbstractItemModel::modelReset);
    QSignalSpy layout(o.model.lines(), &QAbstractItemModel::layoutChanged);
    o.state->addConfirmedLine("Line 5");
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).mid(1), QVariantList({4, 4})); // first and last row
    o.model.setSearchQuery("Line");
    inserted.clear(), reset.clear(), layout.clear();
    o.state->addConfirmedLine("Line 6");
    o.state->addConfirmedLine("Nothing to find");
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 3);
    EXPECT_EQ(reset.count() + layout.count(), 0);

    // A query whose field is gone is cleared.
    o.model.setSearchQuery("round");
    o.state->transcript()->clearAll();
    EXPECT_FALSE(o.model.searchBarVisible());
    EXPECT_EQ(o.model.searchQuery(), "");
    o.state->addConfirmedLine("After clearing");
    EXPECT_EQ(o.listedTexts(), QStringList({"After clearing"}));

    o.state->preferences()->setTargetLanguage("es-ES");
    o.state->addConfirmedLine("Straße und Café");
    o.state->addConfirmedLine("cafe au lait");
    o.state->setTranslation("Línea uno", o.state->transcript()->confirmedLines().at(0).id);

    // Case does not count, accents do; canonically equal forms are equal.
    o.model.setSearchQuery("CAFÉ");
    EXPECT_EQ(o.listedTexts(), QStringList({"Straße und Café"}));
    o.model.setSearchQuery(QString::fromUtf8("cafe\u0301"));
    EXPECT_EQ(o.listedTexts(), QStringList({"Straße und Café"}));

    // A line listed for its translation shows no mark in its own text.
    o.model.setSearchQuery("línea");
    EXPECT_EQ(o.listedTexts(), QStringList({"After clearing"}));
    int marks = -1;
    highlightedText("After clearing", "línea", Qt::yellow, Qt::yellow, &marks);
    EXPECT_EQ(marks, 0);

    // Lower-casing that lengthens a character before a match still marks the
    // right characters; a match inside such a character is not marked.
    const QString text = QString::fromUtf8("İstanbul und Bul");
    const QString html = highlightedText(text, "bul", Qt::yellow, Qt::yellow, &marks);
    EXPECT_EQ(marks, 2);
    EXPECT_TRUE(html.contains(QString::fromUtf8("İstan<span"))) << html.toStdString();
    EXPECT_TRUE(html.contains(">Bul</span>")) << html.toStdString();
    // Markup in a line is text, not markup.
    EXPECT_TRUE(
        highlightedText("<b>bold</b>", "bold", Qt::yellow, Qt::yellow).startsWith("&lt;b&gt;"));
}

TEST(OverlayTypewriter, fiveCharactersPerStepRevisionsAtOnceAndAConfirmedLineEmptiesIt) {
    Overlay o;
    o.state->setInterimText("123456789");
    ASSERT_TRUE(waitUntil([&] { return o.model.displayedInterim() == "123456789"; }));
    EXPECT_FALSE(o.model.typing());

    QElapsedTimer clock;
    QSignalSpy shown(&o.model, &OverlayViewModel::displayedInterimChanged);
    clock.start();
    o.state->setInterimText("1234567890abcdefghi");
    EXPECT_EQ(o.model.displayedInterim(), "1234567890abcd");
    EXPECT_TRUE(o.model.typing());
    ASSERT_TRUE(waitUntil([&] { return o.model.displayedInterim() == "1234567890abcdefghi"; }));
    EXPECT_GE(clock.elapsed(), 90);
    EXPECT_EQ(shown.count(), 2);
    EXPECT_FALSE(o.model.typing());

    // Not an extension of what is shown: replaced at once.
    o.state->setInterimText("Something else entirely");
    EXPECT_EQ(o.model.displayedInterim(), "Something else entirely");
    // An accent added to the last character changes that character: replaced too.
    o.state->setInterimText("cafe");
    o.state->setInterimText(QString::fromUtf8("cafe\u0301"));
    EXPECT_EQ(o.model.displayedInterim(), QString::fromUtf8("cafe\u0301"));
    o.state->setInterimText("");
    EXPECT_EQ(o.model.displayedInterim(), "");

    // A confirmed line empties the bubble while typing.
    o.state->setInterimText("This sentence is still being typed out");
    EXPECT_TRUE(o.model.typing());
    o.state->addConfirmedLine("This sentence is done.");
    EXPECT_EQ(o.model.displayedInterim(), "");
    EXPECT_FALSE(o.model.typing());
    spin(250ms);
    EXPECT_EQ(o.model.displayedInterim(), "");
    EXPECT_FALSE(o.model.hasPendingTimers());

    // Under reduced motion whole words appear, never part of one.
    o.model.setReducedMotion(true);
    o.state->setInterimText("Words");
    QStringList steps;
    QObject::connect(&o.model, &OverlayViewModel::displayedInterimChanged, &o.model,
                     [&] { steps << o.model.displayedInterim(); });
    o.state->setInterimText("Words appear whole, extraordinarily long ones too");
    ASSERT_TRUE(waitUntil([&] { return !o.model.typing(); }));
    EXPECT_EQ(steps, QStringList({"Words appear ", "Words appear whole, ",
                                  "Words appear whole, extraordinarily ",
                                  "Words appear whole, extraordinarily long ",
                                  "Words appear whole, extraordinarily long ones ",
                                  "Words appear whole, extraordinarily long ones too"}));
}

TEST(OverlayAutoHide, fadesAfterTheDelayAndReturnsWithNewText) {
    Overlay o;
    EXPECT_FALSE(o.model.hasPendingTimers());
    o.settings.setAutoHideDelay(0.3);
    o.settings.setAutoHideEnabled(true);
    o.state->setInterimText("Hi");
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return o.model.isAutoHidden(); }));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_FALSE(o.model.hasPendingTimers());
    o.state->setInterimText("Hi there");
    EXPECT_FALSE(o.model.isAutoHidden());
    ASSERT_TRUE(waitUntil([&] { return o.model.isAutoHidden(); }));
    o.state->addConfirmedLine("Hi there.");
    EXPECT_FALSE(o.model.isAutoHidden());
    o.settings.setAutoHideEnabled(false);
    spin(500ms);
    EXPECT_FALSE(o.model.isAutoHidden());
    EXPECT_FALSE(o.model.hasPendingTimers());
}

TEST(OverlayScrolling, newPillWhenScrolledUpAndNoUnpinningWithFewLines) {
    Overlay o;
    o.addLines(3);
    o.model.updateScrollMetrics(true, 300), o.model.updateScrollMetrics(false, 300);
    EXPECT_TRUE(o.model.stickToBottom());

    o.addLines(7, "More");
    o.model.updateScrollMetrics(true, 900);
    QSignalSpy scrolls(&o.model, &OverlayViewModel::scrollToBottomRequested);
    // The user scrolls up: the content did not grow.
    o.model.updateScrollMetrics(false, 900);
    EXPECT_FALSE(o.model.stickToBottom());
    EXPECT_FALSE(o.model.hasNewLines());
    o.state->addConfirmedLine("A new line");
    EXPECT_TRUE(o.model.hasNewLines());
    o.model.updateScrollMetrics(false, 990);
    EXPECT_EQ(scrolls.count(), 0) << "the list must not move while scrolled up";

    o.model.jumpToNewLines();
    EXPECT_TRUE(o.model.stickToBottom());
    EXPECT_FALSE(o.model.hasNewLines());
    EXPECT_EQ(scrolls.count(), 1);
    o.state->addConfirmedLine("Followed");
    EXPECT_EQ(scrolls.count(), 2);
    o.model.updateScrollMetrics(true, 1100);
    EXPECT_EQ(scrolls.count(), 3);

    // Scrolled up again, then back within reach of the end: following again.
    o.model.updateScrollMetrics(false, 1100);
    o.state->addConfirmedLine("Unseen");
    EXPECT_TRUE(o.model.hasNewLines());
    o.model.updateScrollMetrics(true, 1190);
    EXPECT_TRUE(o.model.stickToBottom());
    EXPECT_FALSE(o.model.hasNewLines());

    // While searching, scrolling up does not unpin.
    o.model.setSearchQuery("More");
    o.model.updateScrollMetrics(false, 1190);
    EXPECT_TRUE(o.model.stickToBottom());
}

// The lines' translations: TranslationTest.
TEST(OverlayFooter, countsIdleLanguagePairAndTheInterimTranslation) {
    Overlay o;
    EXPECT_EQ(o.model.placeholder(), OverlayViewModel::Placeholder::Empty);
    EXPECT_FALSE(o.model.showIdle());
    o.state->addConfirmedLine("Hello");
    EXPECT_EQ(o.model.countsText(), "1 line · 1 word");
    EXPECT_TRUE(o.model.showIdle());
    o.state->addConfirmedLine("two  words");
    EXPECT_EQ(o.model.countsText(), "2 lines · 3 words");
    o.state->transcript()->deleteLine(o.state->transcript()->confirmedLines().at(0).id);
    EXPECT_EQ(o.model.countsText(), "1 line · 2 words");

    EXPECT_FALSE(o.model.shouldShowTranslation());
    o.state->preferences()->setTargetLanguage("es-ES");
    EXPECT_TRUE(o.model.shouldShowTranslation());
    o.model.setShortcutTexts("Ctrl+Alt+S", "Ctrl+Alt+O");
    EXPECT_EQ(o.model.closeToolTip(), "Hide overlay (Ctrl+Alt+O)");

    // The interim text is translated while listening.
    o.toggleListening();
    o.state->setInterimText("How are you");
    ASSERT_TRUE(waitUntil([&] { return o.model.interimTranslation() == "es-ES:How are you"; }));
    o.state->preferences()->setTargetLanguage("en-US");
    EXPECT_EQ(o.model.interimTranslation(), "");
    EXPECT_FALSE(o.model.shouldShowTranslation());
}

TEST(OverlayFooter, recordButtonWaitsForTheModelAndARunWaitingForItsApplicationOrServerSaysSo) {
    AppFixture f;
    f.recognizer->whileReserving = [] { std::this_thread::sleep_for(200ms); };
    f.capture->systemAudio->whileStarting = [] { std::this_thread::sleep_for(200ms); };
    f.state.reset();
    f.state = f.makeState(false);
    OverlaySettings settings(f.preferences);
    UiTheme theme{nullptr};
    OverlayViewModel model(*f.state, settings, theme, std::make_shared<PrefixTranslator>());
    EXPECT_FALSE(model.canToggleListening());
    ASSERT_TRUE(waitUntil([&] { return model.canToggleListening(); }));
    EXPECT_EQ(model.placeholder(), OverlayViewModel::Placeholder::Empty);
    model.toggleListening();
    EXPECT_FALSE(model.canToggleListening());
    ASSERT_TRUE(waitUntil([&] { return model.isListening() && model.canToggleListening(); }));
    EXPECT_EQ(model.placeholder(), OverlayViewModel::Placeholder::Listening);

    // A run waiting for its application says so below the lines.
    Overlay g;
    g.state->preferences()->setSelectedSource(AudioSourceType::application);
    g.state->preferences()->setSelectedApplication("Alpha");
    g.toggleListening();
    g.state->addConfirmedLine("Said before the pause.");
    EXPECT_EQ(g.model.placeholder(), OverlayViewModel::Placeholder::None);
    g.capture->applicationAudio->onWaiting(true);
    ASSERT_TRUE(waitUntil(
        [&] { return g.model.placeholder() == OverlayViewModel::Placeholder::Listening; }));
    EXPECT_EQ(g.model.listeningText(), "Waiting for Alpha to play sound");
    g.capture->applicationAudio->onWaiting(false);
    ASSERT_TRUE(
        waitUntil([&] { return g.model.placeholder() == OverlayViewModel::Placeholder::None; }));
    EXPECT_EQ(g.model.listeningText(), "Listening...");

    // So does a run waiting for the sound server.
    QSignalSpy placeholder(&g.model, &OverlayViewModel::placeholderChanged);
    STTEngineDelegate &engineSide = *g.state->listening();
    engineSide.setIsReconnecting(true);
    EXPECT_EQ(placeholder.count(), 1);
    EXPECT_EQ(g.model.placeholder(), OverlayViewModel::Placeholder::Listening);
    EXPECT_EQ(g.model.listeningText(), "Reconnecting to the sound server…");
    engineSide.setIsReconnecting(false);
    EXPECT_EQ(g.model.placeholder(), OverlayViewModel::Placeholder::None);
}

TEST(OverlayActions, copyDeleteTheCopiedBadgeAndReadAloudOnlyWhileOnAndNotWhenPutBack) {
    Overlay o;
    o.addLines(2);
    const ConfirmedLine first = o.state->transcript()->confirmedLines().at(0);
    const QString id = first.id.toString(QUuid::WithoutBraces);
    o.model.copyLine(id, first.text); // the text copied: OverlayWindowTest
    EXPECT_GE(o.clipboard->clears, 1);
    EXPECT_EQ(o.model.copiedLineId(), id);
    ASSERT_TRUE(waitUntil([&] { return o.model.copiedLineId().isEmpty(); }, 3s));
    o.model.deleteLine(id);
    EXPECT_EQ(o.listedTexts(), QStringList({"Line 2"}));
    o.model.deleteLine("not an id");
    EXPECT_EQ(o.model.lineCount(), 1);

    QSignalSpy announced(&o.model, &OverlayViewModel::lineAnnounced);
    o.state->addConfirmedLine("Not read.");
    EXPECT_EQ(announced.count(), 0);
    o.settings.setReadAloud(true);
    EXPECT_TRUE(OverlaySettings(o.preferences).readAloud()) << "remembered";
    o.state->addConfirmedLine("Read me.");
    ASSERT_EQ(announced.count(), 1);
    EXPECT_EQ(announced.at(0).at(0).toString(), "Read me.");
    o.model.deleteLine(
        o.state->transcript()->confirmedLines()[0].id.toString(QUuid::WithoutBraces));
    o.model.undoDelete();
    EXPECT_EQ(announced.count(), 1);
}

TEST(OverlayKeyboard, linesAreSelectedCopiedDeletedWithUndoAndTheKeysLeadToMenuSearchAndOut) {
    Overlay o;
    o.addLines(4);
    o.state->transcript()->setTranslation("Zwei", o.state->transcript()->confirmedLines()[1].id);
    o.settings.setAutoHideDelay(0.05);
    o.settings.setAutoHideEnabled(true);
    o.model.setKeyboardActive(true);
    const auto key = [&](Qt::Key pressed, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return o.model.handleListKey(pressed, int(modifiers));
    };
    const auto selectedText = [&] {
        return o.model.selectedRow() < 0 ? QString() : o.listedTexts().at(o.model.selectedRow());
    };

    // The list takes the keyboard on its newest line; arrows stay within the lines.
    // (Copying, deleting and its undo notice on the X server: OverlayWindowTest.)
    o.model.listFocused();
    EXPECT_EQ(selectedText(), "Line 4");
    QStringList walked;
    for (Qt::Key pressed : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Up, Qt::Key_Home, Qt::Key_Down})
        walked << (key(pressed) ? selectedText() : "not the list's");
    EXPECT_EQ(walked, QStringList({"Line 4", "Line 3", "Line 2", "Line 1", "Line 2"}));
    EXPECT_FALSE(key(Qt::Key_C)) << "a plain letter is not the list's";

    // A new line does not move the selection.
    o.state->addConfirmedLine("Line 5");
    EXPECT_EQ(selectedText(), "Line 2");

    // Delete: the next line is selected, and the deletion can be undone, translation and all.
    EXPECT_TRUE(key(Qt::Key_Delete));
    EXPECT_EQ(o.listedTexts(), QStringList({"Line 1", "Line 3", "Line 4", "Line 5"}));
    EXPECT_TRUE(key(Qt::Key_Z, Qt::ControlModifier));
    EXPECT_EQ(o.listedTexts(), QStringList({"Line 1", "Line 2", "Line 3", "Line 4", "Line 5"}));
    EXPECT_EQ(selectedText(), "Line 2");
    EXPECT_EQ(
        o.state->transcript()->translations().value(o.state->transcript()->confirmedLines()[1].id),
        "Zwei");
    key(Qt::Key_End), key(Qt::Key_Delete);
    EXPECT_EQ(selectedText(), "Line 4");
    o.model.undoDelete();
    EXPECT_EQ(o.listedTexts().last(), "Line 5");

    // The Menu key (or Shift+F10) asks for the line's menu, / and Ctrl+F for the search.
    QSignalSpy menu(&o.model, &OverlayViewModel::lineMenuRequested);
    QSignalSpy search(&o.model, &OverlayViewModel::searchRequested);
    QSignalSpy release(&o.model, &OverlayViewModel::keyboardReleaseRequested);
    key(Qt::Key_Menu), key(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_EQ(menu.count(), 2);
    EXPECT_EQ(menu.at(0).at(1).toString(), "Line 5");
    key(Qt::Key_Slash), key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(search.count(), 2);
    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_EQ(release.count(), 1);

    // While the keyboard is in the overlay it stays; leaving clears the selection.
    spin(150ms);
    EXPECT_FALSE(o.model.isAutoHidden());
    o.model.setKeyboardActive(false);
    EXPECT_EQ(o.model.selectedRow(), -1);
    ASSERT_TRUE(waitUntil([&] { return o.model.isAutoHidden(); }, 3s));
}

TEST(DesktopMotion, readsKdeAndGnomeSettings) {
    QTemporaryDir folder;
    const QString kde = folder.filePath("kdeglobals");
    EXPECT_FALSE(DesktopMotion::kdeAsksForReducedMotion(kde));
    for (auto [factor, reduced] : {std::pair{"0", true}, {"0.5", false}}) {
        writeFile(kde, QByteArray("[KDE]\nAnimationDurationFactor=") + factor + "\n");
        EXPECT_EQ(DesktopMotion::kdeAsksForReducedMotion(kde), reduced) << factor;
    }
    for (const char *reduced : {"false\n", "enable-animations: false\n"})
        EXPECT_TRUE(DesktopMotion::gnomeAnswerMeansReducedMotion(reduced)) << reduced;
    for (const char *animated : {"true\n", ""})
        EXPECT_FALSE(DesktopMotion::gnomeAnswerMeansReducedMotion(animated)) << animated;

    // Followed while running: KDE saves the file by replacing it.
    const char *names[] = {"ORVINTA_REDUCED_MOTION", "XDG_CONFIG_HOME", "XDG_CURRENT_DESKTOP"};
    const QByteArray saved[] = {qgetenv(names[0]), qgetenv(names[1]), qgetenv(names[2])};
    qunsetenv(names[0]);
    qputenv(names[1], folder.path().toUtf8());
    qputenv(names[2], "KDE");
    const auto save = [&](const char *factor) {
        QSaveFile file(kde);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("[KDE]\nAnimationDurationFactor=") + factor + "\n");
        file.commit();
    };
    save("1");
    {
        DesktopMotion motion;
        EXPECT_FALSE(motion.reducedMotion());
        save("0");
        EXPECT_TRUE(waitUntil([&] { return motion.reducedMotion(); }, 5s));
        save("0.5");
        EXPECT_TRUE(waitUntil([&] { return !motion.reducedMotion(); }, 5s));
    }
    for (int i = 0; i < 3; ++i)
        qputenv(names[i], saved[i]);
}

TEST(Contrast, luminanceBlendingAndTheColoursDerivedFromThem) {
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(Contrast::relativeLuminance(QColor(0x80, 0x80, 0x80)), 0.2159, 0.001);
    const QColor halfWhite(255, 255, 255, 128);
    EXPECT_EQ(Contrast::over(halfWhite, Qt::black).rgba(), qRgba(128, 128, 128, 255));
    // A translucent background is judged over both a white and a black desktop.
    const QColor white(255, 255, 255, 77); // 30 %
    EXPECT_LT(Contrast::worstRatio(Qt::black, white), 3.0);
    for (const auto &[text, background] : {std::pair{QColor(Qt::black), QColor(Qt::white)},
                                           {QColor(0xe0, 0xe0, 0xe0), QColor(0x2b, 0x2b, 0x2b)},
                                           {QColor(0xff, 0xff, 0x00), QColor(Qt::black)}}) {
        const double least = Contrast::leastBackgroundAlpha(text, background, 7.0);
        QColor at = background;
        at.setAlphaF(float(least));
        EXPECT_GE(Contrast::worstRatio(text, at), 7.0) << text.name().toStdString();
        at.setAlphaF(float(least - 1.0 / 256));
        EXPECT_LT(Contrast::worstRatio(text, at), 7.0) << text.name().toStdString();
    }
    EXPECT_EQ(Contrast::leastBackgroundAlpha(Qt::gray, Qt::white, 7.0), 1.0);
    // A colour too faint moves as little as it must; one that reads stays.
    const QColor amber(0xff, 0xd6, 0x0a);
    EXPECT_LT(contrastRatio(amber, Qt::white), 2.0);
    const QColor readableAmber = Contrast::readable(amber, Qt::white, 4.5);
    EXPECT_GE(contrastRatio(readableAmber, Qt::white), 4.5);
    EXPECT_LT(contrastRatio(readableAmber, Qt::white), 4.8);
    EXPECT_EQ(Contrast::readable(Qt::black, Qt::white, 7.0), QColor(Qt::black));
    const QColor faint = Contrast::emphasis(Qt::black, 0.3, Qt::white, 4.5);
    EXPECT_GT(faint.alphaF(), 0.3);
    EXPECT_GE(Contrast::worstRatio(faint, Qt::white), 4.5);
}

TEST(CaptionStyle,
     everyPresetAndThemeStaysLegibleAtAnyWindowOpacityAndTheDesktopsHighContrastWins) {
    AppFixture f;
    OverlaySettings settings(f.preferences);
    settings.setBackgroundOpacity(0); // as faint as the user may ask: the least legible
    UiTheme desktop{nullptr};
    CaptionStyle style(settings, desktop);
    const QPalette original = QGuiApplication::palette();
    using Preset = OverlaySettings::Preset;
    for (const bool dark : {false, true}) {
        QGuiApplication::setPalette(desktopPalette(dark));
        ASSERT_EQ(desktop.dark(), dark);
        for (const Preset preset :
             {Preset::Default, Preset::HighContrast, Preset::WhiteOnBlack, Preset::BlackOnWhite}) {
            settings.setPreset(preset);
            for (const double opacity : {0.1, 0.6}) {
                settings.setOpacity(opacity);
                const std::string at = std::to_string(int(preset)) + (dark ? " dark " : " light ") +
                                       std::to_string(opacity);
                EXPECT_GE(Contrast::worstRatio(style.text(), style.backdrop()), 7.0) << at;
                for (const QColor &other : {style.interim(), style.secondary(),
                                            style.microphoneSpeaker(), style.computerSpeaker()})
                    EXPECT_GE(Contrast::worstRatio(other, style.backdrop()), 4.5) << at;
                // The two sides of a call stay apart in colour.
                EXPECT_NE(style.microphoneSpeaker().rgb(), style.computerSpeaker().rgb()) << at;
                // The search mark inverts the caption's colours.
                EXPECT_GE(contrastRatio(style.mark(), style.markBackground()), 7.0) << at;
                EXPECT_NEAR(style.chrome().alphaF(), opacity, 0.01) << at;
            }
        }
        // The windows' own colours: every text at least 4.5:1 on window and base.
        const UiTheme::Colors theme = UiTheme::derive(desktopPalette(dark));
        const QPalette &p = theme.palette;
        for (const QColor &text :
             {theme.text, theme.secondaryText, theme.accent, theme.success, theme.warning,
              theme.danger, p.color(QPalette::Link), p.color(QPalette::PlaceholderText)})
            for (const QColor &ground : {p.color(QPalette::Window), p.color(QPalette::Base)})
                EXPECT_GE(Contrast::worstRatio(text, ground), 4.5) << text.name().toStdString();
        for (const auto &[text, fill] :
             {std::pair{theme.onFill, theme.accentFill},
              {theme.onFill, theme.dangerFill},
              {p.color(QPalette::ButtonText), p.color(QPalette::Button)},
              {p.color(QPalette::HighlightedText), p.color(QPalette::Highlight)}})
            EXPECT_GE(contrastRatio(text, fill), 4.5) << fill.name().toStdString();
    }
    QGuiApplication::setPalette(original);

    // A pair that cannot reach 7:1 gets a readable text colour.
    settings.setTextColor(QColor(0xff, 0xff, 0x00));
    settings.setBackgroundColor(Qt::white);
    EXPECT_GE(Contrast::worstRatio(style.text(), style.backdrop()), 7.0);
    EXPECT_EQ(style.backdrop().alpha(), 255);

    settings.setPreset(Preset::Default);
    desktop.setHighContrast(true);
    EXPECT_EQ(style.effectivePreset(), Preset::HighContrast);
    EXPECT_EQ(QColor(style.text().rgb()), QColor(0xff, 0xff, 0x00));
    desktop.setHighContrast(false);
    EXPECT_EQ(style.effectivePreset(), Preset::Default);
    for (const char *high : {"true\n", "'HighContrast'\n", "high-contrast: true\n"})
        EXPECT_TRUE(UiTheme::gnomeAnswerMeansHighContrast(high)) << high;
    for (const char *other : {"'Adwaita'\n", "false\n", "gtk-theme: 'Adwaita'\n"})
        EXPECT_FALSE(UiTheme::gnomeAnswerMeansHighContrast(other)) << other;

    // GNOME's switch is followed while Orvinta runs: a gsettings that reports
    // it turned on, then off, as each file appears.
    QTemporaryDir bin;
    const QString fake = bin.filePath("gsettings");
    ASSERT_TRUE(writeFile(fake, "#!/bin/sh\n"
                                "case \"$1 $3\" in\n"
                                "get*) echo false; exit ;;\n"
                                "'monitor high-contrast')\n"
                                "  for state in true false; do\n"
                                "    while [ ! -e \"$0.$state\" ]; do sleep 0.05; done\n"
                                "    echo \"high-contrast: $state\"\n"
                                "  done ;;\n"
                                "esac\n"
                                "exec cat >/dev/null\n"));
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    desktop.followGnomeHighContrast(fake);
    writeFile(fake + ".true", {});
    ASSERT_TRUE(waitUntil([&] { return style.effectivePreset() == Preset::HighContrast; }, 5s));
    writeFile(fake + ".false", {});
    EXPECT_TRUE(waitUntil([&] { return style.effectivePreset() == Preset::Default; }, 5s));
}

TEST(OverlayCompact, twoOrThreeLinesOfAboutFortyTwoCharactersWithTheInterimTextLast) {
    EXPECT_EQ(wrapWords("one two three four", 9), QStringList({"one two", "three", "four"}));
    EXPECT_EQ(wrapWords("unbreakablewordhere x", 5), QStringList({"unbreakablewordhere", "x"}));
    Overlay o;
    EXPECT_EQ(o.model.compactText(), "");
    o.state->addConfirmedLine("It was not an illness, those young and hopeful people said.");
    o.state->addConfirmedLine("The second sentence follows it closely.");
    o.state->addConfirmedLine("And a third one ends the paragraph here.");
    QStringList lines = o.model.compactText().split('\n');
    EXPECT_EQ(lines.size(), OverlayViewModel::compactLineCount);
    for (const QString &line : lines)
        EXPECT_LE(line.size(), OverlayViewModel::compactLineLength) << line.toStdString();
    EXPECT_TRUE(lines.last().endsWith("paragraph here.")) << lines.last().toStdString();
    QSignalSpy changed(&o.model, &OverlayViewModel::compactTextChanged);
    o.state->setInterimText("now speaking");
    ASSERT_TRUE(waitUntil([&] { return o.model.compactInterim() == "now speaking"; }, 3s));
    EXPECT_GT(changed.count(), 0);
    lines = o.model.compactText().split('\n');
    EXPECT_EQ(lines.size(), OverlayViewModel::compactLineCount - 1);
    EXPECT_TRUE(lines.last().endsWith("paragraph here."));
    // A call's sides are named where the speaker changes.
    for (const auto &[text, speaker] : {std::pair{"Are you there?", "Me"},
                                        {"Yes.", "Others"},
                                        {"Go on.", "Others"},
                                        {"Good.", "Me"}})
        o.state->addConfirmedLine(text, speaker);
    EXPECT_TRUE(o.model.compactText().replace('\n', ' ').endsWith(
        "Me: Are you there? Others: Yes. Go on. Me: Good."));
}
