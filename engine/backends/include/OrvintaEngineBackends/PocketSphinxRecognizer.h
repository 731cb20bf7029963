#pragma once

#include <OrvintaEngineBackends/SpeechRecognizer.h>

#include <filesystem>
#include <memory>
#include <string>

namespace Orvinta {

/// The file set of one PocketSphinx language model.
struct PocketSphinxModel {
    std::filesystem::path acousticModel;
    std::filesystem::path languageModel;
    std::filesystem::path dictionary;
};

/// Recogniser back end on PocketSphinx (16 kHz mono). Partial hypotheses
/// become volatile results; every speech-to-silence change of the decoder's
/// voice-activity state ends an utterance, whose hypothesis is a final result
/// with one timed run per word.
class PocketSphinxRecognizer : public SpeechRecognizer {
public:
    /// `modelRoot` holds one folder per language, as Debian installs them
    /// (`en-us/en-us`, `en-us/en-us.lm.bin`, `en-us/cmudict-en-us.dict`).
    explicit PocketSphinxRecognizer(std::filesystem::path modelRoot = defaultModelRoot());
    ~PocketSphinxRecognizer() override;

    /// $ORVINTA_POCKETSPHINX_MODEL_DIR, or Debian's /usr/share/pocketsphinx/model.
    static std::filesystem::path defaultModelRoot();

    std::shared_ptr<SpeechTranscriber> makeTranscriber(const std::string &locale) override;

    class DecoderCache;

private:
    std::filesystem::path m_modelRoot;
    std::shared_ptr<DecoderCache> m_decoders;
};

namespace PocketSphinxText {
/// A recognised token as text: nothing for fillers and noise (`<sil>`,
/// `[NOISE]`, `++UH++`), the bare word for pronunciation variants (`read(2)`).
std::string wordText(std::string_view token);
} // namespace PocketSphinxText

} // namespace Orvinta
