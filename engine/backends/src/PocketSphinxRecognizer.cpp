#include <OrvintaEngineBackends/PocketSphinxRecognizer.h>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace Orvinta {

namespace {

constexpr double decoderSampleRate = 16000;
constexpr double decoderFrameRate = 100; // frames per second of the feature stream
// Voice detection needs 10 frames (of 160 samples) of speech to begin one,
// so a step of 5 frames cannot miss a pause, however short.
constexpr std::size_t stepSamples = 5 * 160;
// Speech without a pause (or music taken for speech) is cut into utterances of
// at most this length, so a final result always comes soon and the search's
// memory stays bounded: its tables grow with the utterance and keep their
// largest size (on continuous speech a 20 s cut held about 7 MB more).
constexpr std::uint64_t maxUtteranceSamples = 10 * 16000;
const std::string errorDomain = "com.orvinta.PocketSphinx";
const std::string cancelledText = "Analysis cancelled";

struct DecoderDeleter {
    void operator()(ps_decoder_t *decoder) const { ps_free(decoder); }
};
using Decoder = std::unique_ptr<ps_decoder_t, DecoderDeleter>;

std::optional<PocketSphinxModel> modelFor(const std::filesystem::path &root,
                                          const std::string &locale) {
    if (locale != "en-US")
        return std::nullopt;
    const auto folder = root / "en-us";
    return PocketSphinxModel{folder / "en-us", folder / "en-us.lm.bin",
                             folder / "cmudict-en-us.dict"};
}

Decoder makeDecoder(const PocketSphinxModel &model) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });

    const std::string hmm = model.acousticModel.string();
    const std::string lm = model.languageModel.string();
    const std::string dict = model.dictionary.string();
    // 0.2 s of silence ends an utterance (the default waits 0.5 s), so a line is
    // confirmed soon after its speaker pauses. Without the flat-lexicon second
    // pass an utterance's final comes sooner, and on our recordings it was also
    // more accurate (word error rate 0.35 against 0.44). The word ends kept per
    // frame stay unlimited: a limit of 10 saved about 2 MB on continuous speech
    // but moved the first word of a sentence 0.3 s early into the noise.
    cmd_ln_t *config =
        cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.c_str(), "-lm", lm.c_str(), "-dict",
                    dict.c_str(), "-vad_postspeech", "20", "-fwdflat", "no", nullptr);
    if (!config)
        throw EngineError(errorDomain, -2, "The PocketSphinx configuration was refused");
    Decoder decoder(ps_init(config));
    cmd_ln_free_r(config);
    if (!decoder)
        throw EngineError(errorDomain, -3,
                          "The PocketSphinx model in " +
                              model.acousticModel.parent_path().string() + " could not be loaded");
    return decoder;
}

std::string joinWords(const std::vector<std::string> &words) {
    std::string text;
    for (const auto &word : words) {
        if (!text.empty())
            text += ' ';
        text += word;
    }
    return text;
}

std::vector<std::string> hypothesisWords(const char *hypothesis) {
    std::vector<std::string> words;
    if (!hypothesis)
        return words;
    std::string_view rest(hypothesis);
    while (!rest.empty()) {
        const auto space = rest.find(' ');
        std::string word = PocketSphinxText::wordText(rest.substr(0, space));
        if (!word.empty())
            words.push_back(std::move(word));
        if (space == std::string_view::npos)
            break;
        rest.remove_prefix(space + 1);
    }
    return words;
}

} // namespace

namespace PocketSphinxText {

std::string wordText(std::string_view token) {
    if (token.empty() || token.front() == '<' || token.front() == '[' || token.starts_with("++"))
        return {};
    if (token.back() == ')') {
        const auto open = token.rfind('(');
        if (open != std::string_view::npos && open > 0)
            token = token.substr(0, open);
    }
    // The dictionary spells letters and initialisms with dots ("s.", "u.s.");
    // kept, those dots would read as sentence ends.
    if (token.find('.') != std::string_view::npos) {
        std::string letters;
        for (char c : token) {
            if (c != '.')
                letters += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return letters;
    }
    std::string word(token);
    if (word == "i" || word.starts_with("i'"))
        word[0] = 'I';
    return word;
}

} // namespace PocketSphinxText

/// Loaded decoders of one model, kept between runs: loading takes far longer
/// than starting an utterance. Two are kept, for the two recognisers of a run
/// on the microphone and the computer together.
class PocketSphinxRecognizer::DecoderCache {
public:
    static constexpr std::size_t maxIdle = 2;

