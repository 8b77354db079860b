#include "platform/linux/X11KeyTap.h"

#include "platform/linux/X11Connection.h"
#include "platform/linux/X11InputDevices.h"
#include "platform/linux/X11KeyEventTap.h"

#include <X11/Xlib.h>

namespace murmo {

Result<std::shared_ptr<X11KeyTap>> X11KeyTap::open(const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return std::unexpected(connection.error());
    Display* display = (*connection)->display();

    const bool rawEvents = x11_input::xinput2Opcode(display, 2).has_value();
    const bool xtest = x11_input::offersXTest(display);
    return std::make_shared<X11KeyTap>(Passkey{}, displayName, rawEvents, xtest);
}

X11KeyTap::X11KeyTap(Passkey, std::string displayName, bool rawEventsOffered, bool xtestOffered)
    : displayName_(std::move(displayName)), rawEventsOffered_(rawEventsOffered), xtestOffered_(xtestOffered) {}

std::shared_ptr<KeyEventTap> X11KeyTap::createTap(KeyTapCallback callback) {
    if (!rawEventsOffered_) return nullptr;
    return X11KeyEventTap::open(displayName_, std::move(callback));
}

}  // namespace murmo
