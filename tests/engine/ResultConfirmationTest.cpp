#include "Fakes.h"

#include <OrvintaEngine/ResultConfirmation.h>

using namespace OrvintaTest;

namespace {

class ResultConfirmationTest : public ::testing::Test {
protected:
    FakeDelegate delegate;
    STTEngineDelegate *current = &delegate;
    ResultConfirmation confirmation{[this] { return current; }};
    LogCapture log{true};

    MediaTime seconds(double value) { return MediaTime(static_cast<std::int64_t>(value * 1e6)); }
};

TEST_F(ResultConfirmationTest, SentenceSeenByPunctuationAndAgainInTheFinalIsConfirmedOnce) {
    confirmation.handleVolatileResult("Hello world. How are");
    EXPECT_EQ(delegate.events, (QStringList{"interim:How are", "line:Hello world."}));

    confirmation.handleVolatileResult("Hello world. How are you doing");
    EXPECT_EQ(delegate.lines, QStringList{"Hello world."});
    EXPECT_EQ(delegate.interimText, "How are you doing");

    confirmation.handleFinalResult(finalResult({{"Hello ", {0.0, 0.4}},
                                                {"world. ", {0.4, 0.9}},
                                                {"How ", {1.0, 1.2}},
                                                {"are ", {1.2, 1.4}},
                                                {"you ", {1.4, 1.6}},
                                                {"doing?", {1.6, 2.1}}}));
    EXPECT_EQ(delegate.lines, (QStringList{"Hello world.", "How are you doing?"}));
    // Each line comes with its own words and their times; punctuation gives none.
    EXPECT_EQ(delegate.heardWords,
              (QStringList{"", "How 1000-1200, are 1200-1400, you 1400-1600, doing? 1600-2100"}));
    EXPECT_EQ(delegate.interimText, "");
    EXPECT_EQ(confirmation.maxConfirmedAudioEnd(), seconds(2.1));

    EXPECT_TRUE(log.speech().contains("[Speech] CONFIRMED (final): \"How are you doing?\""));

    // The tracker was emptied by the final: the same sentence in the next
    // utterance is new speech.
    confirmation.handleVolatileResult("Hello world. ");
    EXPECT_EQ(delegate.lines.size(), 3);
}

TEST_F(ResultConfirmationTest, InterimTextIsTrimmedOfSpacesAndRepeatsAreNotConfirmed) {
    confirmation.handleVolatileResult("Hi. ");
    EXPECT_EQ(delegate.lines, QStringList{"Hi."});
    EXPECT_EQ(delegate.events.first(), "interim:");

    confirmation.handleVolatileResult(" \tso we went\u00a0\n");
    EXPECT_EQ(delegate.interimText, "so we went\u00a0\n");
    EXPECT_EQ(delegate.lines.size(), 1);

    // Repeats and bare terminators are not confirmed; two volatile results
    // ending in the same sentence deliver it with the first.
    confirmation.handleVolatileResult("Yes. Yes. ?");
    EXPECT_EQ(delegate.lines, (QStringList{"Hi.", "Yes."}));
    confirmation.handleVolatileResult("Yes. Yes. ? We left.");
    EXPECT_EQ(delegate.lines, (QStringList{"Hi.", "Yes.", "We left."}));
}

TEST_F(ResultConfirmationTest, FinalWithoutTerminatorIsFlushedWhole) {
    confirmation.handleVolatileResult("and then we");
    confirmation.handleFinalResult(finalResult(
        {{"and ", {0, 0.2}}, {"then ", {0.2, 0.4}}, {"we ", {0.4, 0.5}}, {"left", {0.5, 0.9}}}));
    EXPECT_EQ(delegate.lines, QStringList{"and then we left"});
    EXPECT_EQ(delegate.heardWords.last(), "and 0-200, then 200-400, we 400-500, left 500-900");
    EXPECT_EQ(delegate.interimText, "");
}

TEST_F(ResultConfirmationTest, FinalSkipsWordsOfAudioAnEarlierFinalCovered) {
    confirmation.handleFinalResult(finalResult({{"One ", {0, 0.5}}, {"two.", {0.5, 1.0}}}));
    ASSERT_EQ(confirmation.maxConfirmedAudioEnd(), seconds(1.0));

    // Leading runs before 1.0 s are skipped, the rest is confirmed.
    confirmation.handleFinalResult(
        finalResult({{"two ", {0.5, 1.0}}, {"three ", {1.0, 1.4}}, {"four.", {1.4, 2.0}}}));
    EXPECT_EQ(delegate.lines, (QStringList{"One two.", "three four."}));

    // Entirely old audio confirms nothing, and the end moves back to its own.
    confirmation.handleFinalResult(finalResult({{"old ", {0.2, 0.6}}, {"words.", {0.6, 1.5}}}));
    EXPECT_EQ(delegate.lines.size(), 2);
    EXPECT_EQ(confirmation.maxConfirmedAudioEnd(), seconds(1.5));
    EXPECT_EQ(delegate.interimText, "");

    // An untimed first run stops the skipping, and without any time ranges the
    // end stays where it was.
    confirmation.handleFinalResult({true, {{"Fresh ", std::nullopt}, {"start.", std::nullopt}}});
    EXPECT_EQ(delegate.lines.last(), "Fresh start.");
    EXPECT_EQ(confirmation.maxConfirmedAudioEnd(), seconds(1.5));

    RecognitionResult firstUntimed = finalResult({{"early ", {0.1, 0.3}}, {"words.", {0.3, 0.8}}});
    firstUntimed.runs.insert(firstUntimed.runs.begin(), {"Still ", std::nullopt});
    confirmation.handleFinalResult(firstUntimed);
    EXPECT_EQ(delegate.lines.last(), "Still early words.");
    EXPECT_EQ(confirmation.maxConfirmedAudioEnd(), seconds(0.8));

    confirmation.reset();
    EXPECT_EQ(confirmation.maxConfirmedAudioEnd(), MediaTime{0});
}

TEST_F(ResultConfirmationTest, WithoutDelegateNothingIsDeliveredButDuplicatesAreStillTracked) {
    current = nullptr;
    confirmation.handleVolatileResult("Gone away. Still");
    current = &delegate;
    confirmation.handleVolatileResult("Gone away. Still here");
    EXPECT_TRUE(delegate.lines.isEmpty());
    EXPECT_EQ(delegate.interimText, "Still here");
}

TEST(TrimSpaces, RemovesSpaceSeparatorsAndTabsOnly) {
    EXPECT_EQ(trimSpaces(" \t\u2003a b\u202f"), "a b");
    EXPECT_EQ(trimSpaces("\na\n"), "\na\n");
    EXPECT_EQ(trimSpaces("\u00a0"), "");
    EXPECT_EQ(trimSpaces("\u2026"), "\u2026"); // an ellipsis shares its lead byte with spaces
}

} // namespace
