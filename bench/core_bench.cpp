// TranscriptionCore speed: the plain algorithms next to the fast paths on the
// same data, and the text and signal pieces at scale.

#include <TranscriptionCore/TranscriptionCore.h>

#include <PlainAlgorithms.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

using namespace TranscriptionCore;

namespace {

const std::vector<std::string> &vocabulary() {
    static const std::vector<std::string> words{
        "the",       "of",    "and",     "to",      "in",          "he",      "was",
        "that",      "it",    "his",     "her",     "had",         "with",    "as",
        "for",       "she",   "not",     "at",      "but",         "be",      "on",
        "him",       "is",    "they",    "by",      "said",        "so",      "have",
        "all",       "which", "from",    "this",    "there",       "were",    "would",
        "one",       "could", "been",    "mister",  "dashwood",    "leisure", "consider",
        "prudently", "power", "amiable", "woman",   "respectable", "selfish", "disposed",
        "young",     "man",   "cold",    "hearted", "married",     "himself", "might"};
    return words;
}

// Running English-like text of about `characters` characters.
std::string runningText(std::mt19937 &random, std::size_t characters) {
    std::string s;
    while (s.size() < characters) {
        if (!s.empty())
            s += ' ';
        s += vocabulary()[random() % vocabulary().size()];
    }
    s.resize(characters);
    return s;
}

std::string sentences(std::size_t bytes) {
    std::mt19937 random(5);
    std::string text;
    while (text.size() < bytes) {
        std::string sentence = runningText(random, 40 + random() % 80);
        sentence[0] = static_cast<char>(std::toupper(sentence[0]));
        const int kind = static_cast<int>(random() % 10);
        text += sentence + (kind == 0 ? " Dr. Smith spent 3.5 dollars, etc." : "") +
                (kind == 1 ? "?" : ".") + " ";
    }
    return text;
}

std::string words(std::mt19937 &random, int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += vocabulary()[random() % vocabulary().size()] + " ";
    return s;
}

struct DedupData {
    std::vector<std::string> stored;
    std::string candidate;
};

const DedupData &dedupData() {
    static const DedupData data = [] {
        std::mt19937 random(11);
        DedupData d;
        for (int i = 0; i < 1000; ++i)
            d.stored.push_back(normalizeForDedup(runningText(random, 60 + random() % 41)));
        d.candidate = normalizeForDedup(runningText(random, 80));
        return d;
    }();
    return data;
}

// (a) two 1,000-character strings
void BM_Levenshtein1000_Plain(benchmark::State &state) {
    std::mt19937 random(1);
    const std::string a = runningText(random, 1000), b = runningText(random, 1000);
    for (auto _ : state)
        benchmark::DoNotOptimize(plain::levenshteinDistance(a, b));
}
void BM_Levenshtein1000_Fast(benchmark::State &state) {
    std::mt19937 random(1);
    const std::string a = runningText(random, 1000), b = runningText(random, 1000);
    for (auto _ : state)
        benchmark::DoNotOptimize(levenshteinDistance(a, b));
}

// (b) isDuplicate of an 80-character form against 1,000 stored forms
void BM_IsDuplicate1000_Plain(benchmark::State &state) {
    plain::DedupTracker tracker;
    for (const auto &s : dedupData().stored)
        tracker.insert(s);
    for (auto _ : state)
        benchmark::DoNotOptimize(tracker.isDuplicate(dedupData().candidate));
}
void BM_IsDuplicate1000_Fast(benchmark::State &state) {
    DedupTracker tracker;
    for (const auto &s : dedupData().stored)
        tracker.insert(s);
    for (auto _ : state)
        benchmark::DoNotOptimize(tracker.isDuplicate(dedupData().candidate));
}

// (c) wordErrorRate of two 10,000-word transcripts
void BM_WordErrorRate10000_Plain(benchmark::State &state) {
    std::mt19937 random(3);
    const std::string ref = words(random, 10000), hyp = words(random, 10000);
    for (auto _ : state)
        benchmark::DoNotOptimize(plain::wordErrorRate(ref, hyp));
}
void BM_WordErrorRate10000_Fast(benchmark::State &state) {
    std::mt19937 random(3);
    const std::string ref = words(random, 10000), hyp = words(random, 10000);
    for (auto _ : state)
        benchmark::DoNotOptimize(wordErrorRate(ref, hyp));
}

// (d) text pieces over 1 MB
void BM_SplitSentences1MB(benchmark::State &state) {
    const std::string text = sentences(1 << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(splitSentences(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
void BM_NormalizeForScoring1MB(benchmark::State &state) {
    const std::string text = sentences(1 << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(normalizeForScoring(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

// (e) the pre-processor on 4,096-frame blocks at 16 kHz
void BM_AudioPreprocessor4096(benchmark::State &state) {
    constexpr int frames = 4096;
    constexpr double rate = 16000;
    AudioPreprocessor preprocessor(rate, 80, -20, 12);
    std::vector<float> source(frames), block(frames);
    for (int i = 0; i < frames; ++i)
        source[static_cast<std::size_t>(i)] =
            static_cast<float>(0.05 * std::sin(2 * std::numbers::pi * 440 * i / rate) + 0.01);
    for (auto _ : state) {
        block = source;
        preprocessor.process(block.data(), frames);
        benchmark::DoNotOptimize(block.data());
    }
    const double audioSeconds = static_cast<double>(state.iterations()) * frames / rate;
    state.counters["xRealTime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_Levenshtein1000_Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Levenshtein1000_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IsDuplicate1000_Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IsDuplicate1000_Fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WordErrorRate10000_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WordErrorRate10000_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitSentences1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalizeForScoring1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AudioPreprocessor4096)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
