#include "XServerKeyboard.h"

#include <string_view>

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace murmo::testing {

namespace {

constexpr char kDomain[] = "XServerKeyboard";

// The first keyboard the server has of its own: a slave keyboard that is not
// the XTEST device.
int findServerKeyboard(Display* display) {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    int found = 0;
    for (int i = 0; i < count && found == 0; ++i) {
        const std::string_view name(devices[i].name);
        if (devices[i].use == XISlaveKeyboard && name.find("XTEST") == std::string_view::npos) {
            found = devices[i].deviceid;
        }
    }
    XIFreeDeviceInfo(devices);
    return found;
}

}  // namespace

struct XServerKeyboard::OpenDevice {
    Display* display;
    XDevice* device;
    ~OpenDevice() { XCloseDevice(display, device); }
};

Result<std::unique_ptr<XServerKeyboard>> XServerKeyboard::open(const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return fail(connection.error());
    Display* display = (*connection)->display();
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success) {
        return fail(kDomain, 1, "The X server offers no XInput 2.");
    }
    int xtestMajor = 0;
    int xtestMinor = 0;
    if (!XTestQueryExtension(display, &event, &error, &xtestMajor, &xtestMinor)) {
        return fail(kDomain, 2, "The X server offers no XTest.");
    }
    const int deviceId = findServerKeyboard(display);
    XDevice* device = deviceId != 0 ? XOpenDevice(display, static_cast<XID>(deviceId)) : nullptr;
    if (!device) return fail(kDomain, 3, "The X server has no keyboard of its own.");
    auto open = std::make_unique<OpenDevice>(display, device);
    return std::unique_ptr<XServerKeyboard>(new XServerKeyboard(std::move(*connection), std::move(open), deviceId));
}

XServerKeyboard::XServerKeyboard(std::unique_ptr<X11Connection> connection, std::unique_ptr<OpenDevice> device,
                                 int deviceId)
    : connection_(std::move(connection)), device_(std::move(device)), deviceId_(deviceId) {}

// The device closes before its connection.
XServerKeyboard::~XServerKeyboard() { device_.reset(); }

void XServerKeyboard::press(unsigned keycode) { fake(keycode, true); }
void XServerKeyboard::release(unsigned keycode) { fake(keycode, false); }

void XServerKeyboard::tap(unsigned keycode) {
    press(keycode);
    release(keycode);
}

void XServerKeyboard::fake(unsigned keycode, bool press) {
    Display* display = connection_->display();
    XTestFakeDeviceKeyEvent(display, device_->device, keycode, press ? True : False, nullptr, 0, CurrentTime);
    XSync(display, False);
}

}  // namespace murmo::testing
