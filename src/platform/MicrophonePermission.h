#pragma once

namespace murmo {

enum class MicrophoneAuthorizationStatus { notDetermined, restricted, denied, authorized };

// The system's record of whether this application may capture the microphone.
class MicrophonePermission {
public:
    virtual ~MicrophonePermission() = default;
    // Reads the status without ever prompting the user. Any thread.
    virtual MicrophoneAuthorizationStatus authorizationStatus() const = 0;
};

}  // namespace murmo
