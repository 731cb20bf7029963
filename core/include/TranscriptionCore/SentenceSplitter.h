#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace TranscriptionCore {

/// Byte offset of the character that ends the first sentence found at or after
/// `after` (itself a byte offset at a character boundary), or nothing.
std::optional<std::size_t> findFirstSentenceBoundary(std::string_view text, std::size_t after);

/// The text cut into trimmed, non-empty sentences that keep their terminators.
std::vector<std::string> splitSentences(std::string_view text);

} // namespace TranscriptionCore
