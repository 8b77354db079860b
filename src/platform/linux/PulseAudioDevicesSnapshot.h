#pragma once

// What the sound server last said about its sources, sinks and defaults, as
// the device port reads it: sources are input devices and sinks output
// devices in one id space (PulseAudioContext.h), monitor sources are left
// out, and a device counts as built in when the server calls it internal or
// puts it on the PCI bus. Not thread-safe: PulseAudioDevices guards it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioDevices.h"

namespace murmo {

// The parts of a source's or a sink's description the port needs.
struct PulseAudioDeviceInfo {
    std::uint32_t index = 0;
    std::string name;         // the server's name, as defaults name it
    std::string description;  // what the user sees
    bool isMonitor = false;
    std::optional<std::string> formFactor;  // device.form_factor
    std::optional<std::string> bus;         // device.bus
};

enum class PulseAudioDeviceKind { source, sink };

class PulseAudioDevicesSnapshot {
public:
    // Adds or replaces the device; a monitor source is never listed.
    void update(PulseAudioDeviceKind kind, const PulseAudioDeviceInfo& info);
    void remove(PulseAudioDeviceKind kind, std::uint32_t index);
    // The server's default source and sink, by name; absent until read.
    void setDefaults(std::string sourceName, std::string sinkName);
    // The connection is gone: every read fails from now on.
    void markDisconnected();

    // Every listed device, in id order (the order the server made them,
    // sources and sinks interleaved).
    std::optional<std::vector<AudioDeviceID>> deviceIDs() const;
    std::optional<bool> isAlive(AudioDeviceID device) const;
    std::optional<std::size_t> inputStreamCount(AudioDeviceID device) const;
    std::optional<std::string> name(AudioDeviceID device) const;
    std::optional<AudioTransportType> transportType(AudioDeviceID device) const;
    // 0 when the default is not a listed device (a monitor, say); fails
    // until the defaults have been read.
    std::optional<AudioDeviceID> defaultDevice(DefaultAudioDevice which) const;

private:
    struct Device {
        PulseAudioDeviceKind kind;
        std::string pulseName;
        std::string name;
        bool builtIn;
    };

    const Device* find(AudioDeviceID id) const;

    std::map<AudioDeviceID, Device> devices_;
    std::optional<std::string> defaultSource_;
    std::optional<std::string> defaultSink_;
    bool connected_ = true;
};

}  // namespace murmo
