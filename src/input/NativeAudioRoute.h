#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "input/VoiceProcessingAudioCaptureError.h"
#include "platform/AudioDevices.h"
#include "runtime/Error.h"

namespace murmo {

// One input device found on the system.
struct NativeAudioInputDevice {
    AudioDeviceID id = 0;
    std::string name;

    bool operator==(const NativeAudioInputDevice&) const = default;

    // Identifiers of the devices whose name equals `name` once both are trimmed
    // and put in canonical precomposed form; case matters. A blank name
    // matches nothing.
    static std::vector<AudioDeviceID> matchingIDs(std::string_view name,
                                                  const std::vector<NativeAudioInputDevice>& devices);
};

// Whether the current default input and output devices are built into the
// machine; reported to the engine and used to choose the capture mode.
struct NativeAudioRoute {
    bool inputIsBuiltin = false;
    bool outputIsBuiltin = false;

    bool operator==(const NativeAudioRoute&) const = default;

    // {"input_is_builtin": ..., "output_is_builtin": ...}, the body of the
    // engine's audio-route report.
    nlohmann::json toJSON() const;

    static NativeAudioRoute current(const AudioDevices& devices);
    // The one input device with this name: inputDeviceUnavailable when none
    // (or the name is blank), inputDeviceAmbiguous when several.
    static std::expected<AudioDeviceID, VoiceProcessingAudioCaptureError> resolveInputDevice(
        std::string_view name, const AudioDevices& devices);

    // Device queries. None fails loudly: a failed read makes a device absent,
    // unavailable or not built in.
    static bool defaultDeviceIsBuiltin(DefaultAudioDevice which, const AudioDevices& devices);
    // Live devices with input streams and a readable name, in system order.
    static std::vector<NativeAudioInputDevice> inputDevices(const AudioDevices& devices);
    // Alive and with at least one input stream.
    static bool inputDeviceIsAvailable(AudioDeviceID device, const AudioDevices& devices);
};

}  // namespace murmo
