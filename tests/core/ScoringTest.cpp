#include <TranscriptionCore/Scoring.h>

#include <PlainAlgorithms.h>

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include <TranscriptionCore/SentenceSplitter.h>

using namespace TranscriptionCore;

TEST(NormalizeForScoring, removesCasePunctuationAndAnnotationsAndWritesNumbersAsDigits) {
    using P = std::pair<const char *, const char *>; // (said, as scored)
    for (const auto &[text, scored] :
         {// Case, punctuation, annotations (never across lines), abbreviations, digits.
          P{"Hello, World!", "hello world"}, P{"[Music] I said (quietly) hi", "i said hi"},
          P{"[a\nb] c", "a\nb c"}, P{"Mr. Smith met Dr. Jones", "mister smith met doctor jones"},
          P{"items.", "itemiss"}, P{"1,234,567 people", "1234567 people"},
          P{"1,234,567,890", "1234 567890"}, P{"50%", "50퍼센트"}, P{"3.5", "3 5"}, P{"", ""},
          P{"  \t ...  ", ""},
          // Number words, English and Korean.
          P{"twenty one", "21"}, P{"one hundred twenty three", "123"},
          P{"two thousand twenty four", "2024"}, P{"Hundred", "100"}, P{"zero", "0"},
          P{"zero zero", "zero zero"}, P{"one hundred and five", "100 and 5"},
          P{"three million two", "3000002"}, P{"삼백 오십", "350"}, P{"이천이십사", "2024"},
          P{"만", "10000"}, P{"십만", "100000"}, P{"일억이천만", "120000000"}, P{"삼 사", "4"},
          P{"3 개", "3개"}, P{"3 a", "3 a"}, P{"삼개", "삼개"}})
        EXPECT_EQ(normalizeForScoring(text), scored) << text;
    // Out of range: left as words rather than wrapped around.
    std::string huge = "hundred";
    for (int i = 0; i < 10; ++i)
        huge += " hundred";
    EXPECT_EQ(normalizeForScoring(huge), huge);
}

TEST(ErrorRates, characterAndWordRates) {
    using R = std::tuple<const char *, const char *, double>; // reference, hypothesis, rate
    for (const auto &[reference, hypothesis, rate] :
         {R{"abc", "abd", 1.0 / 3}, R{"abc", "abc", 0.0}, R{"abc", "abcdef", 1.0}, R{"", "", 0.0},
          R{"", "x", 1.0}, R{"ab", "wxyzwxyz", 4.0}})
        EXPECT_DOUBLE_EQ(characterErrorRate(reference, hypothesis), rate) << hypothesis;
    // Only spaces part words: "a\tb" is one word against two.
    for (const auto &[reference, hypothesis, rate] :
         {R{"the cat sat", "the cat sat", 0.0}, R{"the cat sat", "the bat sat", 1.0 / 3},
          R{"the cat sat", "The cat sat", 1.0 / 3}, R{"a b", "   ", 1.0}, R{"a  b", "a b", 0.0},
          R{"a\tb", "a b", 2.0}, R{" ", "", 0.0}})
        EXPECT_DOUBLE_EQ(wordErrorRate(reference, hypothesis), rate) << hypothesis;
}

TEST(ErrorRates, wordRateAgreesWithTwoRowAlgorithmOnLongTranscripts) {
    std::mt19937 random(99);
    const std::vector<std::string> vocabulary{"the", "a",   "cat", "sat",  "on",
                                              "mat", "dog", "ran", "über", "한국"};
    for (int round = 0; round < 10; ++round) {
        std::string ref, hyp;
        for (int i = 0; i < 300; ++i) {
            const std::string word = vocabulary[random() % vocabulary.size()];
            ref += word + " ";
            if (random() % 5 != 0)
                hyp += (random() % 7 == 0 ? vocabulary[random() % vocabulary.size()] : word) + " ";
        }
        ASSERT_DOUBLE_EQ(wordErrorRate(ref, hyp), plain::wordErrorRate(ref, hyp));
    }
}

TEST(SessionScoreReport, meanWeighsUtterancesAggregateWeighsUnits) {
    const SessionScoreReport none;
    for (double rate : {none.meanCER(), none.meanWER(), none.aggregateCER(), none.aggregateWER()})
        EXPECT_EQ(rate, 0.0);

    SessionScoreReport session{
        {TranscriptionScoreReport("ab", "ab"), TranscriptionScoreReport("abcd", "wxyz")}};
    EXPECT_DOUBLE_EQ(session.meanCER(), 0.5);
    EXPECT_DOUBLE_EQ(session.aggregateCER(), 4.0 / 6);

    SessionScoreReport words{{TranscriptionScoreReport("one two three", "one two"),
                              TranscriptionScoreReport("", "extra words"),
                              TranscriptionScoreReport("x", "x")}};
    EXPECT_DOUBLE_EQ(words.meanWER(), (1.0 / 3 + 1.0 + 0.0) / 3);
    EXPECT_DOUBLE_EQ(words.aggregateWER(), 3.0 / 4); // 1 deletion + 2 insertions over 4 words

    const SessionScoreReport emptyReferences{{TranscriptionScoreReport("", "x")}};
    EXPECT_EQ(emptyReferences.aggregateCER(), 0.0);
    EXPECT_EQ(emptyReferences.aggregateWER(), 0.0);
}

TEST(TextPieces, giveTheSameAnswersFromManyThreadsAtOnce) {
    // Tables, patterns and segmenters are shared or per thread; none may race.
    const std::string text = "Dr. Smith paid 1,234 dollars. Twenty one people came! 삼백 오십 명.";
    const std::string expected = normalizeForScoring(text);
    const std::size_t expectedSentences = splitSentences(text).size();
    std::vector<std::jthread> threads;
    std::atomic<int> mismatches = 0;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                if (normalizeForScoring(text) != expected ||
                    splitSentences(text).size() != expectedSentences)
                    ++mismatches;
        });
    threads.clear();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(expected, "doctor smith paid 1234 dollars 21 people came 350명");
}
