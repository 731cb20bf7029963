#pragma once

// Unit-cost edit distance over sequences of integer symbols, bit-parallel
// (Myers 1999, in Hyyrö's block form): one pass over the text with
// ceil(m / 64) machine words per step for a pattern of m symbols.

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <unordered_map>
#include <vector>

namespace TranscriptionCore::detail {

class EditDistancePattern {
public:
    explicit EditDistancePattern(std::span<const std::uint32_t> pattern);

    std::size_t size() const { return m_size; }

    // Distance from the pattern to `text`. With a bound, any result above it
    // may be returned as soon as the distance is known to exceed the bound.
    std::int64_t distance(std::span<const std::uint32_t> text,
                          std::int64_t bound = std::numeric_limits<std::int64_t>::max()) const;

private:
    const std::uint64_t *masks(std::uint32_t symbol) const;

    std::size_t m_size;
    std::size_t m_words;
    std::vector<std::uint64_t> m_small; // symbols below 256
    std::unordered_map<std::uint32_t, std::vector<std::uint64_t>> m_large;
    std::vector<std::uint64_t> m_zero;
};

std::int64_t editDistance(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b);

} // namespace TranscriptionCore::detail
