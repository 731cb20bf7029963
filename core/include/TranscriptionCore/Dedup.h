#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace TranscriptionCore {

namespace detail {
// Numbers for characters made of more than one code point.
struct ClusterTable {
    std::unordered_map<std::u16string, std::uint32_t> ids;
    std::uint32_t nextId = 0x110000;
};
} // namespace detail

/// Comparison form of a text: NFKC, lower case, sentence terminators removed,
/// runs of spaces collapsed, white space trimmed.
std::string normalizeForDedup(std::string_view text);

/// Edit distance over user-perceived characters; canonically equivalent
/// characters are equal.
std::int64_t levenshteinDistance(std::string_view a, std::string_view b);

/// Remembers the comparison forms confirmed in a run and recognises exact and
/// near repeats of them. A plain value: copies are independent.
class DedupTracker {
public:
    bool isDuplicate(std::string_view text) const;
    void insert(std::string_view text);
    void removeAll();

private:
    // Each form keyed by its canonical (NFC) text and stored pre-segmented,
    // one number per character, so a near-match test runs over integers.
    std::unordered_map<std::string, std::vector<std::uint32_t>> m_confirmedHashes;
    detail::ClusterTable m_clusters;
};

} // namespace TranscriptionCore
