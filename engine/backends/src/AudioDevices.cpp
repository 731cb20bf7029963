#include <OrvintaEngineBackends/AudioDevices.h>

namespace Orvinta {

void refreshAudioDevices(AudioCaptureBackend &registry, std::vector<AudioDevice> &availableDevices,
                         std::optional<std::uint32_t> &selectedDeviceID) {
    refreshAudioDevices(registry.inputDevices(), availableDevices, selectedDeviceID);
}

void refreshAudioDevices(const std::optional<std::vector<InputDeviceRecord>> &records,
                         std::vector<AudioDevice> &availableDevices,
                         std::optional<std::uint32_t> &selectedDeviceID) {
    if (!records)
        return;
    std::vector<AudioDevice> devices;
    for (const auto &record : *records) {
        if (record.isMonitor || record.inputChannels == 0)
            continue;
        devices.push_back(AudioDevice{record.id, record.name});
    }
    availableDevices = std::move(devices);
    if (!selectedDeviceID && !availableDevices.empty())
        selectedDeviceID = availableDevices.front().id;
}

} // namespace Orvinta
