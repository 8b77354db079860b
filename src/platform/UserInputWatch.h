#pragma once

// A system-wide watch on mouse-button presses and key presses in every
// application, the way a global event monitor sees them: it observes and
// never consumes.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/InputActivity.h"

namespace murmo {

struct UserInputEvent {
    InputEventType type = InputEventType::keyDown;
    // Carries kSyntheticEventUserDataMarker for the application's own events.
    std::int64_t sourceUserData = 0;
    bool operator==(const UserInputEvent&) const = default;
};

// A live watch; dropping it removes the watch. No handler call starts after
// the handle is gone.
class UserInputMonitor {
public:
    virtual ~UserInputMonitor() = default;
};

class UserInputWatch {
public:
    using Handler = std::function<void(const UserInputEvent&)>;

    virtual ~UserInputWatch() = default;
    // Watches left, right and other mouse-button presses and key presses.
    // The handler may be called on any thread; handlers hop to the main loop
    // themselves. Null when the platform gives no watch.
    virtual std::unique_ptr<UserInputMonitor> addGlobalMonitor(Handler handler) = 0;
};

}  // namespace murmo
