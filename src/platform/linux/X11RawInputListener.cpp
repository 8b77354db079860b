#include "platform/linux/X11RawInputListener.h"

#include <optional>
#include <vector>

#include <cerrno>

#include <poll.h>

#include "platform/InputActivity.h"
#include "platform/linux/X11InputDevices.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace murmo {

namespace {

constexpr std::size_t indexOf(InputEventType type) {
    switch (type) {
        case InputEventType::keyDown: return 0;
        case InputEventType::leftMouseDown: return 1;
        case InputEventType::rightMouseDown: return 2;
        case InputEventType::otherMouseDown: return 3;
    }
    return 0;
}

// Buttons 4 to 7 are the wheel's steps, not presses.
std::optional<InputEventType> buttonType(int button) {
    if (button == 1) return InputEventType::leftMouseDown;
    if (button == 3) return InputEventType::rightMouseDown;
    if (button == 2 || button > 7) return InputEventType::otherMouseDown;
    return std::nullopt;
}

}  // namespace

Result<std::shared_ptr<X11RawInputListener>> X11RawInputListener::open(const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return std::unexpected(connection.error());
    Display* display = (*connection)->display();
    const auto opcode = x11_input::xinput2Opcode(display, 1);
    if (!opcode) {
        return std::unexpected(
            Error(std::string(kX11ErrorDomain), 2, "The X server offers no XInput 2.1 raw events.", "XInputExtension"));
    }

    // Raw events come to the root window only; on the master devices each
    // press arrives once (all devices would add each slave's copy).
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> rawBits{};
    XISetMask(rawBits.data(), XI_RawKeyPress);
    XISetMask(rawBits.data(), XI_RawButtonPress);
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> hierarchyBits{};
    XISetMask(hierarchyBits.data(), XI_HierarchyChanged);
    std::array<XIEventMask, 2> masks{
        XIEventMask{
            .deviceid = XIAllMasterDevices, .mask_len = static_cast<int>(rawBits.size()), .mask = rawBits.data()},
        XIEventMask{.deviceid = XIAllDevices,
                    .mask_len = static_cast<int>(hierarchyBits.size()),
                    .mask = hierarchyBits.data()}};
    XISelectEvents(display, DefaultRootWindow(display), masks.data(), static_cast<int>(masks.size()));
    XSync(display, False);
    if ((*connection)->isBroken()) {
        return std::unexpected(Error(std::string(kX11ErrorDomain), 1, "The X server went away.", "XInputExtension"));
    }
    return std::shared_ptr<X11RawInputListener>(new X11RawInputListener(std::move(*connection), *opcode));
}

X11RawInputListener::X11RawInputListener(std::unique_ptr<X11Connection> connection, int opcode)
    : connection_(std::move(connection)), opcode_(opcode) {
    findXTestDevices();
    thread_ = std::thread([this] {
        run();
        connection_.reset();
        listening_.store(false);
    });
}

X11RawInputListener::~X11RawInputListener() {
    stopping_.store(true);
    stop_.signal();
    thread_.join();
}

std::uint32_t X11RawInputListener::userEventCount(InputEventType type) const {
    return counts_[indexOf(type)].load(std::memory_order_relaxed);
}

std::uint64_t X11RawInputListener::addObserver(Observer observer) {
    const std::lock_guard lock(observersMutex_);
    const auto id = nextObserverID_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void X11RawInputListener::removeObserver(std::uint64_t id) {
    const std::lock_guard lock(observersMutex_);
    observers_.erase(id);
}

void X11RawInputListener::run() {
    Display* display = connection_->display();
    std::array<pollfd, 2> waits{pollfd{.fd = connection_->fileDescriptor(), .events = POLLIN, .revents = 0},
                                pollfd{.fd = stop_.fd(), .events = POLLIN, .revents = 0}};
    while (!stopping_.load()) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.xcookie.type == GenericEvent && event.xcookie.extension == opcode_ &&
                XGetEventData(display, &event.xcookie)) {
                handle(&event.xcookie);
                XFreeEventData(display, &event.xcookie);
            }
        }
        // A broken connection stays readable for ever: nothing more to hear.
        if (connection_->isBroken()) return;
        if (poll(waits.data(), waits.size(), -1) < 0 && errno != EINTR) return;
    }
}

void X11RawInputListener::handle(void* data) {
    auto& cookie = *static_cast<XGenericEventCookie*>(data);
    if (cookie.evtype == XI_HierarchyChanged) {
        findXTestDevices();
        return;
    }
    if (cookie.evtype != XI_RawKeyPress && cookie.evtype != XI_RawButtonPress) return;
    const auto& raw = *static_cast<const XIRawEvent*>(cookie.data);
    std::optional<InputEventType> type = InputEventType::keyDown;
    if (cookie.evtype == XI_RawButtonPress) type = buttonType(raw.detail);
    if (!type) return;
    const bool synthetic = xtestDevices_.contains(raw.sourceid);
    if (!synthetic) counts_[indexOf(*type)].fetch_add(1, std::memory_order_relaxed);
    dispatch(UserInputEvent{.type = *type, .sourceUserData = synthetic ? kSyntheticEventUserDataMarker : 0});
}

void X11RawInputListener::findXTestDevices() { xtestDevices_ = x11_input::xtestDevices(connection_->display()); }

void X11RawInputListener::dispatch(const UserInputEvent& event) {
    const std::lock_guard lock(observersMutex_);
    // An observer may remove itself or another one while it runs.
    std::vector<std::uint64_t> ids;
    ids.reserve(observers_.size());
    for (const auto& entry : observers_) ids.push_back(entry.first);
    for (const auto id : ids) {
        const auto found = observers_.find(id);
        if (found == observers_.end()) continue;
        const Observer observer = found->second;
        observer(event);
    }
}

}  // namespace murmo
