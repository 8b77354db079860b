#pragma once

// The event loop of the clipboard's connection while one of its steps waits
// for an answer: every event that is not the awaited one goes on to the
// connection's usual handler, so the selection we own keeps being served
// while we read another owner's, or wait for the clipboard manager.
// The clipboard's thread only.

#include <chrono>
#include <functional>

#include "platform/linux/X11Connection.h"

// Xlib's own declaration of its event type.
union _XEvent;

namespace murmo {

class X11ClipboardEventPump {
public:
    using Clock = std::chrono::steady_clock;
    using Handler = std::function<void(_XEvent&)>;
    // True when the event is the one waited for (it then goes nowhere else).
    using Awaited = std::function<bool(_XEvent&)>;

    X11ClipboardEventPump(X11Connection& connection, Handler usualHandler)
        : connection_(connection), usualHandler_(std::move(usualHandler)) {}

    // Handles every event already received, without waiting.
    void drain();
    // Handles events until `awaited` takes one (true), or until `deadline`
    // or a broken connection (false).
    bool waitFor(Clock::time_point deadline, const Awaited& awaited);

private:
    X11Connection& connection_;
    Handler usualHandler_;
};

}  // namespace murmo
