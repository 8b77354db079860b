#pragma once

// Turns the appearance preference into the resolved appearance under the
// system's current mode, into the appearance windows are given, and into the
// fixed colours of the dashboard window's chrome.

#include <cstdint>

#include "platform/Chrome.h"
#include "services/NativePreferenceTypes.h"

namespace murmo {

// What a window is told to look like: nothing (follow the system), light or
// dark.
enum class WindowAppearance { followSystem, aqua, darkAqua };

struct RGBAColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr RGBAColor fromBytes(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        return RGBAColor{red / 255.0, green / 255.0, blue / 255.0, 1.0};
    }
    bool operator==(const RGBAColor&) const = default;
};

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
