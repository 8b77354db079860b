#include "XServerPointer.h"

#include <string_view>

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace murmo::testing {

namespace {

constexpr char kDomain[] = "XServerPointer";

// The first pointer the server has of its own: a slave pointer that is not
// the XTEST device.
int findServerPointer(Display* display) {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    int found = 0;
    for (int i = 0; i < count && found == 0; ++i) {
        const std::string_view name(devices[i].name);
        if (devices[i].use == XISlavePointer && name.find("XTEST") == std::string_view::npos) {
            found = devices[i].deviceid;
        }
    }
    XIFreeDeviceInfo(devices);
    return found;
}

}  // namespace

struct XServerPointer::OpenDevice {
    Display* display;
    XDevice* device;
    ~OpenDevice() { XCloseDevice(display, device); }
};

Result<std::unique_ptr<XServerPointer>> XServerPointer::open(const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return fail(connection.error());
    Display* display = (*connection)->display();
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        return fail(kDomain, 2, "The X server offers no XTest.");
    }
    const int deviceId = findServerPointer(display);
    XDevice* device = deviceId != 0 ? XOpenDevice(display, static_cast<XID>(deviceId)) : nullptr;
    if (!device) return fail(kDomain, 3, "The X server has no pointer of its own.");
    auto open = std::make_unique<OpenDevice>(display, device);
    return std::unique_ptr<XServerPointer>(new XServerPointer(std::move(*connection), std::move(open)));
}

XServerPointer::XServerPointer(std::unique_ptr<X11Connection> connection, std::unique_ptr<OpenDevice> device)
    : connection_(std::move(connection)), device_(std::move(device)) {}

// The device closes before its connection.
XServerPointer::~XServerPointer() { device_.reset(); }

void XServerPointer::click(unsigned button) {
    Display* display = connection_->display();
    XTestFakeDeviceButtonEvent(display, device_->device, button, True, nullptr, 0, CurrentTime);
    XTestFakeDeviceButtonEvent(display, device_->device, button, False, nullptr, 0, CurrentTime);
    XSync(display, False);
}

}  // namespace murmo::testing
