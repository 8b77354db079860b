#pragma once

#include <atomic>

#include "platform/MicrophonePermission.h"

namespace murmo {

class SimMicrophonePermission final : public MicrophonePermission {
public:
    explicit SimMicrophonePermission(MicrophoneAuthorizationStatus status = MicrophoneAuthorizationStatus::authorized)
        : status_(status) {}

    MicrophoneAuthorizationStatus authorizationStatus() const override { return status_.load(); }
    void setStatus(MicrophoneAuthorizationStatus status) { status_.store(status); }

private:
    std::atomic<MicrophoneAuthorizationStatus> status_;
};

}  // namespace murmo
