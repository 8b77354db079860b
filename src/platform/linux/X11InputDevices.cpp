#include "platform/linux/X11InputDevices.h"

#include <string_view>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace murmo::x11_input {

namespace {

bool isXTestDevice(Display* display, const XIDeviceInfo& device) {
    if (device.name && std::string_view(device.name).find("XTEST") != std::string_view::npos) return true;
    const Atom property = XInternAtom(display, "XTEST Device", True);
    if (property == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const bool found = XIGetProperty(display, device.deviceid, property, 0, 1, False, AnyPropertyType, &type, &format,
                                     &items, &remaining, &data) == Success &&
                       items > 0 && data && data[0] != 0;
    if (data) XFree(data);
    return found;
}

}  // namespace

std::optional<int> xinput2Opcode(Display* display, int minimumMinorVersion) {
    int opcode = 0;
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return std::nullopt;
    // Ask for 2.2 whatever is needed: from 2.2 on, raw events also come while
    // another client grabs the keyboard.
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(display, &major, &minor) != Success) return std::nullopt;
    if (major < 2 || (major == 2 && minor < minimumMinorVersion)) return std::nullopt;
    return opcode;
}

bool offersXTest(Display* display) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    return XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor) == True;
}

std::set<int> xtestDevices(Display* display) {
    std::set<int> devices;
    int count = 0;
    XIDeviceInfo* info = XIQueryDevice(display, XIAllDevices, &count);
    for (int index = 0; info && index < count; ++index) {
        const auto& device = info[index];
        const bool slave = device.use == XISlaveKeyboard || device.use == XISlavePointer;
        if (slave && isXTestDevice(display, device)) devices.insert(device.deviceid);
    }
    if (info) XIFreeDeviceInfo(info);
    return devices;
}

}  // namespace murmo::x11_input
