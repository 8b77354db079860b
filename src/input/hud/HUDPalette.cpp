#include "input/hud/HUDPalette.h"

namespace murmo {

std::optional<HUDAppearance> HUDAppearanceResolver::resolve(std::string_view preference, std::string_view resolved,
                                                            bool systemUsesDarkAppearance) {
    if (preference == "system") {
        if (resolved == "light") return HUDAppearance::light;
        if (resolved == "dark") return HUDAppearance::dark;
        if (resolved == "system") return systemUsesDarkAppearance ? HUDAppearance::dark : HUDAppearance::light;
        return std::nullopt;
    }
    if (preference != resolved) return std::nullopt;
    if (preference == "light") return HUDAppearance::light;
    if (preference == "dark") return HUDAppearance::dark;
    if (preference == "black") return HUDAppearance::black;
    return std::nullopt;
}

std::uint32_t HUDVisualPalette::accent(HUDSemanticRole role) {
    switch (role) {
        case HUDSemanticRole::listening: return 0xA0A0A0;
        case HUDSemanticRole::processing: return 0xB8BBC2;
        case HUDSemanticRole::neutral: return 0xA7A9AF;
        case HUDSemanticRole::success: return 0xFFFFFF;
        case HUDSemanticRole::warning: return 0xD7B06B;
        case HUDSemanticRole::error: return 0xE77A82;
    }
    return 0xA7A9AF;
}

HUDPaletteSpec HUDVisualPalette::resolved(HUDAppearance appearance, HUDSemanticRole role, bool increasedContrast,
                                          bool /*reduceTransparency*/) {
    double borderAlpha = appearance == HUDAppearance::light ? 0.52 : 0.58;
    if (increasedContrast) borderAlpha = 0.72;
    return HUDPaletteSpec{.surfaceTopRGB = 0x0A0A0A,
                          .surfaceMiddleRGB = 0x0A0A0A,
                          .surfaceBottomRGB = 0x0A0A0A,
                          .primaryTextRGB = increasedContrast ? 0xE7E7EAu : 0x8F8F93u,
                          .secondaryTextRGB = increasedContrast ? 0xBDBDC2u : 0x88888Cu,
                          .accentRGB = accent(role),
                          .borderRGB = 0xE7E7E9,
                          .buttonSurfaceRGB = 0x151517,
                          .surfaceAlpha = 1.0,
                          .borderAlpha = borderAlpha,
                          .glowAlpha = 0};
}

}  // namespace murmo
