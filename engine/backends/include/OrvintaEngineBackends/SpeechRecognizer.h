#pragma once

#include <OrvintaEngineBackends/AnalyzerInputQueue.h>
#include <OrvintaEngineBackends/AudioFormat.h>
#include <OrvintaEngineBackends/EngineTypes.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvinta {

/// A time on an analyzer's audio timeline: zero at analyzer start, counted
/// over the audio that was queued to it.
using MediaTime = std::chrono::microseconds;

struct AudioTimeRange {
    MediaTime start{0};
    MediaTime duration{0};
    MediaTime end() const { return start + duration; }
    friend bool operator==(const AudioTimeRange &, const AudioTimeRange &) = default;
};

/// A stretch of a result's text, with the audio it was heard in when known.
struct TextRun {
    std::string text;
    std::optional<AudioTimeRange> timeRange;
};

struct RecognitionResult {
    bool isFinal = false;
    std::vector<TextRun> runs;

    std::string plainText() const;
};

/// One analysis session over one input queue. Results are produced on the
/// analyzer's own thread; callbacks must not block.
class SpeechAnalyzer {
public:
    struct Callbacks {
        /// Each result, in time order.
        std::function<void(RecognitionResult)> result;
        /// Once, after the last result; carries the failure that ended the
        /// results, if any.
        std::function<void(std::optional<std::string> failure)> resultsEnded;
    };

    virtual ~SpeechAnalyzer() = default;

    /// Begins analysing `input`. `started` is called once, from any thread, with
    /// nothing on success or the reason the analyzer could not start.
    virtual void start(std::shared_ptr<AnalyzerInputQueue> input, Callbacks callbacks,
                       std::function<void(std::optional<EngineError>)> started) = 0;
    /// Analyses everything queued up to the end of the input, delivers the last
    /// results and ends them, then calls `done` once from any thread.
    virtual void finalizeAndFinishThroughEndOfInput(std::function<void()> done) = 0;
    /// Gives up a pending finalize promptly; its `done` still comes.
    virtual void cancelFinalize() = 0;
};

/// A recognition module for one locale.
class SpeechTranscriber {
public:
    virtual ~SpeechTranscriber() = default;

    /// Locates the locale's assets. Throws EngineError when they are missing.
    virtual void reserveAssets() = 0;
    /// True when assets must be installed before use. Throws EngineError.
    virtual bool assetsNeedInstallation() = 0;
    /// Throws EngineError.
    virtual void installAssets() = 0;
    /// The format the analyzer wants, or nothing.
    virtual std::optional<AudioFormat> bestAvailableAudioFormat() const = 0;
    virtual std::unique_ptr<SpeechAnalyzer> makeAnalyzer() = 0;
};

class SpeechRecognizer {
public:
    virtual ~SpeechRecognizer() = default;
    virtual std::shared_ptr<SpeechTranscriber> makeTranscriber(const std::string &locale) = 0;
};

} // namespace Orvinta
