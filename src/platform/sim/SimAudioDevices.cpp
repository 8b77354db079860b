#include "platform/sim/SimAudioDevices.h"

#include <algorithm>
#include <memory>

namespace murmo {

std::shared_ptr<SimAudioDevices> SimAudioDevices::builtInOnly() {
    auto devices = std::make_shared<SimAudioDevices>();
    devices->addDevice({kBuiltInMicrophone, "Built-in Microphone", 1, AudioTransportType::builtIn, true});
    devices->addDevice({kBuiltInSpeakers, "Built-in Speakers", 0, AudioTransportType::builtIn, true});
    devices->setDefaultDevice(DefaultAudioDevice::input, kBuiltInMicrophone);
    devices->setDefaultDevice(DefaultAudioDevice::output, kBuiltInSpeakers);
    return devices;
}

const SimAudioDevice* SimAudioDevices::find(AudioDeviceID id) const {
    auto it = std::find_if(devices_.begin(), devices_.end(), [id](const auto& device) { return device.id == id; });
    return it == devices_.end() ? nullptr : &*it;
}

std::optional<std::vector<AudioDeviceID>> SimAudioDevices::deviceIDs() const {
    std::lock_guard guard(mutex_);
    if (!listReadable_) return std::nullopt;
    std::vector<AudioDeviceID> ids;
    for (const auto& device : devices_) ids.push_back(device.id);
    return ids;
}

std::optional<bool> SimAudioDevices::isAlive(AudioDeviceID id) const {
    std::lock_guard guard(mutex_);
    const auto* device = find(id);
    if (!device) return std::nullopt;
    return device->alive;
}

std::optional<std::size_t> SimAudioDevices::inputStreamCount(AudioDeviceID id) const {
    std::lock_guard guard(mutex_);
    const auto* device = find(id);
    if (!device) return std::nullopt;
    return device->inputStreams;
}

std::optional<std::string> SimAudioDevices::name(AudioDeviceID id) const {
    std::lock_guard guard(mutex_);
    const auto* device = find(id);
    if (!device) return std::nullopt;
    return device->name;
}

std::optional<AudioTransportType> SimAudioDevices::transportType(AudioDeviceID id) const {
    std::lock_guard guard(mutex_);
    const auto* device = find(id);
    if (!device) return std::nullopt;
    return device->transport;
}

std::optional<AudioDeviceID> SimAudioDevices::defaultDevice(DefaultAudioDevice which) const {
    std::lock_guard guard(mutex_);
    return which == DefaultAudioDevice::input ? defaultInput_ : defaultOutput_;
}

void SimAudioDevices::addDevice(SimAudioDevice device) {
    std::lock_guard guard(mutex_);
    auto it = std::find_if(devices_.begin(), devices_.end(), [&](const auto& row) { return row.id == device.id; });
    if (it != devices_.end()) {
        *it = std::move(device);
    } else {
        devices_.push_back(std::move(device));
    }
}

void SimAudioDevices::removeDevice(AudioDeviceID id) {
    std::lock_guard guard(mutex_);
    std::erase_if(devices_, [id](const auto& device) { return device.id == id; });
}

void SimAudioDevices::setAlive(AudioDeviceID id, bool alive) {
    std::lock_guard guard(mutex_);
    for (auto& device : devices_) {
        if (device.id == id) device.alive = alive;
    }
}

void SimAudioDevices::setDefaultDevice(DefaultAudioDevice which, std::optional<AudioDeviceID> device) {
    std::lock_guard guard(mutex_);
    (which == DefaultAudioDevice::input ? defaultInput_ : defaultOutput_) = device;
}

void SimAudioDevices::setDeviceListReadable(bool readable) {
    std::lock_guard guard(mutex_);
    listReadable_ = readable;
}

}  // namespace murmo
