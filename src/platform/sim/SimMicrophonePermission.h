#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "platform/MicrophonePermission.h"

namespace murmo {

// The microphone permission of the simulated system. A request is answered
// inside the call or held until the test answers it, from any thread, as
// the system answers on a thread of its own.
class SimMicrophonePermission final : public MicrophonePermission {
public:
    enum class RequestAnswer { insideCall, held };

    explicit SimMicrophonePermission(MicrophoneAuthorizationStatus status = MicrophoneAuthorizationStatus::authorized)
        : status_(status) {}

    MicrophoneAuthorizationStatus authorizationStatus() const override { return status_.load(); }
    void requestAccess(std::function<void(bool granted)> completion) override;

    void setStatus(MicrophoneAuthorizationStatus status) { status_.store(status); }
    // How the next requests are answered, and whether the user grants them.
    void setRequestAnswer(RequestAnswer answer, bool grants);
    // Answers the held request, if any: the status becomes authorized or
    // denied, then the completion runs on the calling thread.
    bool answerHeldRequest();
    int requestCount() const;

private:
    void answer(std::function<void(bool)> completion, bool grants);

    std::atomic<MicrophoneAuthorizationStatus> status_;
    mutable std::mutex mutex_;
    RequestAnswer answer_ = RequestAnswer::insideCall;
    bool grants_ = true;
    int requests_ = 0;
    std::function<void(bool)> held_;
};

}  // namespace murmo
