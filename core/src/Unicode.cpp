#include "Unicode.h"

#include <memory>
#include <stdexcept>

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace TranscriptionCore::detail {

namespace {

const icu::Normalizer2 &normalizer(bool compatibility) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *n = compatibility ? icu::Normalizer2::getNFKCInstance(status)
                                              : icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || n == nullptr)
        throw std::runtime_error("ICU normalisation data is not available");
    return *n;
}

icu::UnicodeString normalize(const icu::UnicodeString &text, bool compatibility) {
    const icu::Normalizer2 &n = normalizer(compatibility);
    UErrorCode status = U_ZERO_ERROR;
    if (n.isNormalized(text, status) && U_SUCCESS(status))
        return text;
    status = U_ZERO_ERROR;
    icu::UnicodeString result = n.normalize(text, status);
    if (U_FAILURE(status))
        throw std::runtime_error("ICU normalisation failed");
    return result;
}

bool isAsciiByte(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

} // namespace

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString &text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// ICU's UTF-8 macros narrow ints internally.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
UChar32 decodeUtf8(std::string_view text, std::size_t &pos) {
    auto i = static_cast<int32_t>(pos);
    UChar32 c;
    U8_NEXT(text.data(), i, static_cast<int32_t>(text.size()), c);
    pos = static_cast<std::size_t>(i);
    return c < 0 ? 0xFFFD : c;
}

UChar32 decodeUtf8Before(std::string_view text, std::size_t &pos) {
    auto i = static_cast<int32_t>(pos);
    UChar32 c;
    U8_PREV(text.data(), 0, i, c);
    pos = static_cast<std::size_t>(i);
    return c < 0 ? 0xFFFD : c;
}
#pragma GCC diagnostic pop

bool isAscii(std::string_view text) {
    for (char c : text)
        if (!isAsciiByte(c))
            return false;
    return true;
}

icu::UnicodeString nfc(const icu::UnicodeString &text) {
    return normalize(text, false);
}
icu::UnicodeString nfkc(const icu::UnicodeString &text) {
    return normalize(text, true);
}

icu::UnicodeString lowerCase(icu::UnicodeString text) {
    text.toLower(icu::Locale::getRoot());
    return text;
}

bool isAlphabetic(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_ALPHABETIC);
}

bool isNumeric(UChar32 c) {
    return u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isWhiteSpace(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
}

bool isSpaceOrTab(UChar32 c) {
    return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

std::vector<icu::UnicodeString> splitAtSpaces(const icu::UnicodeString &text) {
    std::vector<icu::UnicodeString> pieces;
    int32_t start = 0;
    for (int32_t i = 0; i <= text.length(); ++i) {
        if (i < text.length() && text.charAt(i) != u' ')
            continue;
        if (i > start)
            pieces.emplace_back(text, start, i - start);
        start = i + 1;
    }
    return pieces;
}

icu::UnicodeString joinWithSpaces(const std::vector<icu::UnicodeString> &pieces) {
    icu::UnicodeString joined;
    for (const auto &piece : pieces) {
        if (!joined.isEmpty())
            joined.append(u' ');
        joined.append(piece);
    }
    return joined;
}

icu::UnicodeString trimWhiteSpace(const icu::UnicodeString &text) {
    int32_t start = 0;
    int32_t limit = text.length();
    while (start < limit && isWhiteSpace(text.char32At(start)))
        start = text.moveIndex32(start, 1);
    while (limit > start && isWhiteSpace(text.char32At(text.moveIndex32(limit, -1))))
        limit = text.moveIndex32(limit, -1);
    return icu::UnicodeString(text, start, limit - start);
}

icu::BreakIterator &characterBreakIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !it)
            throw std::runtime_error("ICU grapheme segmentation is not available");
        return it;
    }();
    return *iterator;
}

std::uint32_t CharacterInterner::id(const icu::UnicodeString &cluster) {
    if (cluster.length() <= 2 && cluster.countChar32() == 1)
        return static_cast<std::uint32_t>(cluster.char32At(0));
    std::u16string key(cluster.getBuffer(), static_cast<std::size_t>(cluster.length()));
    if (m_parent) {
        if (auto found = m_parent->ids.find(key); found != m_parent->ids.end())
            return found->second;
    }
    auto [it, inserted] = m_table.ids.try_emplace(std::move(key), m_table.nextId);
    if (inserted)
        ++m_table.nextId;
    return it->second;
}

