#include <TranscriptionCore/Dedup.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "EditDistance.h"
#include "Unicode.h"

namespace TranscriptionCore {

using namespace detail;

namespace {

bool isTerminator(char16_t c) {
    return c == u'.' || c == u'!' || c == u'?' || c == u'\u3002' || c == u'\uFF01' ||
           c == u'\uFF1F';
}

std::string normalizeAscii(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (char c : text) {
        if (c == '.' || c == '!' || c == '?')
            continue;
        if (c == ' ') {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace)
            out.push_back(' ');
        pendingSpace = false;
        out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    const auto isAsciiWhiteSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const auto first = std::find_if_not(out.begin(), out.end(), isAsciiWhiteSpace);
    const auto last = std::find_if_not(out.rbegin(), out.rend(), isAsciiWhiteSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

double duplicateThreshold(std::int64_t longerLength) {
    return std::min(0.19 + 0.002 * static_cast<double>(longerLength), 0.25);
}

bool isWithinThreshold(std::int64_t distance, std::int64_t longerLength) {
    return static_cast<double>(distance) / static_cast<double>(longerLength) <=
           duplicateThreshold(longerLength);
}

// The largest distance that still counts as a duplicate at this length,
// found with exactly the comparison that decides.
std::int64_t largestDuplicateDistance(std::int64_t longerLength) {
    auto d = static_cast<std::int64_t>(duplicateThreshold(longerLength) *
                                       static_cast<double>(longerLength)) +
             1;
    while (d >= 0 && !isWithinThreshold(d, longerLength))
        --d;
    return d;
}

} // namespace

std::string normalizeForDedup(std::string_view text) {
    if (isAscii(text))
        return normalizeAscii(text);
    const icu::UnicodeString folded = lowerCase(nfkc(fromUtf8(text)));
    icu::UnicodeString kept;
    forEachCluster(folded, [&](int32_t start, int32_t limit) {
        if (!(limit - start == 1 && isTerminator(folded.charAt(start))))
            kept.append(folded, start, limit - start);
    });
    return toUtf8(trimWhiteSpace(joinWithSpaces(splitAtSpaces(kept))));
}

std::int64_t levenshteinDistance(std::string_view a, std::string_view b) {
    ClusterTable clusters;
    CharacterInterner interner(clusters);
    const std::vector<std::uint32_t> left = characterIds(a, interner);
    const std::vector<std::uint32_t> right = characterIds(b, interner);
    return editDistance(left, right);
}

bool DedupTracker::isDuplicate(std::string_view text) const {
    if (m_confirmedHashes.empty())
        return false;
    if (m_confirmedHashes.contains(canonicalKey(text)))
        return true;

    ClusterTable scratch{.ids = {}, .nextId = m_clusters.nextId};
    CharacterInterner interner(scratch, &m_clusters);
    const std::vector<std::uint32_t> candidate = characterIds(text, interner);
    const auto candidateLength = static_cast<std::int64_t>(candidate.size());
    std::optional<EditDistancePattern> pattern;

    for (const auto &[key, stored] : m_confirmedHashes) {
        const auto storedLength = static_cast<std::int64_t>(stored.size());
        const std::int64_t longer = std::max(storedLength, candidateLength);
        if (longer < 1)
            continue;
        const std::int64_t bound = largestDuplicateDistance(longer);
        if (std::abs(storedLength - candidateLength) > bound)
            continue;
        if (!pattern)
            pattern.emplace(candidate);
        if (isWithinThreshold(pattern->distance(stored, bound), longer))
            return true;
    }
    return false;
}

void DedupTracker::insert(std::string_view text) {
    std::string key = canonicalKey(text);
    if (m_confirmedHashes.contains(key))
        return;
    CharacterInterner interner(m_clusters);
    std::vector<std::uint32_t> characters = characterIds(text, interner);
    m_confirmedHashes.emplace(std::move(key), std::move(characters));
}

void DedupTracker::removeAll() {
    m_confirmedHashes.clear();
    m_clusters = {};
}

} // namespace TranscriptionCore
