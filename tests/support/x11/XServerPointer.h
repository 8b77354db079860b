#pragma once

#include <memory>
#include <string>

#include "platform/linux/X11Connection.h"
#include "runtime/Error.h"

namespace murmo::testing {

// The X server's own pointer ("Xvfb mouse"), to play the user's clicks:
// buttons faked on it with XTestFakeDeviceButtonEvent carry that device's
// source id in raw events, unlike XTestFakeButtonEvent's, which come from the
// XTEST device. Owns its own connection.
class XServerPointer {
public:
    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached
    // or has no pointer of its own.
    static Result<std::unique_ptr<XServerPointer>> open(const std::string& displayName = {});
    ~XServerPointer();
    XServerPointer(const XServerPointer&) = delete;
    XServerPointer& operator=(const XServerPointer&) = delete;

    // Presses and releases a button; returns once the server has processed it.
    void click(unsigned button);

private:
    struct OpenDevice;
    XServerPointer(std::unique_ptr<X11Connection> connection, std::unique_ptr<OpenDevice> device);

    std::unique_ptr<X11Connection> connection_;
    std::unique_ptr<OpenDevice> device_;
};

}  // namespace murmo::testing
