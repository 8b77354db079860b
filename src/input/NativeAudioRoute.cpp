#include "input/NativeAudioRoute.h"

#include "runtime/Unicode.h"

namespace murmo {

namespace {

// Names from the system and from settings may differ in surrounding blanks
// and in how accents are composed; neither should make a device unfindable.
std::string normalisedName(std::string_view name) {
    auto composed = unicode::nfc(unicode::trimWhitespaceAndNewlines(name));
    return composed ? *composed : std::string();
}

}  // namespace

std::vector<AudioDeviceID> NativeAudioInputDevice::matchingIDs(std::string_view name,
                                                               const std::vector<NativeAudioInputDevice>& devices) {
    const std::string wanted = normalisedName(name);
    std::vector<AudioDeviceID> ids;
    if (wanted.empty()) return ids;
    for (const auto& device : devices) {
        if (normalisedName(device.name) == wanted) ids.push_back(device.id);
    }
    return ids;
}

nlohmann::json NativeAudioRoute::toJSON() const {
    // nlohmann::json keeps object keys sorted, so "input_is_builtin" comes first.
    return nlohmann::json{{"input_is_builtin", inputIsBuiltin}, {"output_is_builtin", outputIsBuiltin}};
}

NativeAudioRoute NativeAudioRoute::current(const AudioDevices& devices) {
    return NativeAudioRoute{defaultDeviceIsBuiltin(DefaultAudioDevice::input, devices),
                            defaultDeviceIsBuiltin(DefaultAudioDevice::output, devices)};
}

std::expected<AudioDeviceID, VoiceProcessingAudioCaptureError> NativeAudioRoute::resolveInputDevice(
    std::string_view name, const AudioDevices& devices) {
    using Case = VoiceProcessingAudioCaptureError::Case;
    const auto ids = NativeAudioInputDevice::matchingIDs(name, inputDevices(devices));
    if (ids.empty()) return std::unexpected(VoiceProcessingAudioCaptureError::of(Case::inputDeviceUnavailable));
    if (ids.size() > 1) return std::unexpected(VoiceProcessingAudioCaptureError::of(Case::inputDeviceAmbiguous));
    return ids.front();
}

bool NativeAudioRoute::defaultDeviceIsBuiltin(DefaultAudioDevice which, const AudioDevices& devices) {
    const auto device = devices.defaultDevice(which);
    if (!device || *device == 0) return false;
    return devices.transportType(*device) == AudioTransportType::builtIn;
}

std::vector<NativeAudioInputDevice> NativeAudioRoute::inputDevices(const AudioDevices& devices) {
    std::vector<NativeAudioInputDevice> found;
    const auto ids = devices.deviceIDs();
    if (!ids) return found;
    for (AudioDeviceID id : *ids) {
        if (!inputDeviceIsAvailable(id, devices)) continue;
        auto name = devices.name(id);
        if (!name) continue;
        found.push_back(NativeAudioInputDevice{id, std::move(*name)});
    }
    return found;
}

bool NativeAudioRoute::inputDeviceIsAvailable(AudioDeviceID device, const AudioDevices& devices) {
    const auto alive = devices.isAlive(device);
    if (!alive || !*alive) return false;
    const auto streams = devices.inputStreamCount(device);
    return streams && *streams > 0;
}

}  // namespace murmo
