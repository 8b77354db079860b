#pragma once

// The user's input counters on X11, from XInput2 raw events (see
// X11RawInputListener: presses from XTest devices are the application's own
// and never counted). X11 has no secure keyboard input of its own: the
// secure flag is what the secure-input probe says (the accessibility
// backend's "password text has the focus").

#include <functional>
#include <memory>
#include <string>

#include "platform/InputActivity.h"
#include "platform/linux/X11RawInputListener.h"
#include "runtime/Error.h"

namespace murmo {

class XInputActivity final : public InputActivity {
public:
    // Answers whether a password field has the focus; called on the main
    // thread, it must not block. None: never secure.
    using SecureInputProbe = std::function<bool()>;

    // `displayName` empty: $DISPLAY. Counts from the moment it opens.
    static Result<std::unique_ptr<XInputActivity>> open(const std::string& displayName = {},
                                                        SecureInputProbe secureInput = {});
    explicit XInputActivity(std::shared_ptr<X11RawInputListener> listener, SecureInputProbe secureInput = {})
        : listener_(std::move(listener)), secureInput_(std::move(secureInput)) {}

    std::uint32_t eventCount(InputEventType type) override { return listener_->userEventCount(type); }
    bool isSecureEventInputEnabled() override;

private:
    std::shared_ptr<X11RawInputListener> listener_;
    SecureInputProbe secureInput_;
};

}  // namespace murmo