    Decoder acquire(const PocketSphinxModel &model) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_idle.empty() && m_idleModel == model.acousticModel) {
                Decoder decoder = std::move(m_idle.back());
                m_idle.pop_back();
                return decoder;
            }
        }
        return makeDecoder(model);
    }

    void release(const PocketSphinxModel &model, Decoder decoder) {
        std::lock_guard lock(m_mutex);
        if (m_idleModel != model.acousticModel)
            m_idle.clear();
        m_idleModel = model.acousticModel;
        if (m_idle.size() < maxIdle)
            m_idle.push_back(std::move(decoder));
    }

private:
    std::mutex m_mutex;
    std::vector<Decoder> m_idle;
    std::filesystem::path m_idleModel;
};

namespace {

class PocketSphinxAnalyzer : public SpeechAnalyzer {
public:
    PocketSphinxAnalyzer(PocketSphinxModel model,
                         std::shared_ptr<PocketSphinxRecognizer::DecoderCache> decoders)
        : m_model(std::move(model))
        , m_decoders(std::move(decoders)) {}

    ~PocketSphinxAnalyzer() override {
        m_cancelled = true;
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
    }

    void start(std::shared_ptr<AnalyzerInputQueue> input, Callbacks callbacks,
               std::function<void(std::optional<EngineError>)> started) override {
        m_callbacks = std::move(callbacks);
        m_thread = std::jthread([this, input = std::move(input), started = std::move(started)](
                                    std::stop_token stop) { run(stop, *input, started); });
    }

    void finalizeAndFinishThroughEndOfInput(std::function<void()> done) override {
        std::unique_lock lock(m_doneMutex);
        if (m_ended) {
            lock.unlock();
            done();
            return;
        }
        m_finalizeDone = std::move(done);
    }

    void cancelFinalize() override { m_cancelled = true; }

private:
    void run(std::stop_token stop, AnalyzerInputQueue &input,
             const std::function<void(std::optional<EngineError>)> &started) {
        Decoder decoder;
        try {
            decoder = m_decoders->acquire(m_model);
        } catch (const EngineError &error) {
            started(error);
            end(error.description());
            return;
        }
        // A stream per run: the decoder counts the frames of its segments from
        // the stream's start, which is then this run's start.
        if (ps_start_stream(decoder.get()) < 0 || ps_start_utt(decoder.get()) < 0) {
            started(EngineError(errorDomain, -4, "PocketSphinx could not start an utterance"));
            end("PocketSphinx could not start an utterance");
            return;
        }
        started(std::nullopt);

        std::optional<std::string> failure;
        std::vector<std::int16_t> samples;
        while (true) {
            if (m_cancelled || stop.stop_requested()) {
                failure = cancelledText;
                break;
            }
            auto item = input.take(std::chrono::milliseconds(50));
            if (item.status == AnalyzerInputQueue::Status::timedOut)
                continue;
            if (item.status == AnalyzerInputQueue::Status::ended)
                break;
            toDecoderSamples(*item.buffer, samples);
            if (samples.empty())
                continue;
            failure = analyse(decoder.get(), samples);
            if (failure)
                break;
            if (m_inUtterance)
                reportPartial(decoder.get());
        }

        bool decoderUsable = true;
        if (!failure) {
            if (m_inUtterance) {
                if (!finishUtterance(decoder.get())) {
                    failure = "PocketSphinx could not end an utterance";
                    decoderUsable = false;
                }
            } else {
                ps_end_utt(decoder.get());
            }
        } else if (failure == cancelledText) {
            ps_end_utt(decoder.get());
        } else {
            decoderUsable = false;
        }
        if (decoderUsable)
            m_decoders->release(m_model, std::move(decoder));
        end(failure);
    }

