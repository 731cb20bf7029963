#include "EditDistance.h"

#include <algorithm>

namespace TranscriptionCore::detail {

namespace {
constexpr std::uint32_t SmallAlphabet = 256;
}

EditDistancePattern::EditDistancePattern(std::span<const std::uint32_t> pattern)
    : m_size(pattern.size())
    , m_words((pattern.size() + 63) / 64)
    , m_small(SmallAlphabet * m_words, 0)
    , m_zero(m_words, 0) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::uint32_t symbol = pattern[i];
        std::uint64_t *row;
        if (symbol < SmallAlphabet) {
            row = &m_small[symbol * m_words];
        } else {
            auto &large = m_large[symbol];
            large.resize(m_words, 0);
            row = large.data();
        }
        row[i / 64] |= std::uint64_t{1} << (i % 64);
    }
}

const std::uint64_t *EditDistancePattern::masks(std::uint32_t symbol) const {
    if (symbol < SmallAlphabet)
        return &m_small[symbol * m_words];
    auto found = m_large.find(symbol);
    return found == m_large.end() ? m_zero.data() : found->second.data();
}

std::int64_t EditDistancePattern::distance(std::span<const std::uint32_t> text,
                                           std::int64_t bound) const {
    const auto textLength = static_cast<std::int64_t>(text.size());
    if (m_size == 0)
        return textLength;
    if (text.empty())
        return static_cast<std::int64_t>(m_size);

    struct Vectors {
        std::uint64_t vp = ~std::uint64_t{0};
        std::uint64_t vn = 0;
    };
    std::array<Vectors, 4> inlineVectors{};
    std::vector<Vectors> heapVectors;
    Vectors *vectors = inlineVectors.data();
    if (m_words > inlineVectors.size()) {
        heapVectors.resize(m_words);
        vectors = heapVectors.data();
    }

    const std::uint64_t last = std::uint64_t{1} << ((m_size - 1) % 64);
    auto score = static_cast<std::int64_t>(m_size);
    for (std::int64_t j = 0; j < textLength; ++j) {
        const std::uint64_t *eq = masks(text[static_cast<std::size_t>(j)]);
        // The horizontal delta entering each block from above: +1 for the
        // first row of the matrix, then whatever the block above produced.
        std::uint64_t hpCarry = 1;
        std::uint64_t hnCarry = 0;
        for (std::size_t w = 0; w < m_words; ++w) {
            const std::uint64_t vp = vectors[w].vp;
            const std::uint64_t vn = vectors[w].vn;
            const std::uint64_t x = eq[w] | hnCarry;
            const std::uint64_t d0 = (((x & vp) + vp) ^ vp) | x | vn;
            std::uint64_t hp = vn | ~(d0 | vp);
            std::uint64_t hn = d0 & vp;
            const std::uint64_t hpIn = hpCarry;
            const std::uint64_t hnIn = hnCarry;
            if (w + 1 < m_words) {
                hpCarry = hp >> 63;
                hnCarry = hn >> 63;
            } else {
                score += (hp & last) ? 1 : 0;
                score -= (hn & last) ? 1 : 0;
            }
            hp = (hp << 1) | hpIn;
            hn = (hn << 1) | hnIn;
            vectors[w].vp = hn | ~(d0 | hp);
            vectors[w].vn = hp & d0;
        }
        // The last row can fall by at most one per remaining text symbol.
        if (score - (textLength - 1 - j) > bound)
            return score - (textLength - 1 - j);
    }
    return score;
}

std::int64_t editDistance(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
    if (a.size() > b.size())
        std::swap(a, b);
    return EditDistancePattern(a).distance(b);
}

} // namespace TranscriptionCore::detail
