#pragma once

// Global monitors of key and mouse-button presses on X11, from XInput2 raw
// events (see X11RawInputListener). Handlers run on the listener's thread;
// the application's own presses (from XTest) carry
// kSyntheticEventUserDataMarker.

#include <memory>
#include <string>

#include "platform/UserInputWatch.h"
#include "platform/linux/X11RawInputListener.h"
#include "runtime/Error.h"

namespace murmo {

class XInputUserInputWatch final : public UserInputWatch {
public:
    // `displayName` empty: $DISPLAY.
    static Result<std::unique_ptr<XInputUserInputWatch>> open(const std::string& displayName = {});
    explicit XInputUserInputWatch(std::shared_ptr<X11RawInputListener> listener) : listener_(std::move(listener)) {}

    // Null once the connection to the server has broken: nothing would come.
    std::unique_ptr<UserInputMonitor> addGlobalMonitor(Handler handler) override;

private:
    std::shared_ptr<X11RawInputListener> listener_;
};

}  // namespace murmo
