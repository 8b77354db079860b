#include "platform/sim/SimMicrophonePermission.h"

namespace murmo {

void SimMicrophonePermission::requestAccess(std::function<void(bool granted)> completion) {
    std::unique_lock lock(mutex_);
    ++requests_;
    if (answer_ == RequestAnswer::held) {
        held_ = std::move(completion);
        return;
    }
    const bool grants = grants_;
    lock.unlock();
    answer(std::move(completion), grants);
}

void SimMicrophonePermission::setRequestAnswer(RequestAnswer answer, bool grants) {
    std::lock_guard lock(mutex_);
    answer_ = answer;
    grants_ = grants;
}

bool SimMicrophonePermission::answerHeldRequest() {
    std::unique_lock lock(mutex_);
    auto completion = std::move(held_);
    held_ = nullptr;
    const bool grants = grants_;
    lock.unlock();
    if (!completion) return false;
    answer(std::move(completion), grants);
    return true;
}

int SimMicrophonePermission::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void SimMicrophonePermission::answer(std::function<void(bool)> completion, bool grants) {
    setStatus(grants ? MicrophoneAuthorizationStatus::authorized : MicrophoneAuthorizationStatus::denied);
    if (completion) completion(grants);
}

}  // namespace murmo