    /// Feeds `samples` to the decoder in steps short enough that every change
    /// of its voice-activity state is seen: an utterance then never holds a
    /// pause, and the decoder's times of its words stay right.
    std::optional<std::string> analyse(ps_decoder_t *decoder,
                                       const std::vector<std::int16_t> &samples) {
        for (std::size_t at = 0; at < samples.size(); at += stepSamples) {
            const std::size_t count = std::min<std::size_t>(stepSamples, samples.size() - at);
            if (ps_process_raw(decoder, samples.data() + at, count, FALSE, FALSE) < 0)
                return "PocketSphinx could not process audio";
            m_samplesAnalysed += count;
            const bool inSpeech = ps_get_in_speech(decoder) != 0;
            if (m_inUtterance)
                m_utteranceSamples += count;
            if (inSpeech && !m_inUtterance) {
                m_inUtterance = true;
                m_utteranceSamples = count;
            } else if (m_inUtterance && (!inSpeech || m_utteranceSamples > maxUtteranceSamples)) {
                if (!finishUtterance(decoder) || ps_start_utt(decoder) < 0)
                    return "PocketSphinx could not end an utterance";
            }
        }
        return std::nullopt;
    }

    void toDecoderSamples(const AudioBuffer &buffer, std::vector<std::int16_t> &samples) {
        samples.clear();
        const std::uint32_t frames = buffer.frameLength();
        if (const float *data = buffer.floatChannel(0)) {
            samples.resize(frames);
            for (std::uint32_t i = 0; i < frames; ++i)
                samples[i] = static_cast<std::int16_t>(
                    std::lround(std::clamp(data[i], -1.0f, 1.0f) * 32767.0f));
        } else if (buffer.format().sampleType == SampleType::int16 &&
                   buffer.format().channels == 1) {
            samples.resize(frames);
            std::memcpy(samples.data(), buffer.planeBytes(0), frames * sizeof(std::int16_t));
        }
    }

    void reportPartial(ps_decoder_t *decoder) {
        std::int32_t score = 0;
        std::string text = joinWords(hypothesisWords(ps_get_hyp(decoder, &score)));
        if (text.empty() || text == m_lastPartial)
            return;
        m_lastPartial = text;
        m_callbacks.result(RecognitionResult{false, {TextRun{std::move(text), std::nullopt}}});
    }

    bool finishUtterance(ps_decoder_t *decoder) {
        if (ps_end_utt(decoder) < 0)
            return false;
        m_inUtterance = false;

        // Segment frames count from the stream's start, which is the run's.
        // Starting an utterance resets the voice detection, so also one cut
        // out of continuous speech counts from where speech began again.
        const double analysed = static_cast<double>(m_samplesAnalysed) / decoderSampleRate;
        const auto toTime = [&](int frame) {
            const double seconds = std::clamp(frame / decoderFrameRate, 0.0, analysed);
            return MediaTime(static_cast<std::int64_t>(std::llround(seconds * 1e6)));
        };

        RecognitionResult result{true, {}};
        for (ps_seg_t *segment = ps_seg_iter(decoder); segment; segment = ps_seg_next(segment)) {
            std::string word = PocketSphinxText::wordText(ps_seg_word(segment));
            if (word.empty())
                continue;
            int startFrame = 0;
            int endFrame = 0;
            ps_seg_frames(segment, &startFrame, &endFrame);
            const MediaTime start = toTime(startFrame);
            result.runs.push_back(
                TextRun{std::move(word), AudioTimeRange{start, toTime(endFrame + 1) - start}});
        }
        const bool hadPartial = !m_lastPartial.empty();
        m_lastPartial.clear();
        if (result.runs.empty()) {
            if (hadPartial) // clears the interim text that partials showed
                m_callbacks.result(std::move(result));
            return true;
        }
        // PocketSphinx knows no punctuation: a final is one capitalised sentence.
        auto &first = result.runs.front().text;
        first[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(first[0])));
        for (std::size_t i = 0; i + 1 < result.runs.size(); ++i)
            result.runs[i].text += ' ';
        result.runs.back().text += '.';
        m_callbacks.result(std::move(result));
        return true;
    }

