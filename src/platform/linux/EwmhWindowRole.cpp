#include "platform/linux/EwmhWindowRole.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace murmo {

namespace {

constexpr std::array<std::string_view, 6> kMenuTypes{
    "_NET_WM_WINDOW_TYPE_MENU",    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_COMBO",         "_NET_WM_WINDOW_TYPE_DND"};

}  // namespace

EwmhWindowRole EwmhWindowRole::of(EwmhWindowProperties& properties, X11ID window) {
    const auto types = properties.windowTypes(window);
    const auto states = properties.windowStates(window);
    const auto has = [&properties](const std::vector<X11ID>& atoms, std::string_view name) {
        return std::ranges::find(atoms, properties.atom(name)) != atoms.end();
    };
    EwmhWindowRole role;
    // The first type the window names that this reader knows decides, as
    // the hints prescribe; a window naming none is a normal one.
    for (const auto type : types) {
        if (type == properties.atom("_NET_WM_WINDOW_TYPE_DESKTOP")) {
            role.isDesktop = true;
            return role;
        }
        if (type == properties.atom("_NET_WM_WINDOW_TYPE_DOCK")) {
            role.layer = kDockLayer;
            return role;
        }
        if (type == properties.atom("_NET_WM_WINDOW_TYPE_NOTIFICATION")) {
            role.layer = kNotificationLayer;
            return role;
        }
        if (std::ranges::any_of(kMenuTypes, [&](auto name) { return type == properties.atom(name); })) {
            role.layer = kMenuLayer;
            return role;
        }
        if (type == properties.atom("_NET_WM_WINDOW_TYPE_NORMAL") ||
            type == properties.atom("_NET_WM_WINDOW_TYPE_DIALOG")) {
            break;
        }
        if (std::ranges::any_of(
                std::array<std::string_view, 3>{"_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_TOOLBAR",
                                                "_NET_WM_WINDOW_TYPE_SPLASH"},
                [&](auto name) { return type == properties.atom(name); })) {
            role.layer = has(states, "_NET_WM_STATE_ABOVE") ? kAboveLayer : kNormalLayer;
            return role;
        }
    }
    role.isOnTaskbar = !has(states, "_NET_WM_STATE_SKIP_TASKBAR");
    role.layer = has(states, "_NET_WM_STATE_ABOVE") ? kAboveLayer : kNormalLayer;
    return role;
}

}  // namespace murmo
