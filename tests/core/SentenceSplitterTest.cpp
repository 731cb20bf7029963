#include <TranscriptionCore/SentenceSplitter.h>

#include <gtest/gtest.h>

using namespace TranscriptionCore;
using Sentences = std::vector<std::string>;

TEST(SplitSentences, endsAtTerminatorsButNotAfterAbbreviationsNumbersOrInEllipses) {
    EXPECT_EQ(splitSentences("Hello world. How are you? Fine!"),
              (Sentences{"Hello world.", "How are you?", "Fine!"}));
    EXPECT_EQ(splitSentences("Really?!"), (Sentences{"Really?!"}));
    EXPECT_EQ(splitSentences("Hello!World"), (Sentences{"Hello!World"}));
    EXPECT_EQ(splitSentences("Hello.\nWorld."), (Sentences{"Hello.\nWorld."}));
    EXPECT_EQ(splitSentences("  A.   B.  "), (Sentences{"A.", "B."}));
    EXPECT_EQ(splitSentences("\tA. \tB"), (Sentences{"A.", "B"}));
    EXPECT_EQ(splitSentences("A.\tB. C"), (Sentences{"A.\tB.", "C"}));
    EXPECT_EQ(splitSentences(". next"), (Sentences{".", "next"}));
    EXPECT_EQ(splitSentences("   "), Sentences{});
    EXPECT_EQ(splitSentences(""), Sentences{});
    EXPECT_EQ(splitSentences("no terminator here "), (Sentences{"no terminator here"}));

    EXPECT_EQ(splitSentences("Dr. Smith arrived."), (Sentences{"Dr. Smith arrived."}));
    EXPECT_EQ(splitSentences("I met Mr. Jones"), (Sentences{"I met Mr. Jones"}));
    EXPECT_EQ(splitSentences("We sell apples, pears etc. and more."),
              (Sentences{"We sell apples, pears etc. and more."}));
    EXPECT_EQ(splitSentences("We sell apples, pears etc. The end."),
              (Sentences{"We sell apples, pears etc.", "The end."}));
    EXPECT_EQ(splitSentences("See no. 5 please."), (Sentences{"See no. 5 please."}));
    EXPECT_EQ(splitSentences("It was Jan. Then it rained."),
              (Sentences{"It was Jan.", "Then it rained."}));
    EXPECT_EQ(splitSentences("It was JAN. Élan followed."),
              (Sentences{"It was JAN.", "Élan followed."}));
    EXPECT_EQ(splitSentences("Pi is 3.14 today."), (Sentences{"Pi is 3.14 today."}));
    EXPECT_EQ(splitSentences("Pi is ٣.١٤ today."), (Sentences{"Pi is ٣.١٤ today."}));
    EXPECT_EQ(splitSentences("Version 2. Next step."), (Sentences{"Version 2.", "Next step."}));
    EXPECT_EQ(splitSentences("Wait... what?"), (Sentences{"Wait...", "what?"}));
    EXPECT_EQ(splitSentences("Wait...what?"), (Sentences{"Wait...what?"}));
    EXPECT_EQ(splitSentences("e.g. this"), (Sentences{"e.g.", "this"}));

    EXPECT_EQ(splitSentences("你好。我很好。"), (Sentences{"你好。", "我很好。"}));
    EXPECT_EQ(splitSentences("本当！はい？"), (Sentences{"本当！", "はい？"}));
}

TEST(FindFirstSentenceBoundary, returnsByteOffsetOfTheTerminatorAndStaysInBoundsOfInvalidUtf8) {
    EXPECT_EQ(findFirstSentenceBoundary("Hi. There.", 0), 2u);
    EXPECT_EQ(findFirstSentenceBoundary("Hi. There.", 3), 9u);
    EXPECT_EQ(findFirstSentenceBoundary("Hi. There.", 2), 2u); // the start is inclusive
    EXPECT_EQ(findFirstSentenceBoundary("Wait... ok", 0), 6u);
    EXPECT_EQ(findFirstSentenceBoundary("你好。", 0), 6u);
    EXPECT_EQ(findFirstSentenceBoundary("Café! Ok", 0), 5u);
    EXPECT_EQ(findFirstSentenceBoundary("Ask the dr.", 0), std::nullopt);
    EXPECT_EQ(findFirstSentenceBoundary("apples etc.", 0), std::nullopt);
    EXPECT_EQ(findFirstSentenceBoundary("done.", 0), 4u);
    EXPECT_EQ(findFirstSentenceBoundary("done.", 5), std::nullopt);
    EXPECT_EQ(findFirstSentenceBoundary("done.", 99), std::nullopt);
    // A terminator that carries a combining mark is not a terminator.
    EXPECT_EQ(findFirstSentenceBoundary("a.\u0301 b", 0), std::nullopt);
    EXPECT_EQ(findFirstSentenceBoundary("a!\u0301 b. c", 0), 6u);

    const std::string broken = "ab\xC3. \xF0\x9F. \xE2";
    EXPECT_EQ(findFirstSentenceBoundary(broken, 0), 3u);
    EXPECT_EQ(splitSentences(broken), (Sentences{"ab\xC3.", "\xF0\x9F.", "\xE2"}));
    EXPECT_EQ(splitSentences("\xFF\xFF\xFF"), (Sentences{"\xFF\xFF\xFF"}));
}
