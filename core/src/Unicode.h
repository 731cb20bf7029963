#pragma once

// Unicode helpers shared by the text pieces of the module. Text arrives as
// UTF-8 that may be ill-formed; every ill-formed sequence reads as U+FFFD.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <unicode/brkiter.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <TranscriptionCore/Dedup.h>

namespace TranscriptionCore::detail {

icu::UnicodeString fromUtf8(std::string_view text);
std::string toUtf8(const icu::UnicodeString &text);

bool isAscii(std::string_view text);

// The code point at `pos` (U+FFFD for an ill-formed sequence); `pos` moves past it.
UChar32 decodeUtf8(std::string_view text, std::size_t &pos);
// The code point before `pos`; `pos` moves to its start.
UChar32 decodeUtf8Before(std::string_view text, std::size_t &pos);

icu::UnicodeString nfc(const icu::UnicodeString &text);
icu::UnicodeString nfkc(const icu::UnicodeString &text);
// Full, locale-independent lower-case mapping.
icu::UnicodeString lowerCase(icu::UnicodeString text);

bool isAlphabetic(UChar32 c);
bool isNumeric(UChar32 c);
bool isWhiteSpace(UChar32 c);
// Unicode space separators and the tab: what "trim" removes where line breaks stay.
bool isSpaceOrTab(UChar32 c);

// The pieces between U+0020 characters, empty pieces left out.
std::vector<icu::UnicodeString> splitAtSpaces(const icu::UnicodeString &text);
icu::UnicodeString joinWithSpaces(const std::vector<icu::UnicodeString> &pieces);
// Removes White_Space code points at both ends.
icu::UnicodeString trimWhiteSpace(const icu::UnicodeString &text);

// A grapheme-cluster iterator for this thread, created once (creation is costly).
icu::BreakIterator &characterBreakIterator();

// Calls f(start, limit) for every grapheme cluster of `text` (UTF-16 offsets).
template <class F> void forEachCluster(const icu::UnicodeString &text, F &&f) {
    icu::BreakIterator &it = characterBreakIterator();
    it.setText(text);
    int32_t start = it.first();
    for (int32_t limit = it.next(); limit != icu::BreakIterator::DONE; limit = it.next()) {
        f(start, limit);
        start = limit;
    }
}

// Numbers the distinct characters (grapheme clusters) of texts so that edit
// distances run over integers. A single code point is its own number; longer
// clusters get numbers above the code-point range. Numbers already in the
// parent table are reused; the parent is never changed.

class CharacterInterner {
public:
    explicit CharacterInterner(ClusterTable &table, const ClusterTable *parent = nullptr)
        : m_table(table)
        , m_parent(parent) {}

    std::uint32_t id(const icu::UnicodeString &cluster);

private:
    ClusterTable &m_table;
    const ClusterTable *m_parent;
};

// The characters of `text` (compared under canonical equivalence) as numbers.
std::vector<std::uint32_t> characterIds(std::string_view text, CharacterInterner &interner);

// The canonical (NFC) form, used wherever strings are keyed by equality.
std::string canonicalKey(std::string_view text);

// Walks grapheme clusters of UTF-8 text by byte offset, without copying the
// text; ASCII runs are handled without ICU.
class ClusterScanner {
public:
    explicit ClusterScanner(std::string_view text);
    ~ClusterScanner();
    ClusterScanner(const ClusterScanner &) = delete;
    ClusterScanner &operator=(const ClusterScanner &) = delete;

    std::size_t size() const { return m_text.size(); }
    // End of the cluster that starts at `pos` (pos < size()).
    std::size_t next(std::size_t pos);
    // Start of the cluster that ends at `pos` (pos > 0).
    std::size_t previous(std::size_t pos);
    // Start of the cluster that contains `pos`, or `pos` when it is a boundary.
    std::size_t boundaryAtOrBefore(std::size_t pos);

    // The cluster [pos, next(pos)) is exactly the code point c.
    bool clusterIs(std::size_t pos, UChar32 c);
    UChar32 firstCodePoint(std::size_t pos) const;
    icu::UnicodeString cluster(std::size_t pos);

private:
    icu::BreakIterator &iterator();

    std::string_view m_text;
    UText *m_utext = nullptr;
    std::unique_ptr<icu::BreakIterator> m_iterator; // created on first non-ASCII need
};

} // namespace TranscriptionCore::detail
