#pragma once

#include <optional>
#include <string>
#include <vector>

namespace TranscriptionCore::tools {

struct Utterance {
    std::string text;
    std::optional<std::string> id; // a trailing "(id)", as NIST trn files carry
};

struct UtterancePair {
    std::string label;
    std::string reference;
    std::string hypothesis;
};

struct ParseError {
    std::string message;
};

// Reads one utterance per non-blank line; a failure to open or read is a ParseError.
std::vector<Utterance> readUtterances(const std::string &path);

// Pairs by id when the utterances carry ids, else by position; throws ParseError
// for files that cannot be paired.
std::vector<UtterancePair> pairUtterances(const std::vector<Utterance> &references,
                                          const std::vector<Utterance> &hypotheses);

} // namespace TranscriptionCore::tools
