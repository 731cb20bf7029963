#include <TranscriptionCore/TranscriptionCore.h>

#include <iostream>

int main() {
    TranscriptionCore::DedupTracker tracker;
    tracker.insert(TranscriptionCore::normalizeForDedup("Hello there."));
    const bool duplicate =
        tracker.isDuplicate(TranscriptionCore::normalizeForDedup("hello there!"));
    const auto sentences = TranscriptionCore::splitSentences("One. Two.");
    const double wer = TranscriptionCore::wordErrorRate("a b", "a c");
    std::cout << duplicate << ' ' << sentences.size() << ' ' << wer << '\n';
    return duplicate && sentences.size() == 2 && wer == 0.5 ? 0 : 1;
}
