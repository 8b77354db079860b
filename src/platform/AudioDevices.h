#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace murmo {

// The system's identifier of an audio device; 0 names no device.
using AudioDeviceID = std::uint32_t;

enum class AudioTransportType { builtIn, other };

enum class DefaultAudioDevice { input, output };

// Read-only queries of the system's audio hardware. Every query may fail
// (nullopt), as a property read of a vanished device does; callers decide what
// a failure means. Safe from any thread.
class AudioDevices {
public:
    virtual ~AudioDevices() = default;

    // Every device the system lists, in its order.
    virtual std::optional<std::vector<AudioDeviceID>> deviceIDs() const = 0;
    virtual std::optional<bool> isAlive(AudioDeviceID device) const = 0;
    // Number of input streams; 0 for an output-only device.
    virtual std::optional<std::size_t> inputStreamCount(AudioDeviceID device) const = 0;
    // UTF-8.
    virtual std::optional<std::string> name(AudioDeviceID device) const = 0;
    virtual std::optional<AudioTransportType> transportType(AudioDeviceID device) const = 0;
    // The system default device; a successful read may still give 0.
    virtual std::optional<AudioDeviceID> defaultDevice(DefaultAudioDevice which) const = 0;
};

}  // namespace murmo
