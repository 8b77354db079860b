#pragma once

// Reads what a window manager following the Extended Window Manager Hints
// publishes, and the few core window facts the workspace needs, over one X
// connection. Every read is one synchronous request; a window that went away
// meanwhile reads as having nothing (its protocol error is dropped by the
// connection's handler). Main thread only, like the connection's user.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/X11Connection.h"

namespace murmo {

// An X resource identifier (a window, an atom), as Xlib passes it.
using X11ID = unsigned long;

// WM_CLASS: the instance name (usually the program's) and the class name.
struct X11WindowClass {
    std::string instance;
    std::string className;

    bool operator==(const X11WindowClass&) const = default;
};

class EwmhWindowProperties {
public:
    explicit EwmhWindowProperties(X11Connection& connection);

    X11Connection& connection() const { return connection_; }
    X11ID rootWindow() const;
    // The atom of `name`, interned once per name.
    X11ID atom(std::string_view name);

    // The 32-bit items of a property of format 32 and type `type` (an atom
    // name: "CARDINAL", "WINDOW", "ATOM"), each in the low 32 bits. Absent
    // when the window has no such property or it is longer than a sane bound.
    std::optional<std::vector<std::uint32_t>> items32(X11ID window, std::string_view property, std::string_view type);

    // _NET_ACTIVE_WINDOW of the root; absent when unset or None.
    std::optional<X11ID> activeWindow();
    // _NET_CLIENT_LIST in the manager's order (usually mapping order).
    std::vector<X11ID> clientList();
    // _NET_CLIENT_LIST_STACKING, bottom to top as the manager lists it.
    std::vector<X11ID> clientListStacking();
    // _NET_WM_PID, unless WM_CLIENT_MACHINE names another host than this
    // one: a pid from another machine names no process here.
    std::optional<std::int32_t> processID(X11ID window);
    // _NET_WM_WINDOW_TYPE and _NET_WM_STATE as atoms, compare with atom().
    std::vector<X11ID> windowTypes(X11ID window);
    std::vector<X11ID> windowStates(X11ID window);
    std::optional<X11WindowClass> windowClass(X11ID window);
    // _NET_WM_ICON as the cardinals it holds (width, height, pixels, ...).
    std::optional<std::vector<std::uint32_t>> icon(X11ID window);

    // The window that has the input focus; absent for None and PointerRoot.
    std::optional<X11ID> inputFocus();
    // The parent in the window tree; absent for the root and a gone window.
    std::optional<X11ID> parent(X11ID window);
    // Mapped with every ancestor mapped.
    bool isViewable(X11ID window);

    // `window` or its nearest ancestor with _NET_WM_PID, and that pid.
    struct OwnedWindow {
        X11ID window = 0;
        std::int32_t pid = 0;
    };
    std::optional<OwnedWindow> nearestOwnedWindow(X11ID window);

private:
    // True when the window names no machine or names this one.
    bool isOnThisMachine(X11ID window);

    X11Connection& connection_;
    std::map<std::string, X11ID, std::less<>> atoms_;
};

}  // namespace murmo
