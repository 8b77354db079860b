#include "platform/linux/EwmhWindowProperties.h"

#include <unistd.h>

#include <array>
#include <memory>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace murmo {

namespace {

// 16 Mi items: an icon set of several 1024-pixel squares still fits; a
// property longer than that is no sane one and is not read.
constexpr long kMaximumItems = 16L * 1024 * 1024;
// Deep enough for any toolkit's nesting below a top-level window.
constexpr int kMaximumClimb = 64;

struct XFreeDeleter {
    void operator()(void* data) const {
        if (data) XFree(data);
    }
};

template <typename T>
using XMemory = std::unique_ptr<T, XFreeDeleter>;

// Equal, or one the other's first label: a client may name the host by its
// full name where this one's own is short, or the other way round.
bool sameHost(std::string_view a, std::string_view b) {
    if (a.size() > b.size()) std::swap(a, b);
    return a == b || (!a.empty() && b.starts_with(a) && b[a.size()] == '.');
}

}  // namespace

EwmhWindowProperties::EwmhWindowProperties(X11Connection& connection) : connection_(connection) {}

X11ID EwmhWindowProperties::rootWindow() const { return DefaultRootWindow(connection_.display()); }

X11ID EwmhWindowProperties::atom(std::string_view name) {
    const auto found = atoms_.find(name);
    if (found != atoms_.end()) return found->second;
    const std::string key(name);
    const auto interned = XInternAtom(connection_.display(), key.c_str(), False);
    atoms_.emplace(key, interned);
    return interned;
}

std::optional<std::vector<std::uint32_t>> EwmhWindowProperties::items32(X11ID window, std::string_view property,
                                                                        std::string_view type) {
    if (connection_.isBroken() || window == 0) return std::nullopt;
    Atom actualType = 0;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long bytesAfter = 0;
    unsigned char* raw = nullptr;
    const auto status = XGetWindowProperty(connection_.display(), window, atom(property), 0, kMaximumItems, False,
                                           atom(type), &actualType, &actualFormat, &count, &bytesAfter, &raw);
    const XMemory<unsigned char> data(raw);
    if (status != Success || actualType != atom(type) || actualFormat != 32 || bytesAfter != 0) return std::nullopt;
    // Xlib hands format-32 items out as longs, whatever their width.
    const auto* longs = reinterpret_cast<const unsigned long*>(data.get());
    std::vector<std::uint32_t> items(count);
    for (unsigned long i = 0; i < count; ++i) items[i] = static_cast<std::uint32_t>(longs[i] & 0xffffffffUL);
    return items;
}

std::optional<X11ID> EwmhWindowProperties::activeWindow() {
    const auto items = items32(rootWindow(), "_NET_ACTIVE_WINDOW", "WINDOW");
    if (!items || items->empty() || items->front() == 0) return std::nullopt;
    return items->front();
}

static std::vector<X11ID> asIDs(const std::optional<std::vector<std::uint32_t>>& items) {
    if (!items) return {};
    return {items->begin(), items->end()};
}

std::vector<X11ID> EwmhWindowProperties::clientList() {
    return asIDs(items32(rootWindow(), "_NET_CLIENT_LIST", "WINDOW"));
}

std::vector<X11ID> EwmhWindowProperties::clientListStacking() {
    return asIDs(items32(rootWindow(), "_NET_CLIENT_LIST_STACKING", "WINDOW"));
}

std::optional<std::int32_t> EwmhWindowProperties::processID(X11ID window) {
    const auto items = items32(window, "_NET_WM_PID", "CARDINAL");
    if (!items || items->empty()) return std::nullopt;
    const auto pid = static_cast<std::int32_t>(items->front());
    if (pid <= 0 || !isOnThisMachine(window)) return std::nullopt;
    return pid;
}

bool EwmhWindowProperties::isOnThisMachine(X11ID window) {
    XTextProperty machine{};
    if (XGetWMClientMachine(connection_.display(), window, &machine) == 0 || !machine.value) return true;
    const XMemory<unsigned char> text(machine.value);
    if (machine.format != 8) return true;
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) != 0) return true;
    std::string_view named(reinterpret_cast<const char*>(text.get()), machine.nitems);
    while (named.ends_with('\0')) named.remove_suffix(1);
    return sameHost(named, host.data());
}

std::vector<X11ID> EwmhWindowProperties::windowTypes(X11ID window) {
    return asIDs(items32(window, "_NET_WM_WINDOW_TYPE", "ATOM"));
}

std::vector<X11ID> EwmhWindowProperties::windowStates(X11ID window) {
    return asIDs(items32(window, "_NET_WM_STATE", "ATOM"));
}

std::optional<X11WindowClass> EwmhWindowProperties::windowClass(X11ID window) {
    if (connection_.isBroken()) return std::nullopt;
    XClassHint hint{};
    if (XGetClassHint(connection_.display(), window, &hint) == 0) return std::nullopt;
    const XMemory<char> instance(hint.res_name);
    const XMemory<char> className(hint.res_class);
    return X11WindowClass{.instance = instance ? instance.get() : "", .className = className ? className.get() : ""};
}

std::optional<std::vector<std::uint32_t>> EwmhWindowProperties::icon(X11ID window) {
    return items32(window, "_NET_WM_ICON", "CARDINAL");
}

std::optional<X11ID> EwmhWindowProperties::inputFocus() {
    if (connection_.isBroken()) return std::nullopt;
    Window focus = 0;
    int revertTo = 0;
    XGetInputFocus(connection_.display(), &focus, &revertTo);
    if (focus == None || focus == PointerRoot) return std::nullopt;
    return focus;
}

std::optional<X11ID> EwmhWindowProperties::parent(X11ID window) {
    if (connection_.isBroken()) return std::nullopt;
    Window root = 0;
    Window parentWindow = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(connection_.display(), window, &root, &parentWindow, &children, &count) == 0) return std::nullopt;
    const XMemory<Window> childList(children);
    if (parentWindow == None || window == root) return std::nullopt;
    return parentWindow;
}

bool EwmhWindowProperties::isViewable(X11ID window) {
    if (connection_.isBroken()) return false;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(connection_.display(), window, &attributes) == 0) return false;
    return attributes.map_state == IsViewable;
}

std::optional<EwmhWindowProperties::OwnedWindow> EwmhWindowProperties::nearestOwnedWindow(X11ID window) {
    std::optional<X11ID> current = window;
    for (int step = 0; current && *current != rootWindow() && step < kMaximumClimb; ++step) {
        if (const auto pid = processID(*current)) return OwnedWindow{.window = *current, .pid = *pid};
        current = parent(*current);
    }
    return std::nullopt;
}

}  // namespace murmo