std::vector<std::uint32_t> characterIds(std::string_view text, CharacterInterner &interner) {
    std::vector<std::uint32_t> ids;
    if (isAscii(text)) {
        ids.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ids.push_back(interner.id(icu::UnicodeString(u"\r\n")));
                ++i;
            } else {
                ids.push_back(static_cast<unsigned char>(text[i]));
            }
        }
        return ids;
    }
    const icu::UnicodeString normalized = nfc(fromUtf8(text));
    ids.reserve(static_cast<std::size_t>(normalized.length()));
    forEachCluster(normalized, [&](int32_t start, int32_t limit) {
        if (limit - start == 1)
            ids.push_back(normalized.charAt(start));
        else
            ids.push_back(interner.id(normalized.tempSubStringBetween(start, limit)));
    });
    return ids;
}

std::string canonicalKey(std::string_view text) {
    if (isAscii(text))
        return std::string(text);
    return toUtf8(nfc(fromUtf8(text)));
}

ClusterScanner::ClusterScanner(std::string_view text)
    : m_text(text) {}

ClusterScanner::~ClusterScanner() {
    if (m_utext)
        utext_close(m_utext);
}

icu::BreakIterator &ClusterScanner::iterator() {
    if (!m_iterator) {
        std::unique_ptr<icu::BreakIterator> it(characterBreakIterator().clone());
        UErrorCode status = U_ZERO_ERROR;
        m_utext =
            utext_openUTF8(m_utext, m_text.data(), static_cast<int64_t>(m_text.size()), &status);
        if (U_SUCCESS(status) && it)
            it->setText(m_utext, status);
        if (U_FAILURE(status) || !it)
            throw std::runtime_error("ICU could not open the text for segmentation");
        m_iterator = std::move(it);
    }
    return *m_iterator;
}

std::size_t ClusterScanner::next(std::size_t pos) {
    // Between two ASCII characters there is always a boundary, except inside CR LF.
    if (isAsciiByte(m_text[pos]) &&
        (pos + 1 == m_text.size() ||
         (isAsciiByte(m_text[pos + 1]) && !(m_text[pos] == '\r' && m_text[pos + 1] == '\n'))))
        return pos + 1;
    return static_cast<std::size_t>(iterator().following(static_cast<int32_t>(pos)));
}

std::size_t ClusterScanner::previous(std::size_t pos) {
    if (isAsciiByte(m_text[pos - 1]) && (pos == m_text.size() || isAsciiByte(m_text[pos])) &&
        (pos == 1 ||
         (isAsciiByte(m_text[pos - 2]) && !(m_text[pos - 2] == '\r' && m_text[pos - 1] == '\n'))))
        return pos - 1;
    return static_cast<std::size_t>(iterator().preceding(static_cast<int32_t>(pos)));
}

std::size_t ClusterScanner::boundaryAtOrBefore(std::size_t pos) {
    if (pos == 0 || pos >= m_text.size())
        return std::min(pos, m_text.size());
    if (isAsciiByte(m_text[pos]) && isAsciiByte(m_text[pos - 1]) &&
        !(m_text[pos - 1] == '\r' && m_text[pos] == '\n'))
        return pos;
    icu::BreakIterator &it = iterator();
    const auto p = static_cast<int32_t>(pos);
    return static_cast<std::size_t>(it.isBoundary(p) ? p : it.preceding(p));
}

UChar32 ClusterScanner::firstCodePoint(std::size_t pos) const {
    return decodeUtf8(m_text, pos);
}

bool ClusterScanner::clusterIs(std::size_t pos, UChar32 c) {
    std::size_t after = pos;
    return decodeUtf8(m_text, after) == c && next(pos) == after;
}

icu::UnicodeString ClusterScanner::cluster(std::size_t pos) {
    return fromUtf8(m_text.substr(pos, next(pos) - pos));
}

} // namespace TranscriptionCore::detail
