#include <TranscriptionCore/SentenceSplitter.h>

#include <gtest/gtest.h>

using namespace TranscriptionCore;
using Sentences = std::vector<std::string>;

TEST(SplitSentences, endsAtTerminatorsButNotAfterAbbreviationsNumbersOrInEllipses) {
    EXPECT_EQ(splitSentences("Hello world. How are you? Fine!"),
              (Sentences{"Hello world.", "How are you?", "Fine!"}));
    EXPECT_EQ(splitSentences("  A.   B.  "), (Sentences{"A.", "B."}));
    EXPECT_EQ(splitSentences("\tA. \tB"), (Sentences{"A.", "B"}));
    EXPECT_EQ(splitSentences("A.\tB. C"), (Sentences{"A.\tB.", "C"}));
    EXPECT_EQ(splitSentences(". next"), (Sentences{".", "next"}));
    EXPECT_EQ(splitSentences("   "), Sentences{});
    EXPECT_EQ(splitSentences(""), Sentences{});
    EXPECT_EQ(splitSentences("no terminator here "), (Sentences{"no terminator here"}));
    // One sentence: terminators in a row or without a space after them, after
    // an abbreviation, inside a number.
    for (const char *whole :
         {"Really?!", "Hello!World", "Hello.\nWorld.", "Wait...what?", "Dr. Smith arrived.",
          "I met Mr. Jones", "We sell apples, pears etc. and more.", "See no. 5 please.",
          "Pi is 3.14 today.", "Pi is ٣.١٤ today."})
        EXPECT_EQ(splitSentences(whole), Sentences{whole}) << whole;

    EXPECT_EQ(splitSentences("We sell apples, pears etc. The end."),
              (Sentences{"We sell apples, pears etc.", "The end."}));
    EXPECT_EQ(splitSentences("It was Jan. Then it rained."),
              (Sentences{"It was Jan.", "Then it rained."}));
    EXPECT_EQ(splitSentences("It was JAN. Élan followed."),
              (Sentences{"It was JAN.", "Élan followed."}));
    EXPECT_EQ(splitSentences("Version 2. Next step."), (Sentences{"Version 2.", "Next step."}));
    EXPECT_EQ(splitSentences("Wait... what?"), (Sentences{"Wait...", "what?"}));
    EXPECT_EQ(splitSentences("e.g. this"), (Sentences{"e.g.", "this"}));

    EXPECT_EQ(splitSentences("你好。我很好。"), (Sentences{"你好。", "我很好。"}));
    EXPECT_EQ(splitSentences("本当！はい？"), (Sentences{"本当！", "はい？"}));
}

TEST(FindFirstSentenceBoundary, returnsByteOffsetOfTheTerminatorAndStaysInBoundsOfInvalidUtf8) {
    // The text, where the search starts (inclusive), the terminator's byte offset.
    using S = std::tuple<std::string, std::size_t, std::optional<std::size_t>>;
    for (const auto &[text, from, found] :
         {S{"Hi. There.", 0, 2}, S{"Hi. There.", 3, 9}, S{"Hi. There.", 2, 2},
          S{"Wait... ok", 0, 6}, S{"你好。", 0, 6}, S{"Café! Ok", 0, 5}, S{"Ask the dr.", 0, {}},
          S{"apples etc.", 0, {}}, S{"done.", 0, 4}, S{"done.", 5, {}}, S{"done.", 99, {}}})
        EXPECT_EQ(findFirstSentenceBoundary(text, from), found) << text << " from " << from;
    // A terminator that carries a combining mark is not a terminator.
    EXPECT_EQ(findFirstSentenceBoundary("a.\u0301 b", 0), std::nullopt);
    EXPECT_EQ(findFirstSentenceBoundary("a!\u0301 b. c", 0), 6u);

    const std::string broken = "ab\xC3. \xF0\x9F. \xE2";
    EXPECT_EQ(findFirstSentenceBoundary(broken, 0), 3u);
    EXPECT_EQ(splitSentences(broken), (Sentences{"ab\xC3.", "\xF0\x9F.", "\xE2"}));
    EXPECT_EQ(splitSentences("\xFF\xFF\xFF"), (Sentences{"\xFF\xFF\xFF"}));
}
