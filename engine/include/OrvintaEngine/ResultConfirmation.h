#pragma once

#include <OrvintaEngineBackends/SpeechRecognizer.h>

#include <TranscriptionCore/Dedup.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Orvinta {

class STTEngineDelegate;

/// Removes spaces and tabs (not line breaks) at both ends.
std::string_view trimSpaces(std::string_view text);

/// Turns the recogniser's volatile and final results into interim text and
/// confirmed lines, confirming each sentence once however many results
/// report it. Main thread only.
class ResultConfirmation {
public:
    /// `delegate` is asked on every delivery; it may return null.
    explicit ResultConfirmation(std::function<STTEngineDelegate *()> delegate);

    void handleVolatileResult(std::string_view text);
    void handleFinalResult(const RecognitionResult &result);

    /// Empties the tracker and returns the confirmed audio end to zero.
    void reset();
    MediaTime maxConfirmedAudioEnd() const { return m_maxConfirmedAudioEnd; }

private:
    bool accept(std::string_view candidate);
    void deliver(const std::string &text, const std::vector<TextRun> &words = {});

    std::function<STTEngineDelegate *()> m_delegate;
    TranscriptionCore::DedupTracker m_dedupTracker;
    MediaTime m_maxConfirmedAudioEnd{0};
};

} // namespace Orvinta
