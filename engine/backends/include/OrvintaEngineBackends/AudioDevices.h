#pragma once

#include <OrvintaEngineBackends/AudioCapture.h>
#include <OrvintaEngineBackends/EngineTypes.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace Orvinta {

/// Replaces `availableDevices` with the registry's inputs that are not
/// monitors, in registry order, and selects the first when nothing is
/// selected. A registry that cannot be read changes nothing.
void refreshAudioDevices(AudioCaptureBackend &registry, std::vector<AudioDevice> &availableDevices,
                         std::optional<std::uint32_t> &selectedDeviceID);
/// The same from a listing already read; nothing (no answer) changes nothing.
void refreshAudioDevices(const std::optional<std::vector<InputDeviceRecord>> &records,
                         std::vector<AudioDevice> &availableDevices,
                         std::optional<std::uint32_t> &selectedDeviceID);

} // namespace Orvinta
