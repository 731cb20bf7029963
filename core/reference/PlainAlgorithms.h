#pragma once

// The straightforward algorithms, kept as the yardstick that tests compare
// the fast paths against and that benchmarks measure them against.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace TranscriptionCore::plain {

// Two rows of counters over grapheme clusters, segmented on every call.
std::int64_t levenshteinDistance(std::string_view a, std::string_view b);

// The same over words split at U+0020.
double wordErrorRate(std::string_view reference, std::string_view hypothesis);

// Exact match, then the distance against every stored form.
class DedupTracker {
public:
    bool isDuplicate(std::string_view text) const;
    void insert(std::string_view text);

private:
    std::set<std::string> m_forms; // NFC forms
};

} // namespace TranscriptionCore::plain
