#include <TranscriptionCore/SentenceSplitter.h>

#include <algorithm>
#include <array>
#include <string_view>

#include <unicode/locid.h>

#include "Unicode.h"

namespace TranscriptionCore {

using namespace detail;

namespace {

enum class AbbreviationType { title, other, none };

// Sorted, so that a lookup is a binary search over constant data: nothing to
// build at run time, nothing to synchronise.
constexpr std::array<std::string_view, 15> titleAbbreviations{"capt", "col",  "cpl", "dr",  "gen",
                                                              "gov",  "jr",   "lt",  "mr",  "mrs",
                                                              "ms",   "prof", "pvt", "sgt", "sr"};
constexpr std::array<std::string_view, 28> otherAbbreviations{
    "approx", "apr", "aug", "ave", "blvd", "co",   "corp", "dec", "dept", "eq",
    "est",    "etc", "feb", "fig", "inc",  "jan",  "jul",  "jun", "ltd",  "mar",
    "no",     "nov", "oct", "sep", "st",   "univ", "vol",  "vs"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N> &table, std::string_view word) {
    return std::binary_search(table.begin(), table.end(), word);
}

bool isCjkTerminator(UChar32 c) {
    return c == 0x3002 || c == 0xFF01 || c == 0xFF1F;
}

bool isUpperCase(ClusterScanner &text, std::size_t pos) {
    const UChar32 first = text.firstCodePoint(pos);
    if (first < 0x80 && text.next(pos) == pos + 1)
        return first >= 'A' && first <= 'Z';
    const icu::UnicodeString cluster = text.cluster(pos);
    icu::UnicodeString upper = cluster;
    upper.toUpper(icu::Locale::getRoot());
    return lowerCase(cluster) != cluster && upper == cluster;
}

AbbreviationType abbreviationType(ClusterScanner &text, std::string_view bytes,
                                  std::size_t fullStop) {
    std::size_t wordStart = fullStop;
    while (wordStart > 0) {
        const std::size_t before = text.previous(wordStart);
        if (!isAlphabetic(text.firstCodePoint(before)))
            break;
        wordStart = before;
    }
    if (wordStart == fullStop)
        return AbbreviationType::none;
    const std::string word =
        toUtf8(lowerCase(fromUtf8(bytes.substr(wordStart, fullStop - wordStart))));
    if (contains(titleAbbreviations, word))
        return AbbreviationType::title;
    if (contains(otherAbbreviations, word))
        return AbbreviationType::other;
    return AbbreviationType::none;
}

std::optional<std::size_t> findBoundary(ClusterScanner &text, std::string_view bytes,
                                        std::size_t start) {
    const std::size_t end = text.size();
    const auto isSpaceAt = [&](std::size_t pos) { return pos < end && text.clusterIs(pos, ' '); };
    const auto isFullStopAt = [&](std::size_t pos) {
        return pos < end && text.clusterIs(pos, '.');
    };
    const auto isNumericAt = [&](std::size_t pos) { return isNumeric(text.firstCodePoint(pos)); };

    std::size_t i = text.boundaryAtOrBefore(start);
    while (i < end) {
        const std::size_t n = text.next(i);
        std::size_t afterFirst = i;
        const UChar32 c = decodeUtf8(bytes, afterFirst);
        if (afterFirst != n) {
            i = n;
            continue;
        }
        if (isCjkTerminator(c))
            return i;
        if (c == '!' || c == '?') {
            if (n == end || isSpaceAt(n))
                return i;
            i = n;
            continue;
        }
        if (c != '.') {
            i = n;
            continue;
        }
        if (isFullStopAt(n)) {
            std::size_t j = n;
            std::size_t lastStop = i;
            while (isFullStopAt(j)) {
                lastStop = j;
                j = text.next(j);
            }
            if (j == end || isSpaceAt(j))
                return lastStop;
            i = j;
            continue;
        }
        if (i > 0 && n < end && isNumericAt(text.previous(i)) && isNumericAt(n)) {
            i = n;
            continue;
        }
        switch (abbreviationType(text, bytes, i)) {
        case AbbreviationType::title:
            break;
        case AbbreviationType::other:
            if (isSpaceAt(n) && text.next(n) < end && isUpperCase(text, text.next(n)))
                return i;
            break;
        case AbbreviationType::none:
            if (n == end || isSpaceAt(n))
                return i;
            break;
        }
        i = n;
    }
    return std::nullopt;
}

std::string_view trimSpacesAndTabs(std::string_view piece) {
    std::size_t begin = 0;
    for (std::size_t next = 0; begin < piece.size() && isSpaceOrTab(decodeUtf8(piece, next));)
        begin = next;
    std::size_t limit = piece.size();
    for (std::size_t start = limit; limit > begin && isSpaceOrTab(decodeUtf8Before(piece, start));)
        limit = start;
    return piece.substr(begin, limit - begin);
}

} // namespace

std::optional<std::size_t> findFirstSentenceBoundary(std::string_view text, std::size_t after) {
    if (after >= text.size())
        return std::nullopt;
    ClusterScanner scanner(text);
    return findBoundary(scanner, text, after);
}

std::vector<std::string> splitSentences(std::string_view text) {
    std::vector<std::string> sentences;
    ClusterScanner scanner(text);
    const auto appendTrimmed = [&](std::size_t start, std::size_t limit) {
        const std::string_view piece = trimSpacesAndTabs(text.substr(start, limit - start));
        if (!piece.empty())
            sentences.emplace_back(piece);
    };
    std::size_t sentenceStart = 0;
    while (sentenceStart < text.size()) {
        const std::optional<std::size_t> boundary = findBoundary(scanner, text, sentenceStart);
        if (!boundary)
            break;
        const std::size_t sentenceEnd = scanner.next(*boundary);
        appendTrimmed(sentenceStart, sentenceEnd);
        sentenceStart = sentenceEnd;
    }
    if (sentenceStart < text.size())
        appendTrimmed(sentenceStart, text.size());
    return sentences;
}

} // namespace TranscriptionCore
