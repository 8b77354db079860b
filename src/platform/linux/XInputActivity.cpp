#include "platform/linux/XInputActivity.h"

namespace murmo {

Result<std::unique_ptr<XInputActivity>> XInputActivity::open(const std::string& displayName,
                                                             SecureInputProbe secureInput) {
    auto listener = X11RawInputListener::open(displayName);
    if (!listener) return std::unexpected(listener.error());
    return std::make_unique<XInputActivity>(std::move(*listener), std::move(secureInput));
}

// X11 has no secure keyboard input. The nearest sign from the server itself,
// another client holding an active keyboard grab (a password prompt may take
// one), can only be learnt by trying to grab the keyboard, and a grab that
// succeeds takes the focus from the focused window for its moment: the very
// window the application is about to type into. So only the probe (focused
// password text, from the accessibility bus) reports anything.
bool XInputActivity::isSecureEventInputEnabled() { return secureInput_ && secureInput_(); }

}  // namespace murmo
