#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioDevices.h"

namespace murmo {

// One row of the simulated device table. An absent name or transport type
// makes that property's read fail.
struct SimAudioDevice {
    AudioDeviceID id = 0;
    std::optional<std::string> name;
    std::size_t inputStreams = 0;
    std::optional<AudioTransportType> transport = AudioTransportType::other;
    bool alive = true;
};

// A device table that tests change at will, from any thread.
class SimAudioDevices final : public AudioDevices {
public:
    static constexpr AudioDeviceID kBuiltInMicrophone = 1;
    static constexpr AudioDeviceID kBuiltInSpeakers = 2;

    SimAudioDevices() = default;
    // A built-in microphone and built-in speakers, both the defaults.
    static std::shared_ptr<SimAudioDevices> builtInOnly();

    std::optional<std::vector<AudioDeviceID>> deviceIDs() const override;
    std::optional<bool> isAlive(AudioDeviceID device) const override;
    std::optional<std::size_t> inputStreamCount(AudioDeviceID device) const override;
    std::optional<std::string> name(AudioDeviceID device) const override;
    std::optional<AudioTransportType> transportType(AudioDeviceID device) const override;
    std::optional<AudioDeviceID> defaultDevice(DefaultAudioDevice which) const override;

    // Adds or replaces by id, keeping the list order of the first addition.
    void addDevice(SimAudioDevice device);
    // The device vanishes: it leaves the list and every read of it fails.
    void removeDevice(AudioDeviceID id);
    void setAlive(AudioDeviceID id, bool alive);
    // nullopt makes the read fail; 0 reads as "no device".
    void setDefaultDevice(DefaultAudioDevice which, std::optional<AudioDeviceID> device);
    void setDeviceListReadable(bool readable);

private:
    const SimAudioDevice* find(AudioDeviceID id) const;

    mutable std::mutex mutex_;
    std::vector<SimAudioDevice> devices_;
    std::optional<AudioDeviceID> defaultInput_;
    std::optional<AudioDeviceID> defaultOutput_;
    bool listReadable_ = true;
};

}  // namespace murmo
