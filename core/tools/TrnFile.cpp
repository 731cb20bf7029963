#include "TrnFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <map>
#include <set>
#include <string_view>

namespace TranscriptionCore::tools {

namespace {

// Builds messages by appending: GCC 12 misreports operator+ chains on strings (-Wrestrict).
ParseError error(std::initializer_list<std::string_view> parts) {
    std::string message;
    for (std::string_view part : parts)
        message.append(part);
    return {message};
}

std::string trimmed(const std::string &s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

Utterance parseLine(const std::string &line) {
    const std::string text = trimmed(line);
    if (!text.empty() && text.back() == ')') {
        const auto open = text.rfind('(');
        if (open != std::string::npos)
            return {trimmed(text.substr(0, open)), text.substr(open + 1, text.size() - open - 2)};
    }
    return {text, std::nullopt};
}

enum class IdUse { none, all, mixed };

IdUse idUse(const std::vector<Utterance> &utterances) {
    std::size_t withId = 0;
    for (const auto &u : utterances)
        withId += u.id ? 1 : 0;
    if (withId == 0)
        return IdUse::none;
    return withId == utterances.size() ? IdUse::all : IdUse::mixed;
}

} // namespace

std::vector<Utterance> readUtterances(const std::string &path) {
    std::ifstream in(path);
    if (!in)
        throw error({"cannot open ", path, ": ", std::strerror(errno)});
    std::vector<Utterance> utterances;
    std::string line;
    while (std::getline(in, line)) {
        if (!trimmed(line).empty())
            utterances.push_back(parseLine(line));
    }
    if (in.bad())
        throw error({"cannot read ", path});
    return utterances;
}

std::vector<UtterancePair> pairUtterances(const std::vector<Utterance> &references,
                                          const std::vector<Utterance> &hypotheses) {
    const IdUse refIds = idUse(references);
    const IdUse hypIds = idUse(hypotheses);
    std::vector<UtterancePair> pairs;

    if (refIds == IdUse::none && hypIds == IdUse::none) {
        if (references.size() != hypotheses.size())
            throw error({"the reference has ", std::to_string(references.size()),
                         " utterances but the hypothesis has ", std::to_string(hypotheses.size())});
        for (std::size_t i = 0; i < references.size(); ++i)
            pairs.push_back({"#" + std::to_string(i + 1), references[i].text, hypotheses[i].text});
        return pairs;
    }
    if (refIds != IdUse::all || hypIds != IdUse::all)
        throw error({"either every line of both files ends in an utterance id, or none does"});

    std::map<std::string, std::string> hypothesisById;
    for (const auto &h : hypotheses) {
        if (!hypothesisById.emplace(*h.id, h.text).second)
            throw error({"utterance id (", *h.id, ") appears twice in the hypothesis"});
    }
    std::set<std::string> seen;
    for (const auto &r : references) {
        if (!seen.insert(*r.id).second)
            throw error({"utterance id (", *r.id, ") appears twice in the reference"});
        const auto found = hypothesisById.find(*r.id);
        if (found == hypothesisById.end())
            throw error({"utterance (", *r.id, ") has no hypothesis"});
        pairs.push_back({*r.id, r.text, found->second});
        hypothesisById.erase(found);
    }
    if (!hypothesisById.empty())
        throw error({"utterance (", hypothesisById.begin()->first, ") has no reference"});
    return pairs;
}

} // namespace TranscriptionCore::tools
