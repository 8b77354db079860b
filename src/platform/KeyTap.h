#pragma once

// Keyboard event taps: a session-wide listener at the head of the event
// stream that sees every key-down, key-up and modifier change of every
// application and may swallow each one before the frontmost application
// gets it.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/MainLoop.h"

namespace murmo {

// The event types that reach a keyboard tap, with the platform's values.
enum class KeyTapEventType : std::uint32_t {
    keyDown = 10,
    keyUp = 11,
    flagsChanged = 12,
    // Notices, not key events: the system switched the tap off, after a
    // callback that was too slow or because of user input.
    tapDisabledByTimeout = 0xFFFFFFFE,
    tapDisabledByUserInput = 0xFFFFFFFF,
};

inline constexpr bool isTapDisabledNotice(KeyTapEventType type) {
    return type == KeyTapEventType::tapDisabledByTimeout || type == KeyTapEventType::tapDisabledByUserInput;
}

// Modifier flags of a keyboard event, with the platform's bit values.
namespace key_event_flags {
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t alternate = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
inline constexpr std::uint64_t secondaryFn = 0x800000;
}  // namespace key_event_flags

// One event as a tap sees it. The integer fields are the platform's event
// fields, signed 64-bit as the platform reads them.
struct KeyTapEvent {
    KeyTapEventType type = KeyTapEventType::keyDown;
    // The virtual key code (hardware independent).
    std::int64_t keyCode = 0;
    // Modifier flags held after the event (key_event_flags).
    std::uint64_t flags = 0;
    // Non-zero for an auto-repeated key-down.
    std::int64_t autorepeat = 0;
    // The event source's user-data field. The application's own synthetic
    // events carry a marker here so its taps can recognise them.
    std::int64_t sourceUserData = 0;

    bool operator==(const KeyTapEvent&) const = default;
};

enum class KeyTapVerdict { pass, swallow };

// A key whose events a tap's callback may swallow: its key-down while at
// least `flags` are held (more may be), and then, whatever the flags, its
// repeats and its key-up.
struct KeyTapSwallowCandidate {
    std::int64_t keyCode = 0;
    std::uint64_t flags = 0;

    bool operator==(const KeyTapSwallowCandidate&) const = default;
};

// Which key events a tap's callback may swallow: those of the candidate keys,
// or every key event of the whole keyboard.
struct KeyTapSwallowCandidates {
    bool wholeKeyboard = false;
    std::vector<KeyTapSwallowCandidate> keys;

    static KeyTapSwallowCandidates everyKey() { return {.wholeKeyboard = true, .keys = {}}; }

    bool operator==(const KeyTapSwallowCandidates&) const = default;
};

// Called for every key event and every disabled notice, on whatever serves the
// tap (below). A notice's verdict is ignored: the notice always passes.
using KeyTapCallback = std::function<KeyTapVerdict(const KeyTapEvent&)>;

// One created tap. Created disabled and unserved; it sees events only while it
// is enabled and served, either by a thread of its own or by the main loop.
class KeyEventTap {
public:
    virtual ~KeyEventTap() = default;

    // Any thread. The system may disable an enabled tap on its own, and says
    // so with a disabled notice.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // Any thread; idempotent. The tap is switched off for good: no event is
    // handed to its callback after this returns, beyond one already in hand.
    virtual void invalidate() = 0;

    // Any thread. Which events the callback may swallow from now on: a
    // platform that can withhold an event only when it claimed its key
    // beforehand claims exactly these (and, before the first call, nothing),
    // and lets every other event through whatever the verdict. False when the
    // platform refuses a claim because another application holds that key or
    // the keyboard; the tap then claims nothing. Invalidating the tap gives up
    // its claims.
    virtual bool setSwallowCandidates(const KeyTapSwallowCandidates& candidates) = 0;

    // Serving on a dedicated thread. attachToCurrentThread makes the calling
    // thread the one that serves the tap; runOnce, on that thread, hands at
    // most one queued event to the callback, waiting up to `timeout`, and
    // returns early when the thread is detached.
    virtual void attachToCurrentThread() = 0;
    virtual bool runOnce(Duration timeout) = 0;
    // Any thread; idempotent. The serving thread stops serving at once, and a
    // runOnce in progress returns.
    virtual void detachThread() = 0;

    // Serving on the main loop: the callback runs on the main thread.
    virtual void attachToMainLoop(MainLoop& loop) = 0;
    virtual void detachFromMainLoop() = 0;
};

// The platform's event-tap facility and the two permissions a tap needs.
class KeyTap {
public:
    virtual ~KeyTap() = default;

    // Whether the process may listen to other applications' key events.
    // Never prompts the user.
    virtual bool listenEventAccessGranted() const = 0;
    // Whether the process is a trusted accessibility client (needed to
    // swallow events). Never prompts the user.
    virtual bool accessibilityTrusted() const = 0;

    // A session tap at the head of the event stream, able to swallow events,
    // listening to key-down, key-up and flags-changed only. Null when the
    // platform refuses to create one.
    virtual std::shared_ptr<KeyEventTap> createTap(KeyTapCallback callback) = 0;

    // Asks the system for listen-event access, which may show the user its
    // prompt; whether access is granted now.
    virtual bool requestListenEventAccess() = 0;
};

}  // namespace murmo
