#pragma once

// One connection to the X server, owned, for a backend that talks to it from
// one thread at a time. Xlib's error handlers are process-wide, and its
// default ones end the process: the first connection installs handlers that
// never do. A protocol error (a grab another client holds comes back as
// BadAccess, asynchronously) goes to the connection's active X11ErrorTrap, or
// is dropped; a broken connection (the server went away) is marked broken and
// every later call on it returns at once.
//
// Xlib's headers define macros with common names (Status, Bool, None, True):
// headers of ours never include them, and a source file includes them after
// every header of ours.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Error.h"

// Xlib's own declaration of its display type.
struct _XDisplay;
using Display = _XDisplay;

namespace murmo {

inline constexpr std::string_view kX11ErrorDomain = "MurmoX11";

struct X11ProtocolError {
    int errorCode = 0;
    int requestCode = 0;
    int minorCode = 0;
    unsigned long resourceID = 0;

    bool operator==(const X11ProtocolError&) const = default;
};

class X11Connection {
public:
    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached.
    static Result<std::unique_ptr<X11Connection>> open(const std::string& displayName = {});
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    Display* display() const { return display_; }
    // To wait on with poll(2).
    int fileDescriptor() const;
    // The server went away; nothing on this connection works any more.
    bool isBroken() const { return broken_->load(); }

private:
    X11Connection(Display* display, std::shared_ptr<std::atomic<bool>> broken)
        : display_(display), broken_(std::move(broken)) {}

    Display* display_;
    std::shared_ptr<std::atomic<bool>> broken_;
};

// Collects the protocol errors of one connection from its construction on;
// at most one per connection at a time, on the thread that uses it.
class X11ErrorTrap {
public:
    // Flushes what the connection sent before, so older errors stay out.
    explicit X11ErrorTrap(X11Connection& connection);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits until the server has answered everything sent so far, then the
    // errors caught since construction.
    std::vector<X11ProtocolError> sync();

private:
    X11Connection& connection_;
};

}  // namespace murmo
