#pragma once

// The application object as the window chrome sees it: its activation policy
// (a Dock icon or the menu bar only), its effective light or dark appearance,
// and the system's notices that affect every window. Main thread only. The
// save panel is its own port (platform/SavePanel.h), backed by the same
// object. Later additions: menus, alerts and windows.

#include <functional>

#include "runtime/ObserverHandle.h"

namespace murmo {

enum class ActivationPolicy {
    // A Dock icon and a menu bar.
    regular,
    // The menu-bar status item only.
    accessory,
};

class Chrome {
public:
    virtual ~Chrome() = default;

    // False when the system refuses the policy; the old one then stays.
    virtual bool setActivationPolicy(ActivationPolicy policy) = 0;
    // Whether the application's effective appearance is dark; false before
    // the application object exists.
    virtual bool effectiveAppearanceIsDark() const = 0;
    // Called on the main thread whenever the user's locale changes
    // (language, region); dropping the handle stops the notices.
    virtual ObserverHandle observeLocaleChanges(std::function<void()> onChange) = 0;
};

}  // namespace murmo
