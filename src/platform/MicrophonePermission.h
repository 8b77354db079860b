#pragma once

#include <functional>

namespace murmo {

// The system's numbers; a status outside them may be reported too.
enum class MicrophoneAuthorizationStatus : int { notDetermined = 0, restricted = 1, denied = 2, authorized = 3 };

// The system's record of whether this application may capture the microphone.
class MicrophonePermission {
public:
    virtual ~MicrophonePermission() = default;
    // Reads the status without ever prompting the user. Any thread.
    virtual MicrophoneAuthorizationStatus authorizationStatus() const = 0;
    // Asks the user for access when the status is not determined. The
    // completion runs once, on a thread of the system's choosing, with
    // whether access was granted.
    virtual void requestAccess(std::function<void(bool granted)> completion) = 0;
};

}  // namespace murmo
