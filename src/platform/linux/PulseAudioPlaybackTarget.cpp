#include "platform/linux/PulseAudioPlaybackTarget.h"

#include <utility>

namespace murmo {

std::optional<std::string> PulseAudioPlaybackTarget::sinkName() const {
    std::lock_guard lock(mutex_);
    return sinkName_;
}

void PulseAudioPlaybackTarget::set(std::optional<std::string> sinkName) {
    std::lock_guard lock(mutex_);
    sinkName_ = std::move(sinkName);
}

}  // namespace murmo
