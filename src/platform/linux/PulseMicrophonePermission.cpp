#include "platform/linux/PulseMicrophonePermission.h"

#include <algorithm>

namespace murmo {

PulseMicrophonePermission::PulseMicrophonePermission(MainLoop& mainLoop, std::shared_ptr<const AudioDevices> devices)
    : mainLoop_(mainLoop), devices_(std::move(devices)) {}

MicrophoneAuthorizationStatus PulseMicrophonePermission::authorizationStatus() const {
    if (!devices_) return MicrophoneAuthorizationStatus::restricted;
    const auto ids = devices_->deviceIDs();
    if (!ids) return MicrophoneAuthorizationStatus::restricted;
    const bool hasInput = std::ranges::any_of(*ids, [&](AudioDeviceID id) {
        const auto streams = devices_->inputStreamCount(id);
        return streams && *streams > 0;
    });
    return hasInput ? MicrophoneAuthorizationStatus::authorized : MicrophoneAuthorizationStatus::restricted;
}

void PulseMicrophonePermission::requestAccess(std::function<void(bool granted)> completion) {
    if (!completion) return;
    const bool granted = authorizationStatus() == MicrophoneAuthorizationStatus::authorized;
    mainLoop_.post([completion = std::move(completion), granted] { completion(granted); });
}

}  // namespace murmo
