#include <TranscriptionCore/Scoring.h>

#include <array>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <unicode/regex.h>

#include "Unicode.h"

namespace TranscriptionCore {

using namespace detail;

namespace {

struct KoreanNumber {
    char16_t character;
    std::int64_t value;
};
constexpr std::array<KoreanNumber, 11> koDigitValues{{{u'영', 0},
                                                      {u'공', 0},
                                                      {u'일', 1},
                                                      {u'이', 2},
                                                      {u'삼', 3},
                                                      {u'사', 4},
                                                      {u'오', 5},
                                                      {u'육', 6},
                                                      {u'칠', 7},
                                                      {u'팔', 8},
                                                      {u'구', 9}}};
constexpr std::array<KoreanNumber, 3> koSmallMult{{{u'십', 10}, {u'백', 100}, {u'천', 1000}}};
constexpr std::array<KoreanNumber, 3> koLargeMult{
    {{u'만', 10'000}, {u'억', 100'000'000}, {u'조', 1'000'000'000'000}}};

struct EnglishNumber {
    std::u16string_view word;
    std::int64_t value;
};
constexpr std::array<EnglishNumber, 20> enBasic{
    {{u"zero", 0},     {u"one", 1},      {u"two", 2},        {u"three", 3},     {u"four", 4},
     {u"five", 5},     {u"six", 6},      {u"seven", 7},      {u"eight", 8},     {u"nine", 9},
     {u"ten", 10},     {u"eleven", 11},  {u"twelve", 12},    {u"thirteen", 13}, {u"fourteen", 14},
     {u"fifteen", 15}, {u"sixteen", 16}, {u"seventeen", 17}, {u"eighteen", 18}, {u"nineteen", 19}}};
constexpr std::array<EnglishNumber, 8> enTens{{{u"twenty", 20},
                                               {u"thirty", 30},
                                               {u"forty", 40},
                                               {u"fifty", 50},
                                               {u"sixty", 60},
                                               {u"seventy", 70},
                                               {u"eighty", 80},
                                               {u"ninety", 90}}};
constexpr std::array<EnglishNumber, 4> enMult{{{u"hundred", 100},
                                               {u"thousand", 1'000},
                                               {u"million", 1'000'000},
                                               {u"billion", 1'000'000'000}}};

template <class Table, class Key> std::optional<std::int64_t> lookup(const Table &table, Key key) {
    for (const auto &entry : table) {
        if constexpr (requires { entry.word; }) {
            if (entry.word == key)
                return entry.value;
        } else if (entry.character == key) {
            return entry.value;
        }
    }
    return std::nullopt;
}

std::u16string_view view(const icu::UnicodeString &s) {
    return {s.getBuffer(), static_cast<std::size_t>(s.length())};
}

// a * b + c, or nothing when that leaves the 64-bit range.
std::optional<std::int64_t> mulAdd(std::int64_t a, std::int64_t b, std::int64_t c) {
    std::int64_t product = 0;
    std::int64_t sum = 0;
    if (__builtin_mul_overflow(a, b, &product) || __builtin_add_overflow(product, c, &sum))
        return std::nullopt;
    return sum;
}

bool isKoreanNumberCharacter(char16_t c) {
    return lookup(koDigitValues, c) || lookup(koSmallMult, c) || lookup(koLargeMult, c);
}

bool isKoreanNumberToken(const icu::UnicodeString &token) {
    for (int32_t i = 0; i < token.length(); ++i)
        if (!isKoreanNumberCharacter(token.charAt(i)))
            return false;
    return true;
}

bool isEnglishNumberWord(const icu::UnicodeString &token) {
    const std::u16string_view word = view(token);
    return lookup(enBasic, word) || lookup(enTens, word) || lookup(enMult, word);
}

std::optional<std::int64_t> parseSinoKorean(const icu::UnicodeString &characters) {
    if (characters.isEmpty())
        return std::nullopt;
    std::int64_t total = 0, section = 0, current = 0;
    for (int32_t i = 0; i < characters.length(); ++i) {
        const char16_t c = characters.charAt(i);
        if (auto digit = lookup(koDigitValues, c)) {
            current = *digit;
        } else if (auto small = lookup(koSmallMult, c)) {
            auto grown = mulAdd(*small, std::max<std::int64_t>(current, 1), section);
            if (!grown)
                return std::nullopt;
            section = *grown;
            current = 0;
        } else if (auto large = lookup(koLargeMult, c)) {
            const std::int64_t factor = section + current == 0 ? 1 : section + current;
            auto grown = mulAdd(*large, factor, total);
            if (!grown)
                return std::nullopt;
            total = *grown;
            section = current = 0;
        } else {
            return std::nullopt;
        }
    }
    return mulAdd(1, total, section + current);
}

std::optional<std::int64_t> parseEnglishNumber(const std::vector<icu::UnicodeString> &words) {
    if (words.empty())
        return std::nullopt;
    std::int64_t total = 0, current = 0;
    for (const auto &token : words) {
        const std::u16string_view word = view(token);
        if (auto value = lookup(enBasic, word) ? lookup(enBasic, word) : lookup(enTens, word)) {
            current += *value;
        } else if (word == u"hundred") {
            auto grown = mulAdd(std::max<std::int64_t>(current, 1), 100, 0);
            if (!grown)
                return std::nullopt;
            current = *grown;
        } else if (auto factor = lookup(enMult, word)) {
            auto grown = mulAdd(std::max<std::int64_t>(current, 1), *factor, total);
            if (!grown)
                return std::nullopt;
            total = *grown;
            current = 0;
        } else {
            return std::nullopt;
        }
    }
    const auto result = mulAdd(1, total, current);
    if (!result || *result < 0)
        return std::nullopt;
    if (*result == 0 && !(words.size() == 1 && view(words.front()) == u"zero"))
        return std::nullopt;
    return result;
}

// Replaces each run of number tokens by the decimal value it denotes.
template <class IsNumberToken, class Parse>
icu::UnicodeString replaceNumberRuns(const icu::UnicodeString &text, IsNumberToken isNumberToken,
                                     Parse parse) {
    const std::vector<icu::UnicodeString> tokens = splitAtSpaces(text);
    std::vector<icu::UnicodeString> output;
    for (std::size_t i = 0; i < tokens.size();) {
        if (!isNumberToken(tokens[i])) {
            output.push_back(tokens[i++]);
            continue;
        }
        std::size_t runEnd = i;
        while (runEnd < tokens.size() && isNumberToken(tokens[runEnd]))
            ++runEnd;
        const std::vector<icu::UnicodeString> run(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                                                  tokens.begin() +
                                                      static_cast<std::ptrdiff_t>(runEnd));
        if (const std::optional<std::int64_t> value = parse(run))
            output.emplace_back(icu::UnicodeString::fromUTF8(std::to_string(*value)));
        else
            output.insert(output.end(), run.begin(), run.end());
        i = runEnd;
    }
    return joinWithSpaces(output);
}

icu::UnicodeString replaceKoreanNumbers(const icu::UnicodeString &text) {
    return replaceNumberRuns(text, isKoreanNumberToken,
                             [](const std::vector<icu::UnicodeString> &run) {
                                 icu::UnicodeString characters;
                                 for (const auto &token : run)
                                     characters.append(token);
                                 return parseSinoKorean(characters);
                             });
}

icu::UnicodeString replaceEnglishNumbers(const icu::UnicodeString &text) {
    return replaceNumberRuns(text, isEnglishNumberWord, parseEnglishNumber);
}

bool isHangul(UChar32 c) {
    return (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0x1100 && c <= 0x11FF) ||
           (c >= 0x3130 && c <= 0x318F);
}

icu::UnicodeString joinDigitAndHangul(const icu::UnicodeString &text) {
    std::vector<std::pair<int32_t, int32_t>> characters;
    forEachCluster(text,
                   [&](int32_t start, int32_t limit) { characters.emplace_back(start, limit); });
    if (characters.size() < 3)
        return text;
    icu::UnicodeString out;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const auto [start, limit] = characters[i];
        const bool droppable = i > 0 && i + 1 < characters.size() && limit - start == 1 &&
                               text.charAt(start) == u' ' &&
                               isNumeric(text.char32At(characters[i - 1].first)) &&
                               isHangul(text.char32At(characters[i + 1].first));
        if (!droppable)
            out.append(text, start, limit - start);
    }
    return out;
}

const icu::RegexPattern &compiledPattern(const char16_t *source) {
    UErrorCode status = U_ZERO_ERROR;
    auto *pattern = icu::RegexPattern::compile(icu::UnicodeString(source), 0, status);
    if (U_FAILURE(status) || pattern == nullptr)
        throw std::runtime_error("invalid scoring pattern");
    return *pattern;
}

icu::UnicodeString replaceAll(const icu::RegexPattern &pattern, const icu::UnicodeString &text,
                              const icu::UnicodeString &replacement) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    if (U_FAILURE(status))
        throw std::runtime_error("scoring pattern could not run");
    icu::UnicodeString result = matcher->replaceAll(replacement, status);
    if (U_FAILURE(status))
        throw std::runtime_error("scoring pattern could not run");
    return result;
}

} // namespace

std::string normalizeForScoring(std::string_view input) {
    // Compiled once; patterns are immutable and safe to share between threads.
    static const icu::RegexPattern &bracketed = compiledPattern(uR"(\[.*?\])");
    static const icu::RegexPattern &parenthesised = compiledPattern(uR"(\(.*?\))");
    static const icu::RegexPattern &thousands = compiledPattern(uR"((\d),(\d{3})(?=\D|$))");

    icu::UnicodeString text = lowerCase(nfkc(fromUtf8(input)));
    text = replaceAll(bracketed, text, u" ");
    text = replaceAll(parenthesised, text, u" ");
    constexpr std::array<std::pair<const char16_t *, const char16_t *>, 5> literals{
        {{u"mr.", u"mister"},
         {u"mrs.", u"missus"},
         {u"ms.", u"miss"},
         {u"dr.", u"doctor"},
         {u"%", u"퍼센트"}}};
    for (const auto &[from, to] : literals)
        text.findAndReplace(from, to);
    for (int pass = 0; pass < 2; ++pass)
        text = replaceAll(thousands, text, u"$1$2");

    icu::UnicodeString kept;
    forEachCluster(text, [&](int32_t start, int32_t limit) {
        const UChar32 first = text.char32At(start);
        if (isAlphabetic(first) || isNumeric(first) || isWhiteSpace(first))
            kept.append(text, start, limit - start);
        else
            kept.append(u' ');
    });

    text = joinDigitAndHangul(replaceEnglishNumbers(replaceKoreanNumbers(kept)));
    return toUtf8(trimWhiteSpace(joinWithSpaces(splitAtSpaces(text))));
}

} // namespace TranscriptionCore
