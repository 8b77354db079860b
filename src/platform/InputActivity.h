#pragma once

#include <cstdint>

namespace murmo {

// Every keyboard event this application posts carries this value in its
// source user-data field, so its own taps, monitors and counters can tell it
// from the user's input. "MURMO" in ASCII, then the bytes 0x00 and 0x01.
inline constexpr std::int64_t kSyntheticEventUserDataMarker = 0x4D55524D4F0001;

// The input events whose counts reveal that the user typed or clicked.
// Values are the platform's event type numbers.
enum class InputEventType : std::uint32_t {
    leftMouseDown = 1,
    rightMouseDown = 3,
    keyDown = 10,
    otherMouseDown = 25,
};

// The user's input activity in this login session. Main thread only.
class InputActivity {
public:
    virtual ~InputActivity() = default;

    // How many events of this type the user has produced in the session
    // (wrapping at 2^32). Events that carry kSyntheticEventUserDataMarker are
    // never counted: the application's own keystrokes must not look like the
    // user typing.
    virtual std::uint32_t eventCount(InputEventType type) = 0;

    // True while some application has secure keyboard input on (a password
    // prompt anywhere).
    virtual bool isSecureEventInputEnabled() = 0;
};

}  // namespace murmo