    void end(std::optional<std::string> failure) {
        m_callbacks.resultsEnded(std::move(failure));
        std::function<void()> done;
        {
            std::lock_guard lock(m_doneMutex);
            m_ended = true;
            done = std::move(m_finalizeDone);
        }
        if (done)
            done();
    }

    const PocketSphinxModel m_model;
    std::shared_ptr<PocketSphinxRecognizer::DecoderCache> m_decoders;
    Callbacks m_callbacks;
    std::atomic<bool> m_cancelled{false};
    std::mutex m_doneMutex;
    bool m_ended = false;
    std::function<void()> m_finalizeDone;
    // analyzer thread only
    bool m_inUtterance = false;
    std::string m_lastPartial;
    std::uint64_t m_samplesAnalysed = 0;
    std::uint64_t m_utteranceSamples = 0;
    std::jthread m_thread;
};

class PocketSphinxTranscriber : public SpeechTranscriber {
public:
    PocketSphinxTranscriber(std::string locale, std::optional<PocketSphinxModel> model,
                            std::shared_ptr<PocketSphinxRecognizer::DecoderCache> decoders)
        : m_locale(std::move(locale))
        , m_model(std::move(model))
        , m_decoders(std::move(decoders)) {}

    void reserveAssets() override {
        if (!m_model)
            throw EngineError(errorDomain, -1,
                              "No speech model for " + m_locale +
                                  " is installed (PocketSphinx has a model for en-US only)");
        for (const auto &path :
             {m_model->acousticModel / "mdef", m_model->languageModel, m_model->dictionary}) {
            std::error_code error;
            if (!std::filesystem::exists(path, error))
                throw EngineError(errorDomain, -1,
                                  "The PocketSphinx model for " + m_locale +
                                      " is not installed (missing " + path.string() +
                                      "; Debian package pocketsphinx-en-us)");
        }
        // Loading now proves the model readable and makes the first start quick.
        m_decoders->release(*m_model, m_decoders->acquire(*m_model));
    }

    bool assetsNeedInstallation() override { return false; }
    void installAssets() override {}

    std::optional<AudioFormat> bestAvailableAudioFormat() const override {
        return AudioFormat{decoderSampleRate, 1, SampleType::float32, false};
    }

    std::unique_ptr<SpeechAnalyzer> makeAnalyzer() override {
        if (!m_model)
            throw EngineError(errorDomain, -1, "No speech model for " + m_locale + " is installed");
        return std::make_unique<PocketSphinxAnalyzer>(*m_model, m_decoders);
    }

private:
    std::string m_locale;
    std::optional<PocketSphinxModel> m_model;
    std::shared_ptr<PocketSphinxRecognizer::DecoderCache> m_decoders;
};

} // namespace

PocketSphinxRecognizer::PocketSphinxRecognizer(std::filesystem::path modelRoot)
    : m_modelRoot(std::move(modelRoot))
    , m_decoders(std::make_shared<DecoderCache>()) {}

PocketSphinxRecognizer::~PocketSphinxRecognizer() = default;

std::filesystem::path PocketSphinxRecognizer::defaultModelRoot() {
    if (const char *dir = std::getenv("ORVINTA_POCKETSPHINX_MODEL_DIR"); dir && *dir)
        return dir;
    return "/usr/share/pocketsphinx/model";
}

std::shared_ptr<SpeechTranscriber>
PocketSphinxRecognizer::makeTranscriber(const std::string &locale) {
    return std::make_shared<PocketSphinxTranscriber>(locale, modelFor(m_modelRoot, locale),
                                                     m_decoders);
}

} // namespace Orvinta
