#include "platform/linux/X11KeyTap.h"

#include "platform/linux/X11Connection.h"
#include "platform/linux/X11KeyEventTap.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace murmo {

Result<std::shared_ptr<X11KeyTap>> X11KeyTap::open(const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return std::unexpected(connection.error());
    Display* display = (*connection)->display();

    int opcode = 0;
    int event = 0;
    int error = 0;
    bool rawEvents = false;
    if (XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) {
        int major = 2;
        int minor = 2;
        rawEvents = XIQueryVersion(display, &major, &minor) == Success && (major > 2 || (major == 2 && minor >= 2));
    }
    int major = 0;
    int minor = 0;
    const bool xtest = XTestQueryExtension(display, &event, &error, &major, &minor);
    return std::make_shared<X11KeyTap>(Passkey{}, displayName, rawEvents, xtest);
}

X11KeyTap::X11KeyTap(Passkey, std::string displayName, bool rawEventsOffered, bool xtestOffered)
    : displayName_(std::move(displayName)), rawEventsOffered_(rawEventsOffered), xtestOffered_(xtestOffered) {}

std::shared_ptr<KeyEventTap> X11KeyTap::createTap(KeyTapCallback callback) {
    if (!rawEventsOffered_) return nullptr;
    return X11KeyEventTap::open(displayName_, std::move(callback));
}

}  // namespace murmo
