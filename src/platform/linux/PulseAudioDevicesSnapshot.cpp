#include "platform/linux/PulseAudioDevicesSnapshot.h"

#include "platform/linux/PulseAudioContext.h"

namespace murmo {

namespace {

AudioDeviceID deviceID(PulseAudioDeviceKind kind, std::uint32_t index) {
    return kind == PulseAudioDeviceKind::source ? pulseSourceDeviceID(index) : pulseSinkDeviceID(index);
}

bool isBuiltIn(const PulseAudioDeviceInfo& info) { return info.formFactor == "internal" || info.bus == "pci"; }

}  // namespace

void PulseAudioDevicesSnapshot::update(PulseAudioDeviceKind kind, const PulseAudioDeviceInfo& info) {
    const AudioDeviceID id = deviceID(kind, info.index);
    if (info.isMonitor) {
        devices_.erase(id);
        return;
    }
    devices_.insert_or_assign(
        id, Device{kind, info.name, info.description.empty() ? info.name : info.description, isBuiltIn(info)});
}

void PulseAudioDevicesSnapshot::remove(PulseAudioDeviceKind kind, std::uint32_t index) {
    devices_.erase(deviceID(kind, index));
}

void PulseAudioDevicesSnapshot::setDefaults(std::string sourceName, std::string sinkName) {
    defaultSource_ = std::move(sourceName);
    defaultSink_ = std::move(sinkName);
}

void PulseAudioDevicesSnapshot::markDisconnected() { connected_ = false; }

const PulseAudioDevicesSnapshot::Device* PulseAudioDevicesSnapshot::find(AudioDeviceID id) const {
    if (!connected_) return nullptr;
    const auto found = devices_.find(id);
    return found == devices_.end() ? nullptr : &found->second;
}

std::optional<std::vector<AudioDeviceID>> PulseAudioDevicesSnapshot::deviceIDs() const {
    if (!connected_) return std::nullopt;
    std::vector<AudioDeviceID> ids;
    ids.reserve(devices_.size());
    for (const auto& [id, device] : devices_) ids.push_back(id);
    return ids;
}

std::optional<bool> PulseAudioDevicesSnapshot::isAlive(AudioDeviceID id) const {
    if (!find(id)) return std::nullopt;
    return true;
}

std::optional<std::size_t> PulseAudioDevicesSnapshot::inputStreamCount(AudioDeviceID id) const {
    const auto* device = find(id);
    if (!device) return std::nullopt;
    return device->kind == PulseAudioDeviceKind::source ? 1 : 0;
}

std::optional<std::string> PulseAudioDevicesSnapshot::name(AudioDeviceID id) const {
    const auto* device = find(id);
    if (!device) return std::nullopt;
    return device->name;
}

std::optional<AudioTransportType> PulseAudioDevicesSnapshot::transportType(AudioDeviceID id) const {
    const auto* device = find(id);
    if (!device) return std::nullopt;
    return device->builtIn ? AudioTransportType::builtIn : AudioTransportType::other;
}

std::optional<AudioDeviceID> PulseAudioDevicesSnapshot::defaultDevice(DefaultAudioDevice which) const {
    const bool input = which == DefaultAudioDevice::input;
    const auto& defaultName = input ? defaultSource_ : defaultSink_;
    if (!connected_ || !defaultName) return std::nullopt;
    const auto kind = input ? PulseAudioDeviceKind::source : PulseAudioDeviceKind::sink;
    for (const auto& [id, device] : devices_) {
        if (device.kind == kind && device.pulseName == *defaultName) return id;
    }
    return AudioDeviceID{0};
}

}  // namespace murmo
