#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Orvinta {

/// What a transcription run listens to. `both` is the microphone and the
/// computer's sound at once, each through an engine of its own: one engine
/// records one of the other three.
enum class AudioSourceType { systemAudio, microphone, application, both };

std::string_view rawValue(AudioSourceType source);
/// Exact, case-sensitive match of the raw value.
std::optional<AudioSourceType> audioSourceTypeFromRaw(std::string_view raw);
std::string_view label(AudioSourceType source);
/// All cases in picker order.
const std::vector<AudioSourceType> &allAudioSourceTypes();

/// An audio input device: the sound server's source index and its description.
struct AudioDevice {
    std::uint32_t id = 0;
    std::string name;

    friend bool operator==(const AudioDevice &, const AudioDevice &) = default;
};

/// An error with a domain, a code and a user-facing description.
class EngineError : public std::runtime_error {
public:
    EngineError(std::string domain, int code, std::string description);

    const std::string &domain() const { return m_domain; }
    int code() const { return m_code; }
    const std::string &description() const { return m_description; }

private:
    std::string m_domain;
    int m_code;
    std::string m_description;
};

inline constexpr std::string_view orvintaErrorDomain = "com.orvinta";

/// An operation abandoned because the object it ran for was destroyed first.
class OperationCancelled : public EngineError {
public:
    OperationCancelled();
};

/// The user-facing text of any error: an EngineError's description, else what().
std::string describe(const std::exception &error);

/// The engine's own capture errors.
class CaptureError : public EngineError {
public:
    enum class Kind { engineSetupFailed, noDisplay, permissionDenied };

    static CaptureError engineSetupFailed(std::string message);
    static CaptureError noDisplay();
    static CaptureError permissionDenied();

    Kind kind() const { return m_kind; }
    /// The payload of `engineSetupFailed`; empty for the other cases.
    const std::string &message() const { return m_message; }

private:
    CaptureError(Kind kind, std::string message);
    Kind m_kind;
    std::string m_message;
};

} // namespace Orvinta

template <> struct std::hash<Orvinta::AudioDevice> {
    std::size_t operator()(const Orvinta::AudioDevice &device) const noexcept {
        const std::size_t h = std::hash<std::uint32_t>{}(device.id);
        return h ^ (std::hash<std::string>{}(device.name) + 0x9e3779b97f4a7c15ULL + (h << 6) +
                    (h >> 2));
    }
};
