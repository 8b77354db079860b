#pragma once

// The capsule's outline, its near-black surface and the thin rainbow ring
// just inside its edge, and where the processing dots sit. Points, y up.

#include <array>
#include <cstdint>
#include <numbers>

#include "input/hud/HUDContentHost.h"
#include "input/hud/HUDMetrics.h"

namespace murmo {

namespace HUDCapsuleMask {
// A full pill up to 26.5 points; 0 for an empty rectangle.
double cornerRadius(double width, double height);
}  // namespace HUDCapsuleMask

namespace HUDRainbowBorderSpec {
inline constexpr double lineWidth = 1.0;
inline constexpr double increasedContrastLineWidth = 1.5;
inline constexpr HUDSeconds rotationDuration{5.0};
inline constexpr double staticRotation = -0.16 * std::numbers::pi;
inline constexpr std::uint32_t skyRGB = 0x35A2DE;
inline constexpr std::uint32_t cobaltRGB = 0x3746CC;
inline constexpr std::uint32_t purpleRGB = 0x9200FF;
inline constexpr std::uint32_t pinkRGB = 0xFF00D6;
inline constexpr std::uint32_t orangeRGB = 0xFFA02F;
inline constexpr double leadingWhiteAlpha = 0.1;
inline constexpr double orangeAlpha = 0.6;
inline constexpr std::array<double, 9> gradientLocations{
    0, 0.1111111111111111, 0.21666666666666667, 0.28888888888888886, 0.35555555555555557, 0.4, 0.45, 0.5416666666666666,
    1};
// The border strength from which the ring is drawn wider (increased contrast).
inline constexpr double wideRingBorderAlpha = 0.7;
}  // namespace HUDRainbowBorderSpec

// Where the chrome of a capsule of this size is drawn.
struct HUDChromeGeometry {
    double cornerRadius = 0;
    double ringWidth = 0;
    // The surface, inset by the ring's width.
    HUDRoundedRect surface;
    // The ring: what lies inside `ringOuter` and outside `ringInner` (filled
    // with the even-odd rule).
    HUDRoundedRect ringOuter;
    HUDRoundedRect ringInner;
    // The colours turn in a square that covers the capsule at every angle.
    HUDRect gradientSquare;

    static HUDChromeGeometry of(double width, double height, double borderAlpha);
    bool operator==(const HUDChromeGeometry&) const = default;
};

namespace HUDProcessingDots {
// Three round dots 4 points across and 4 apart, centred.
std::array<HUDRect, HUDMinimalFeedbackSpec::processingDotCount> dotFrames(double width, double height);
}  // namespace HUDProcessingDots

}  // namespace murmo
