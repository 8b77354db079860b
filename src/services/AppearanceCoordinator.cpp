#include "services/AppearanceCoordinator.h"

namespace murmo {

NativeResolvedAppearance AppearanceCoordinator::resolve(NativeAppearancePreference preference,
                                                        bool systemUsesDarkAppearance) {
    switch (preference) {
        case NativeAppearancePreference::system:
            return systemUsesDarkAppearance ? NativeResolvedAppearance::dark : NativeResolvedAppearance::light;
        case NativeAppearancePreference::light: return NativeResolvedAppearance::light;
        case NativeAppearancePreference::dark: return NativeResolvedAppearance::dark;
        case NativeAppearancePreference::black: return NativeResolvedAppearance::black;
    }
    return NativeResolvedAppearance::light;
}

NativeAppearanceState AppearanceCoordinator::state(NativeAppearancePreference preference) const {
    return NativeAppearanceState{preference, resolve(preference, systemUsesDarkAppearance())};
}

WindowAppearance AppearanceCoordinator::appKitAppearance(const NativeAppearanceState& state) {
    if (state.preference == NativeAppearancePreference::system) return WindowAppearance::followSystem;
    return state.resolved == NativeResolvedAppearance::light ? WindowAppearance::aqua : WindowAppearance::darkAqua;
}

RGBAColor AppearanceCoordinator::chromeColor(NativeResolvedAppearance appearance) {
    switch (appearance) {
        case NativeResolvedAppearance::light: return RGBAColor::fromBytes(248, 247, 245);
        case NativeResolvedAppearance::dark: return RGBAColor::fromBytes(18, 18, 20);
        case NativeResolvedAppearance::black: return RGBAColor{0, 0, 0, 1};
    }
    return {};
}

RGBAColor AppearanceCoordinator::workspaceChromeColor(NativeResolvedAppearance appearance) {
    switch (appearance) {
        case NativeResolvedAppearance::light: return RGBAColor::fromBytes(250, 249, 246);
        case NativeResolvedAppearance::dark: return RGBAColor::fromBytes(28, 28, 27);
        case NativeResolvedAppearance::black: return RGBAColor::fromBytes(9, 9, 9);
    }
    return {};
}

RGBAColor AppearanceCoordinator::workspaceSidebarColor(NativeResolvedAppearance appearance) {
    switch (appearance) {
        case NativeResolvedAppearance::light: return RGBAColor::fromBytes(238, 237, 232);
        case NativeResolvedAppearance::dark: return RGBAColor::fromBytes(32, 32, 31);
        case NativeResolvedAppearance::black: return RGBAColor::fromBytes(17, 17, 17);
    }
    return {};
}

}  // namespace murmo
