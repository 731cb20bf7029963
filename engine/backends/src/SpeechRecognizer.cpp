#include <OrvintaEngineBackends/SpeechRecognizer.h>

namespace Orvinta {

std::string RecognitionResult::plainText() const {
    std::string text;
    for (const auto &run : runs)
        text += run.text;
    return text;
}

} // namespace Orvinta
