#include "input/EventTapLifecycleReducer.h"

namespace murmo {

std::optional<EventTapGeneration> EventTapLifecycleReducer::beginStart() {
    if (activeGeneration_) return std::nullopt;
    ++nextRawValue_;
    activeGeneration_ = EventTapGeneration{nextRawValue_};
    return activeGeneration_;
}

std::optional<EventTapGeneration> EventTapLifecycleReducer::stop() {
    auto stopped = activeGeneration_;
    activeGeneration_.reset();
    return stopped;
}

}  // namespace murmo
