#include <TranscriptionCore/Scoring.h>

#include <string>
#include <unordered_map>
#include <utility>

#include "EditDistance.h"
#include "Unicode.h"

namespace TranscriptionCore {

using namespace detail;

namespace {

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ' ')
            continue;
        if (i > start)
            out.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    return out;
}

// Words numbered so that equal words (under canonical equivalence) share a number.
class WordInterner {
public:
    std::vector<std::uint32_t> ids(std::string_view text) {
        std::vector<std::uint32_t> out;
        for (std::string_view word : words(text)) {
            auto [it, inserted] =
                m_ids.try_emplace(canonicalKey(word), static_cast<std::uint32_t>(m_ids.size()));
            out.push_back(it->second);
        }
        return out;
    }

private:
    std::unordered_map<std::string, std::uint32_t> m_ids;
};

struct Counts {
    std::int64_t errors;
    std::int64_t referenceLength;
};

Counts characterCounts(std::string_view reference, std::string_view hypothesis) {
    ClusterTable clusters;
    CharacterInterner interner(clusters);
    const auto ref = characterIds(reference, interner);
    const auto hyp = characterIds(hypothesis, interner);
    return {editDistance(ref, hyp), static_cast<std::int64_t>(ref.size())};
}

Counts wordCounts(std::string_view reference, std::string_view hypothesis) {
    WordInterner interner;
    const auto ref = interner.ids(reference);
    const auto hyp = interner.ids(hypothesis);
    return {editDistance(ref, hyp), static_cast<std::int64_t>(ref.size())};
}

double rate(const Counts &counts) {
    if (counts.referenceLength == 0)
        return counts.errors == 0 ? 0.0 : 1.0;
    return static_cast<double>(counts.errors) / static_cast<double>(counts.referenceLength);
}

} // namespace

double characterErrorRate(std::string_view reference, std::string_view hypothesis) {
    return rate(characterCounts(reference, hypothesis));
}

double wordErrorRate(std::string_view reference, std::string_view hypothesis) {
    return rate(wordCounts(reference, hypothesis));
}

std::int64_t wordEditDistance(std::string_view reference, std::string_view hypothesis) {
    return wordCounts(reference, hypothesis).errors;
}

std::int64_t wordCount(std::string_view text) {
    return static_cast<std::int64_t>(words(text).size());
}

std::int64_t characterCount(std::string_view text) {
    ClusterTable clusters;
    CharacterInterner interner(clusters);
    return static_cast<std::int64_t>(characterIds(text, interner).size());
}

TranscriptionScoreReport::TranscriptionScoreReport(std::string reference_, std::string hypothesis_)
    : reference(std::move(reference_))
    , hypothesis(std::move(hypothesis_))
    , cer(characterErrorRate(reference, hypothesis))
    , wer(wordErrorRate(reference, hypothesis)) {}

namespace {

template <class Member>
double mean(const std::vector<TranscriptionScoreReport> &reports, Member member) {
    if (reports.empty())
        return 0.0;
    double sum = 0.0;
    for (const auto &report : reports)
        sum += report.*member;
    return sum / static_cast<double>(reports.size());
}

template <class CountFn>
double aggregate(const std::vector<TranscriptionScoreReport> &reports, CountFn count) {
    std::int64_t errors = 0;
    std::int64_t length = 0;
    for (const auto &report : reports) {
        const Counts c = count(report.reference, report.hypothesis);
        errors += c.errors;
        length += c.referenceLength;
    }
    return length < 1 ? 0.0 : static_cast<double>(errors) / static_cast<double>(length);
}

} // namespace

double SessionScoreReport::meanCER() const {
    return mean(reports, &TranscriptionScoreReport::cer);
}
double SessionScoreReport::meanWER() const {
    return mean(reports, &TranscriptionScoreReport::wer);
}
double SessionScoreReport::aggregateCER() const {
    return aggregate(reports, characterCounts);
}
double SessionScoreReport::aggregateWER() const {
    return aggregate(reports, wordCounts);
}

} // namespace TranscriptionCore
