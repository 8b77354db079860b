#pragma once

// Turns the appearance preference into the resolved appearance under the
// system's current mode, into the appearance windows are given, and into the
// fixed colours of the dashboard window's chrome.

#include "platform/Chrome.h"
#include "platform/WindowAppearance.h"
#include "services/NativePreferenceTypes.h"

namespace murmo {

class AppearanceCoordinator {
public:
    explicit AppearanceCoordinator(const Chrome& chrome) : chrome_(chrome) {}

    static NativeResolvedAppearance resolve(NativeAppearancePreference preference, bool systemUsesDarkAppearance);
    // The preference with its resolution under the system's current mode.
    NativeAppearanceState state(NativeAppearancePreference preference) const;
    // "system" follows the system; black is a dark window with darker colours
    // of its own, not a third system appearance.
    static WindowAppearance appKitAppearance(const NativeAppearanceState& state);

    static RGBAColor chromeColor(NativeResolvedAppearance appearance);
    static RGBAColor workspaceChromeColor(NativeResolvedAppearance appearance);
    static RGBAColor workspaceSidebarColor(NativeResolvedAppearance appearance);

private:
    bool systemUsesDarkAppearance() const { return chrome_.effectiveAppearanceIsDark(); }

    const Chrome& chrome_;
};

}  // namespace murmo
