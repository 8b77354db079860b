#pragma once

#include <concepts>
#include <cstdint>

#include "platform/InputActivity.h"

namespace murmo {

// Every keyboard event the application posts (paste chords, synthetic typing)
// carries this marker in its source user-data field, so the application's own
// taps and monitors can let it pass without mistaking it for the user's keys.
namespace MurmoSyntheticKeyboardEventPolicy {

// The one marker value, shared with the platform layer's input counters.
inline constexpr std::int64_t userDataMarker = kSyntheticEventUserDataMarker;

// Any keyboard event type with the platform's source user-data field.
template <class Event>
concept EventWithSourceUserData = requires(Event event) {
    { event.sourceUserData } -> std::convertible_to<std::int64_t>;
};

template <EventWithSourceUserData Event>
void mark(Event& event) {
    event.sourceUserData = userDataMarker;
}

// Only the exact marker counts; 0 and every other value are the user's events.
template <EventWithSourceUserData Event>
bool isMarked(const Event& event) {
    return event.sourceUserData == userDataMarker;
}

}  // namespace MurmoSyntheticKeyboardEventPolicy

}  // namespace murmo
