#include "platform/linux/X11ClipboardEventPump.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include <X11/Xlib.h>

namespace murmo {

void X11ClipboardEventPump::drain() {
    Display* display = connection_.display();
    while (!connection_.isBroken() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        usualHandler_(event);
    }
}

bool X11ClipboardEventPump::waitFor(Clock::time_point deadline, const Awaited& awaited) {
    Display* display = connection_.display();
    for (;;) {
        while (!connection_.isBroken() && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (awaited(event)) return true;
            usualHandler_(event);
        }
        if (connection_.isBroken()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd readable{.fd = connection_.fileDescriptor(), .events = POLLIN, .revents = 0};
        // Rounded up, so a wait never ends just short of its deadline.
        if (::poll(&readable, 1, static_cast<int>(std::min<long long>(left + 1, 60'000))) < 0 && errno != EINTR) {
            return false;
        }
    }
}

}  // namespace murmo
