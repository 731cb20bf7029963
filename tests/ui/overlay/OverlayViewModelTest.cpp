#include "AppTestSupport.h"

#include <OrvintaUi/DesktopMotion.h>
#include <OrvintaUi/OverlayLineModel.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>
#include <OrvintaUi/OverlayWindowItems.h>

#include <QElapsedTimer>

#include <limits>
#include <thread>
#include <tuple>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

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
    OverlayViewModel model{*state, settings, std::make_shared<PrefixTranslator>()};
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
    // A font size the slider could not set is the default or brought into 10 to 24 points.
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (auto [hostile, size] :
         {std::pair{"nan", 15.0}, {"1e9", 24.0}, {"-5", 15.0}, {"0.5", 10.0}}) {
        f.preferences->setString("overlay.fontSize", hostile);
        EXPECT_DOUBLE_EQ(OverlaySettings(f.preferences).fontSize(), size) << hostile;
    }
    for (auto [hostile, size] : {std::pair{inf, 15.0}, {1e9, 24.0}, {-inf, 15.0}}) {
        reloaded.setFontSize(hostile);
        EXPECT_DOUBLE_EQ(reloaded.fontSize(), size) << hostile;
    }

    EXPECT_FALSE(reloaded.savedFrame());
    reloaded.saveFrame(QRect(10, 20, 700, 200));
    EXPECT_EQ(OverlaySettings(f.preferences).savedFrame(), QRect(10, 20, 700, 200));
    // Edges past the largest coordinate are unreadable too.
    for (const char *unreadable : {"garbage 1 2", "2147483647 0 2147483647 300"}) {
        f.preferences->setString("OrvintaOverlay", unreadable);
        EXPECT_FALSE(OverlaySettings(f.preferences).savedFrame()) << unreadable;
    }
}

// The first frame, a saved one too small and the minimum sizes: OverlayWindowTest.
TEST(OverlayWindowFrame, aFrameOffTheScreensComesBackAndADragOutwardsGrows) {
    // A frame off the screens, larger than its screen or reaching past an edge
    // is brought onto the screen it is on.
    const QRect screen(0, 0, 1440, 900), right(1440, 0, 1920, 1080);
    constexpr int most = std::numeric_limits<int>::max();
    for (const auto &[saved, screens, restored] :
         std::initializer_list<std::tuple<QRect, QList<QRect>, QRect>>{
             {{2000, 100, 700, 200}, {screen}, {420, 540, 600, 280}},
             {{0, 0, 20000, 20000}, {screen}, screen},
             {{0, 0, most, most}, {screen}, screen},
             {{-30000, -30000, most, most}, {screen}, screen},
             {{1000, 800, 700, 200}, {screen}, {740, 700, 700, 200}},
             {{1500, -50, 5000, 300}, {screen, right}, {1440, 0, 1920, 300}}})
        EXPECT_EQ(OverlayWindowController::restoredFrame(saved, screen, screens), restored);
    const QPointF grab(425, 815);
    EXPECT_EQ(overlayResizedFrame(OverlayCorner::bottomLeft, QRect(420, 540, 600, 280), grab,
                                  grab + QPointF(-100, 30)),
              QRect(320, 540, 700, 310));
}

TEST(OverlaySearch, barFromTheThirdLineLocaleAwareMarksAndAClearedTranscriptEndsTheQuery) {
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

TEST(OverlaySearch, aNewLineInsertsOneRowWithOrWithoutAQuery) {
    Overlay o;
    o.addLines(5);
    QAbstractItemModel *lines = o.model.lines();
    QSignalSpy inserted(lines, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(lines, &QAbstractItemModel::modelReset);
    QSignalSpy layout(lines, &QAbstractItemModel::layoutChanged);
    o.state->addConfirmedLine("Line 6");
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).mid(1), QVariantList({5, 5})); // first and last row
    o.model.setSearchQuery("Line");
    inserted.clear();
    o.state->addConfirmedLine("Line 7");
    o.state->addConfirmedLine("Nothing to find");
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 6);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(layout.count(), 0);
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
    o.model.updateScrollMetrics(true, 300);
    o.model.updateScrollMetrics(false, 300);
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

