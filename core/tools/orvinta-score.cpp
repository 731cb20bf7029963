// orvinta-score REF HYP: character and word error rates of a recognised
// transcript against a reference, one utterance per line.

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <TranscriptionCore/TranscriptionCore.h>

#include "TrnFile.h"

using namespace TranscriptionCore;
using namespace TranscriptionCore::tools;

namespace {

constexpr std::string_view usage =
    "Usage: orvinta-score [--normalize] [--json] REF HYP\n"
    "  REF, HYP   text files with one utterance per line, optionally ending in\n"
    "             an utterance id in parentheses (NIST trn); lines pair by id\n"
    "             when ids are present, else by position\n"
    "  --normalize  compare the texts after scoring normalisation\n"
    "  --json       print machine-readable output\n";

std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6f", value);
    return buffer;
}

} // namespace

int main(int argc, char **argv) {
    bool normalize = false;
    bool json = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--normalize") {
            normalize = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "-h" || arg == "--help") {
            std::cout << usage;
            return 0;
        } else if (arg.starts_with("--")) {
            std::cerr << "orvinta-score: unknown option " << arg << "\n" << usage;
            return 2;
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.size() != 2) {
        std::cerr << usage;
        return 2;
    }

    std::vector<UtterancePair> pairs;
    try {
        pairs = pairUtterances(readUtterances(files[0]), readUtterances(files[1]));
    } catch (const ParseError &error) {
        std::cerr << "orvinta-score: " << error.message << "\n";
        return 1;
    }

    SessionScoreReport session;
    std::vector<std::string> labels;
    std::vector<std::int64_t> wordErrors;
    for (auto &pair : pairs) {
        std::string reference = normalize ? normalizeForScoring(pair.reference) : pair.reference;
        std::string hypothesis = normalize ? normalizeForScoring(pair.hypothesis) : pair.hypothesis;
        wordErrors.push_back(wordEditDistance(reference, hypothesis));
        session.reports.emplace_back(std::move(reference), std::move(hypothesis));
        labels.push_back(pair.label);
    }

    if (json) {
        std::cout << "{\n  \"utterances\": [";
        for (std::size_t i = 0; i < session.reports.size(); ++i) {
            const auto &r = session.reports[i];
            std::cout << (i ? ",\n" : "\n") << "    {\"id\": " << jsonString(labels[i])
                      << ", \"reference\": " << jsonString(r.reference)
                      << ", \"hypothesis\": " << jsonString(r.hypothesis)
                      << ", \"cer\": " << number(r.cer) << ", \"wer\": " << number(r.wer)
                      << ", \"wordErrors\": " << wordErrors[i]
                      << ", \"referenceWords\": " << wordCount(r.reference) << "}";
        }
        std::cout << "\n  ],\n  \"meanCER\": " << number(session.meanCER())
                  << ",\n  \"meanWER\": " << number(session.meanWER())
                  << ",\n  \"aggregateCER\": " << number(session.aggregateCER())
                  << ",\n  \"aggregateWER\": " << number(session.aggregateWER()) << "\n}\n";
        return 0;
    }

    int width = 10;
    for (const auto &label : labels)
        width = std::max(width, static_cast<int>(label.size()));
    std::printf("%-*s %8s %8s  %s\n", width, "utterance", "CER", "WER", "word errors");
    for (std::size_t i = 0; i < session.reports.size(); ++i) {
        const auto &r = session.reports[i];
        std::printf("%-*s %8.4f %8.4f  %lld/%lld\n", width, labels[i].c_str(), r.cer, r.wer,
                    static_cast<long long>(wordErrors[i]),
                    static_cast<long long>(wordCount(r.reference)));
    }
    std::printf("\n%-*s %8.4f %8.4f\n", width, "mean", session.meanCER(), session.meanWER());
    std::printf("%-*s %8.4f %8.4f\n", width, "aggregate", session.aggregateCER(),
                session.aggregateWER());
    return 0;
}
