#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TranscriptionCore {

/// Canonical spoken form for scoring: case, punctuation, bracketed
/// annotations, thousands separators and English/Korean number words removed
/// or unified.
std::string normalizeForScoring(std::string_view text);

/// Character edit distance divided by the reference's character count.
double characterErrorRate(std::string_view reference, std::string_view hypothesis);
/// Word edit distance (words split at U+0020) divided by the reference's word count.
double wordErrorRate(std::string_view reference, std::string_view hypothesis);

/// Word edit distance and word count, the parts of an aggregate rate.
std::int64_t wordEditDistance(std::string_view reference, std::string_view hypothesis);
std::int64_t wordCount(std::string_view text);
std::int64_t characterCount(std::string_view text);

struct TranscriptionScoreReport {
    TranscriptionScoreReport(std::string reference, std::string hypothesis);

    std::string reference;
    std::string hypothesis;
    double cer;
    double wer;
};

struct SessionScoreReport {
    std::vector<TranscriptionScoreReport> reports;

    double meanCER() const;
    double meanWER() const;
    double aggregateCER() const;
    double aggregateWER() const;
};

} // namespace TranscriptionCore
