#pragma once

// The HUD's colours: one near-black surface for every appearance, the text
// contrast, an accent per semantic role, and the border strength.

#include <cstdint>
#include <optional>
#include <string_view>

namespace murmo {

enum class HUDAppearance { light, dark, black };
enum class HUDSemanticRole { listening, processing, neutral, success, warning, error };

// Colours are 0xRRGGBB; alphas are 0...1.
struct HUDPaletteSpec {
    std::uint32_t surfaceTopRGB = 0;
    std::uint32_t surfaceMiddleRGB = 0;
    std::uint32_t surfaceBottomRGB = 0;
    std::uint32_t primaryTextRGB = 0;
    std::uint32_t secondaryTextRGB = 0;
    std::uint32_t accentRGB = 0;
    std::uint32_t borderRGB = 0;
    std::uint32_t buttonSurfaceRGB = 0;
    double surfaceAlpha = 1;
    double borderAlpha = 0;
    double glowAlpha = 0;

    bool operator==(const HUDPaletteSpec&) const = default;
};

struct HUDAppearanceResolver {
    // The application's preference ("system", "light", "dark", "black") with
    // the resolved name stored beside it; nothing when the two disagree (the
    // caller then follows the system).
    static std::optional<HUDAppearance> resolve(std::string_view preference, std::string_view resolved,
                                                bool systemUsesDarkAppearance);
};

struct HUDVisualPalette {
    static constexpr double waveformAlpha = 1.0;

    // The appearance changes only the border strength; reduced transparency
    // changes nothing, as the surface is opaque.
    static HUDPaletteSpec resolved(HUDAppearance appearance, HUDSemanticRole role, bool increasedContrast,
                                   bool reduceTransparency);
    static std::uint32_t accent(HUDSemanticRole role);
};

}  // namespace murmo
