#include <OrvintaEngineBackends/EngineTypes.h>

namespace Orvinta {

std::string_view rawValue(AudioSourceType source) {
    switch (source) {
    case AudioSourceType::systemAudio:
        return "systemAudio";
    case AudioSourceType::microphone:
        return "microphone";
    case AudioSourceType::application:
        return "application";
    case AudioSourceType::both:
        return "both";
    }
    return {};
}

std::optional<AudioSourceType> audioSourceTypeFromRaw(std::string_view raw) {
    for (AudioSourceType source : allAudioSourceTypes()) {
        if (rawValue(source) == raw)
            return source;
    }
    return std::nullopt;
}

std::string_view label(AudioSourceType source) {
    switch (source) {
    case AudioSourceType::systemAudio:
        return "System Audio";
    case AudioSourceType::microphone:
        return "Microphone";
    case AudioSourceType::application:
        return "Application";
    case AudioSourceType::both:
        return "Microphone + Computer";
    }
    return {};
}

const std::vector<AudioSourceType> &allAudioSourceTypes() {
    static const std::vector<AudioSourceType> all{
        AudioSourceType::systemAudio, AudioSourceType::microphone, AudioSourceType::application,
        AudioSourceType::both};
    return all;
}

EngineError::EngineError(std::string domain, int code, std::string description)
    : std::runtime_error(description)
    , m_domain(std::move(domain))
    , m_code(code)
    , m_description(std::move(description)) {}

OperationCancelled::OperationCancelled()
    : EngineError(std::string(orvintaErrorDomain), -999, "The operation was cancelled") {}

std::string describe(const std::exception &error) {
    if (const auto *engineError = dynamic_cast<const EngineError *>(&error))
        return engineError->description();
    return error.what();
}

namespace {

std::string captureDescription(CaptureError::Kind kind, const std::string &message) {
    switch (kind) {
    case CaptureError::Kind::noDisplay:
        return "No audio output found to capture";
    case CaptureError::Kind::permissionDenied:
        return "System audio access denied. Allow Orvinta to record from the sound server in "
               "your sound settings.";
    case CaptureError::Kind::engineSetupFailed:
        if (message.find("TCC") != std::string::npos ||
            message.find("declined") != std::string::npos)
            return "System audio recording permission required. Allow Orvinta to record from the "
                   "sound server in your sound settings.";
        return "Audio engine setup failed: " + message;
    }
    return {};
}

} // namespace

CaptureError::CaptureError(Kind kind, std::string message)
    : EngineError("com.orvinta.CaptureError", static_cast<int>(kind),
                  captureDescription(kind, message))
    , m_kind(kind)
    , m_message(std::move(message)) {}

CaptureError CaptureError::engineSetupFailed(std::string message) {
    return CaptureError(Kind::engineSetupFailed, std::move(message));
}
CaptureError CaptureError::noDisplay() {
    return CaptureError(Kind::noDisplay, {});
}
CaptureError CaptureError::permissionDenied() {
    return CaptureError(Kind::permissionDenied, {});
}

} // namespace Orvinta
