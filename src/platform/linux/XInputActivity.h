#pragma once

// The user's input counters on X11, from XInput2 raw events (see
// X11RawInputListener: presses from XTest devices are the application's own
// and never counted).

#include <memory>
#include <string>

#include "platform/InputActivity.h"
#include "platform/linux/X11RawInputListener.h"
#include "runtime/Error.h"

namespace murmo {

class XInputActivity final : public InputActivity {
public:
    // `displayName` empty: $DISPLAY. Counts from the moment it opens.
    static Result<std::unique_ptr<XInputActivity>> open(const std::string& displayName = {});
    explicit XInputActivity(std::shared_ptr<X11RawInputListener> listener) : listener_(std::move(listener)) {}

    std::uint32_t eventCount(InputEventType type) override { return listener_->userEventCount(type); }
    bool isSecureEventInputEnabled() override;

private:
    std::shared_ptr<X11RawInputListener> listener_;
};

}  // namespace murmo
