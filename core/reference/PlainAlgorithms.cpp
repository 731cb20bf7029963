#include "PlainAlgorithms.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace TranscriptionCore::plain {

namespace {

icu::UnicodeString nfc(const icu::UnicodeString &s) {
    UErrorCode status = U_ZERO_ERROR;
    return icu::Normalizer2::getNFCInstance(status)->normalize(s, status);
}

std::vector<icu::UnicodeString> characters(std::string_view text) {
    const icu::UnicodeString u = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    it->setText(u);
    std::vector<icu::UnicodeString> out;
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next())
        out.push_back(nfc(u.tempSubStringBetween(start, end)));
    return out;
}

template <class T> std::int64_t twoRowDistance(const std::vector<T> &a, const std::vector<T> &b) {
    const std::size_t m = a.size(), n = b.size();
    if (m == 0)
        return static_cast<std::int64_t>(n);
    if (n == 0)
        return static_cast<std::int64_t>(m);
    std::vector<std::int64_t> previous(n + 1), current(n + 1);
    for (std::size_t j = 0; j <= n; ++j)
        previous[j] = static_cast<std::int64_t>(j);
    for (std::size_t i = 1; i <= m; ++i) {
        current[0] = static_cast<std::int64_t>(i);
        for (std::size_t j = 1; j <= n; ++j) {
            if (a[i - 1] == b[j - 1])
                current[j] = previous[j - 1];
            else
                current[j] = 1 + std::min({previous[j - 1], previous[j], current[j - 1]});
        }
        std::swap(previous, current);
    }
    return previous[n];
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            if (i > start)
                out.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

std::string nfcKey(std::string_view text) {
    std::string out;
    nfc(icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<int32_t>(text.size()))))
        .toUTF8String(out);
    return out;
}

} // namespace

std::int64_t levenshteinDistance(std::string_view a, std::string_view b) {
    return twoRowDistance(characters(a), characters(b));
}

double wordErrorRate(std::string_view reference, std::string_view hypothesis) {
    const auto ref = words(reference), hyp = words(hypothesis);
    if (ref.empty())
        return hyp.empty() ? 0.0 : 1.0;
    return static_cast<double>(twoRowDistance(ref, hyp)) / static_cast<double>(ref.size());
}

bool DedupTracker::isDuplicate(std::string_view text) const {
    if (m_forms.contains(nfcKey(text)))
        return true;
    for (const std::string &stored : m_forms) {
        const auto longer =
            static_cast<std::int64_t>(std::max(characters(stored).size(), characters(text).size()));
        if (longer < 1)
            continue;
        const std::int64_t d = levenshteinDistance(stored, text);
        const double threshold = std::min(0.19 + 0.002 * static_cast<double>(longer), 0.25);
        if (static_cast<double>(d) / static_cast<double>(longer) <= threshold)
            return true;
    }
    return false;
}

void DedupTracker::insert(std::string_view text) {
    m_forms.insert(nfcKey(text));
}

} // namespace TranscriptionCore::plain
