#pragma once

// What a managed window is to the desktop, from its _NET_WM_WINDOW_TYPE and
// _NET_WM_STATE. Layers follow the usual ordering of window levels:
//
//   0    normal windows, dialogs, utilities, toolbars, splash screens (and a
//        window with no type, which the hints define as normal)
//   3    any of those kept above the others (_NET_WM_STATE_ABOVE)
//   20   docks and panels
//   25   notifications
//   101  menus, tooltips, combo-box lists and dragged items
//
// A desktop window (the one that draws the background) is no on-screen
// window at all. A window is on the taskbar when it is a normal window or a
// dialog without _NET_WM_STATE_SKIP_TASKBAR.

#include <cstdint>

#include "platform/linux/EwmhWindowProperties.h"

namespace murmo {

struct EwmhWindowRole {
    static constexpr std::int32_t kNormalLayer = 0;
    static constexpr std::int32_t kAboveLayer = 3;
    static constexpr std::int32_t kDockLayer = 20;
    static constexpr std::int32_t kNotificationLayer = 25;
    static constexpr std::int32_t kMenuLayer = 101;

    bool isDesktop = false;
    bool isOnTaskbar = false;
    std::int32_t layer = kNormalLayer;

    static EwmhWindowRole of(EwmhWindowProperties& properties, X11ID window);
};

}  // namespace murmo
