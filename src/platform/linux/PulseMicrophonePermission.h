#pragma once

// Microphone permission on a PulseAudio desktop. The sound server asks no
// application for consent, so there is nothing to request: access is
// authorized while the server is reachable and offers an input device (a
// source that is not a monitor), and restricted otherwise, which the user
// cannot change from here. requestAccess() answers that state without
// prompting.

#include <memory>

#include "platform/AudioDevices.h"
#include "platform/MicrophonePermission.h"
#include "runtime/MainLoop.h"

namespace murmo {

class PulseMicrophonePermission final : public MicrophonePermission {
public:
    // `devices` null: the server could not be reached.
    PulseMicrophonePermission(MainLoop& mainLoop, std::shared_ptr<const AudioDevices> devices);

    // Any thread; reads the devices' snapshot, never the server.
    MicrophoneAuthorizationStatus authorizationStatus() const override;
    // Posts the completion to the main loop, granted when authorized.
    void requestAccess(std::function<void(bool granted)> completion) override;

private:
    MainLoop& mainLoop_;
    std::shared_ptr<const AudioDevices> devices_;
};

}  // namespace murmo
