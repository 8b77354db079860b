#pragma once

// Synthetic keyboard events: the paste chord and typed Unicode text, posted
// into the session's event stream as if from the keyboard. The system may
// refuse at each step: no permission to post, no event source, no event.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace murmo {

// Virtual key codes used for synthetic events.
namespace virtual_key {
// The key that carries a Unicode string; its own meaning is overridden.
inline constexpr std::uint16_t unicodeCarrier = 0;
inline constexpr std::uint16_t v = 9;
}  // namespace virtual_key

// One keyboard event, built by an event source and filled in by the caller
// before it is posted.
struct KeyboardEvent {
    std::uint16_t virtualKey = 0;
    bool keyDown = true;
    // Modifier flags (key_event_flags values).
    std::uint64_t flags = 0;
    // Text the event types instead of its key's own character; empty for none.
    std::u16string unicodeString{};
    // The event source's user-data field: the application's own events carry
    // kSyntheticEventUserDataMarker here.
    std::int64_t sourceUserData = 0;

    bool operator==(const KeyboardEvent&) const = default;
};

// A source of keyboard events in the combined session state.
class KeyboardEventSource {
public:
    virtual ~KeyboardEventSource() = default;
    // Absent when the system cannot make the event.
    virtual std::optional<KeyboardEvent> makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) = 0;
};

// Main thread only.
class EventPoster {
public:
    virtual ~EventPoster() = default;

    // Whether this process may post events; asks nothing of the user.
    virtual bool preflightPostEventAccess() = 0;
    // Null when the system gives no source.
    virtual std::unique_ptr<KeyboardEventSource> makeEventSource() = 0;
    // Posts at the hardware event tap, where the frontmost application and
    // every tap and monitor see it like a real key.
    virtual void post(const KeyboardEvent& event) = 0;

    // Asks the system for post-event access, which may show the user its
    // prompt; whether access is granted now.
    virtual bool requestPostEventAccess() = 0;
};

}  // namespace murmo
