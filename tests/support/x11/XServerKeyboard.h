#pragma once

#include <memory>
#include <string>

#include "platform/linux/X11Connection.h"
#include "runtime/Error.h"

namespace murmo::testing {

// The X server's own keyboard ("Xvfb keyboard"), to play the user: keys faked
// on it with XTestFakeDeviceKeyEvent carry that device's source id in raw
// events, as a person's typing would, unlike XTestFakeKeyEvent's keys, which
// come from the XTEST device the application itself posts through. Owns its
// own connection.
class XServerKeyboard {
public:
    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached
    // or has no keyboard of its own.
    static Result<std::unique_ptr<XServerKeyboard>> open(const std::string& displayName = {});
    ~XServerKeyboard();
    XServerKeyboard(const XServerKeyboard&) = delete;
    XServerKeyboard& operator=(const XServerKeyboard&) = delete;

    // The keyboard's XInput device id: the source id of its raw events.
    int deviceId() const { return deviceId_; }

    // Each returns once the server has processed the key.
    void press(unsigned keycode);
    void release(unsigned keycode);
    void tap(unsigned keycode);

private:
    struct OpenDevice;
    XServerKeyboard(std::unique_ptr<X11Connection> connection, std::unique_ptr<OpenDevice> device, int deviceId);
    void fake(unsigned keycode, bool press);

    std::unique_ptr<X11Connection> connection_;
    std::unique_ptr<OpenDevice> device_;
    int deviceId_;
};

}  // namespace murmo::testing