TEST(OverlayFooter, recordButtonWaitsForTheModelAndTransitions) {
    AppFixture f;
    f.recognizer->whileReserving = [] { std::this_thread::sleep_for(200ms); };
    f.capture->systemAudio->whileStarting = [] { std::this_thread::sleep_for(200ms); };
    f.state.reset();
    f.state = f.makeState(false);
    OverlaySettings settings(f.preferences);
    OverlayViewModel model(*f.state, settings, std::make_shared<PrefixTranslator>());
    EXPECT_FALSE(model.canToggleListening());
    ASSERT_TRUE(waitUntil([&] { return model.canToggleListening(); }));
    EXPECT_EQ(model.placeholder(), OverlayViewModel::Placeholder::Empty);
    model.toggleListening();
    EXPECT_FALSE(model.canToggleListening());
    ASSERT_TRUE(waitUntil([&] { return model.isListening() && model.canToggleListening(); }));
    EXPECT_EQ(model.placeholder(), OverlayViewModel::Placeholder::Listening);
}

TEST(OverlayFooter, aRunWaitingForItsApplicationOrTheSoundServerSaysSoBelowTheLines) {
    AppFixture f;
    f.state->preferences()->setSelectedSource(AudioSourceType::application);
    f.state->preferences()->setSelectedApplication("Alpha");
    OverlaySettings settings(f.preferences);
    OverlayViewModel model(*f.state, settings, std::make_shared<PrefixTranslator>());
    f.toggleListening();
    f.state->addConfirmedLine("Said before the pause.");
    EXPECT_EQ(model.placeholder(), OverlayViewModel::Placeholder::None);
    f.capture->applicationAudio->onWaiting(true);
    ASSERT_TRUE(
        waitUntil([&] { return model.placeholder() == OverlayViewModel::Placeholder::Listening; }));
    EXPECT_EQ(model.listeningText(), "Waiting for Alpha to play sound");
    f.capture->applicationAudio->onWaiting(false);
    ASSERT_TRUE(
        waitUntil([&] { return model.placeholder() == OverlayViewModel::Placeholder::None; }));
    EXPECT_EQ(model.listeningText(), "Listening...");

    QSignalSpy placeholder(&model, &OverlayViewModel::placeholderChanged);
    STTEngineDelegate &engineSide = *f.state->listening();
    engineSide.setIsReconnecting(true);
    EXPECT_EQ(placeholder.count(), 1);
    EXPECT_EQ(model.placeholder(), OverlayViewModel::Placeholder::Listening);
    EXPECT_EQ(model.listeningText(), "Reconnecting to the sound server…");
    engineSide.setIsReconnecting(false);
    EXPECT_EQ(model.placeholder(), OverlayViewModel::Placeholder::None);
}

TEST(OverlayActions, copyDeleteAndTheCopiedBadge) {
    Overlay o;
    o.addLines(2);
    const ConfirmedLine first = o.state->transcript()->confirmedLines().at(0);
    const QString id = first.id.toString(QUuid::WithoutBraces);
    o.model.copyLine(id, first.text);
    EXPECT_EQ(o.clipboard->text, "Line 1");
    EXPECT_GE(o.clipboard->clears, 1);
    EXPECT_EQ(o.model.copiedLineId(), id);
    ASSERT_TRUE(waitUntil([&] { return o.model.copiedLineId().isEmpty(); }, 3s));
    o.model.deleteLine(id);
    EXPECT_EQ(o.listedTexts(), QStringList({"Line 2"}));
    o.model.deleteLine("not an id");
    EXPECT_EQ(o.model.lineCount(), 1);
}

TEST(DesktopMotion, readsKdeAndGnomeSettings) {
    QTemporaryDir folder;
    const QString kde = folder.filePath("kdeglobals");
    EXPECT_FALSE(DesktopMotion::kdeAsksForReducedMotion(kde));
    for (auto [factor, reduced] : {std::pair{"0", true}, {"0.5", false}}) {
        writeFile(kde, QByteArray("[KDE]\nAnimationDurationFactor=") + factor + "\n");
        EXPECT_EQ(DesktopMotion::kdeAsksForReducedMotion(kde), reduced) << factor;
    }
    for (auto [answer, reduced] : {std::pair{"false\n", true}, {"true\n", false}, {"", false}})
        EXPECT_EQ(DesktopMotion::gnomeAnswerMeansReducedMotion(answer), reduced) << answer;
}
