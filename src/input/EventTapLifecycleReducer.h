#pragma once

#include <cstdint>
#include <optional>

namespace murmo {

// One start of an event tap. A tap thread works only while its generation is
// the active one, so a thread left over from an earlier start retires itself.
struct EventTapGeneration {
    std::uint64_t rawValue = 0;

    bool operator==(const EventTapGeneration&) const = default;
};

class EventTapLifecycleReducer {
public:
    // A new generation, or nothing while one is active. Never reuses a value.
    std::optional<EventTapGeneration> beginStart();
    // The generation that was active, if any; none is active afterwards.
    std::optional<EventTapGeneration> stop();
    bool accepts(EventTapGeneration generation) const { return activeGeneration_ == generation; }

    std::optional<EventTapGeneration> activeGeneration() const { return activeGeneration_; }

private:
    std::uint64_t nextRawValue_ = 0;
    std::optional<EventTapGeneration> activeGeneration_;
};

}  // namespace murmo
