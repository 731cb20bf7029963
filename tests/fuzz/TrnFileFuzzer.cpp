// orvinta-score's inputs: two transcripts in one input, split at the first
// 0xFF byte (never part of UTF-8), read, paired and scored.

#include "FuzzSupport.h"

#include "TrnFile.h"

#include <TranscriptionCore/Scoring.h>

#include <algorithm>
#include <cstring>

using namespace TranscriptionCore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::uint8_t *split = static_cast<const std::uint8_t *>(std::memchr(data, 0xff, size));
    const std::size_t referenceSize = split ? static_cast<std::size_t>(split - data) : size;
    try {
        const auto references =
            tools::readUtterances(OrvintaFuzz::asFile(data, referenceSize, ".ref"));
        const std::size_t rest = split ? size - referenceSize - 1 : 0;
        const auto hypotheses =
            tools::readUtterances(OrvintaFuzz::asFile(split ? split + 1 : data, rest, ".hyp"));
        for (const auto &pair : tools::pairUtterances(references, hypotheses)) {
            const std::string reference = normalizeForScoring(pair.reference);
            const std::string hypothesis = normalizeForScoring(pair.hypothesis);
            const double cer = characterErrorRate(reference, hypothesis);
            const double wer = wordErrorRate(reference, hypothesis);
            if (!(cer >= 0) || !(wer >= 0))
                std::abort();
        }
    } catch (const tools::ParseError &) {
    }
    return 0;
}
