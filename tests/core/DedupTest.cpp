#include <TranscriptionCore/TranscriptionCore.h>

#include <PlainAlgorithms.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace TranscriptionCore;

namespace {

// `length` letters of the alphabet in turn, the first `changes` of them replaced.
std::string withChanges(std::size_t length, std::size_t changes) {
    std::string s(changes, '#');
    for (std::size_t i = changes; i < length; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

std::string randomText(std::mt19937 &random, const std::vector<std::string> &alphabet,
                       std::size_t length) {
    std::string s;
    for (std::size_t i = 0; i < length; ++i)
        s += alphabet[random() % alphabet.size()];
    return s;
}

bool duplicateOf(std::string_view stored, std::string_view candidate) {
    DedupTracker tracker;
    tracker.insert(stored);
    return tracker.isDuplicate(candidate);
}

} // namespace

TEST(DedupNormalization, reducesToComparisonFormSplittingOnlyAtSpaces) {
    using P = std::pair<const char *, const char *>; // (said, as compared)
    for (const auto &[text, compared] :
         {P{"Hello, World!", "hello, world"}, P{"  Dr.  Smith  arrived. ", "dr smith arrived"},
          P{"...!?", ""}, P{"   ", ""}, P{"ＨＥＬＬＯ？", "hello"}, P{"안녕하세요。", "안녕하세요"},
          // The one-character ellipsis decomposes into full stops, which go.
          P{"ﬁne, “quoted”… ok", "fine, “quoted” ok"}, P{"İSTANBUL Σ", "i̇stanbul σ"},
          P{"a\tb", "a\tb"}, P{"\ta  b\t", "a b"}, P{"\u00A0\u3000Word\u2028\n", "word"},
          // A terminator carrying a combining mark is another character and stays.
          P{"a.\u0301", "a.\u0301"}, P{"ab\xFF\xFE.", "ab\uFFFD\uFFFD"}, P{"\xC3", "\uFFFD"}})
        EXPECT_EQ(normalizeForDedup(text), compared) << text;
    EXPECT_EQ(levenshteinDistance("a\xC3", "a\uFFFD"), 0);
}

TEST(LevenshteinDistance, countsEditsOverUserPerceivedCharacters) {
    using D = std::tuple<const char *, const char *, int>;
    for (const auto &[a, b, distance] :
         {D{"saturday", "sunday", 3}, D{"", "abc", 3}, D{"abc", "", 3}, D{"same", "same", 0},
          D{"e\u0301", "\u00E9", 0}, D{"e\u0301", "x", 1}, D{"👩‍👩‍👧", "👩", 1},
          D{"a\r\nb", "a\nb", 1}, D{"한국어", "한국", 1}})
        EXPECT_EQ(levenshteinDistance(a, b), distance) << a << " / " << b;
}

TEST(LevenshteinDistance, agreesWithTwoRowAlgorithmAcrossBlockSizes) {
    // Lengths around the 64-character word size exercise the carries between blocks.
    std::mt19937 random(7);
    const std::vector<std::string> alphabet{"a", "b", "c", "é", "e\u0301", "한", "字", " ", "😀"};
    for (int round = 0; round < 120; ++round) {
        const std::string a = randomText(random, alphabet, random() % 200);
        const std::string b =
            a.substr(0, a.size() / 2) + randomText(random, alphabet, random() % 100);
        ASSERT_EQ(levenshteinDistance(a, b), plain::levenshteinDistance(a, b)) << a << " / " << b;
        ASSERT_EQ(levenshteinDistance(b, a), levenshteinDistance(a, b));
    }
}

TEST(DedupTracker, exactAndNearDuplicatesEmptyFormsAndReset) {
    EXPECT_TRUE(duplicateOf(withChanges(10, 0), withChanges(10, 2)));
    EXPECT_FALSE(duplicateOf(withChanges(10, 0), withChanges(10, 3)));
    EXPECT_FALSE(duplicateOf("abcd", "abce"));
    EXPECT_TRUE(duplicateOf("abcde", "abcdx"));
    EXPECT_FALSE(duplicateOf("hello there", "hello"));
    // Boundaries of the distance table, where rounding of the ratio decides.
    EXPECT_TRUE(duplicateOf(withChanges(29, 0), withChanges(29, 7)));
    EXPECT_FALSE(duplicateOf(withChanges(28, 0), withChanges(28, 7)));
    EXPECT_TRUE(duplicateOf(withChanges(120, 0), withChanges(120, 30)));
    EXPECT_FALSE(duplicateOf(withChanges(120, 0), withChanges(120, 31)));

    DedupTracker tracker;
    EXPECT_FALSE(tracker.isDuplicate(""));
    EXPECT_FALSE(tracker.isDuplicate("anything"));

    tracker.insert("hello world");
    EXPECT_TRUE(tracker.isDuplicate("hello world"));
    EXPECT_FALSE(tracker.isDuplicate(""));
    EXPECT_TRUE(tracker.isDuplicate("hello wurld"));

    DedupTracker copy = tracker;
    tracker.removeAll();
    EXPECT_FALSE(tracker.isDuplicate("hello world"));
    EXPECT_TRUE(copy.isDuplicate("hello world"));

    tracker.insert("");
    EXPECT_TRUE(tracker.isDuplicate(""));
    tracker.insert("caf\u00E9");
    EXPECT_TRUE(tracker.isDuplicate("cafe\u0301"));
}

TEST(DedupTracker, answersExactlyAsThePlainAlgorithm) {
    // Near and far variants of stored forms in several scripts, with combining
    // marks and characters made of several code points.
    std::mt19937 random(2024);
    const std::vector<std::string> alphabet{"a",       "b",        "c",  "d",     " ",  "é",
                                            "e\u0301", "ñ",        "한", "국",    "字", "Я",
                                            "ж",       "👍🏽", "ก",  "\u0E31"};
    const auto mutated = [&](std::string_view s, int edits) {
        std::string out(s);
        for (int e = 0; e < edits && !out.empty(); ++e) {
            const std::size_t at = random() % out.size();
            out.insert(at, alphabet[random() % 4]);
        }
        return out;
    };

    for (int round = 0; round < 40; ++round) {
        DedupTracker fast;
        plain::DedupTracker reference;
        std::vector<std::string> stored;
        for (int i = 0; i < 25; ++i) {
            stored.push_back(randomText(random, alphabet, 1 + random() % 70));
            fast.insert(stored.back());
            reference.insert(stored.back());
        }
        for (int probe = 0; probe < 30; ++probe) {
            const std::string &base = stored[random() % stored.size()];
            const std::string candidate = probe % 3 == 0
                                              ? randomText(random, alphabet, 1 + random() % 70)
                                              : mutated(base, static_cast<int>(random() % 12));
            ASSERT_EQ(fast.isDuplicate(candidate), reference.isDuplicate(candidate)) << candidate;
        }
    }
}
