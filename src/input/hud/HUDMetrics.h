#pragma once

// The HUD's named numbers: the one source of its geometry, timing and
// minimal feedback. Points, y up; durations in seconds.

#include <array>
#include <chrono>
#include <cstdint>

namespace murmo {

using HUDSeconds = std::chrono::duration<double>;

namespace HUDLayoutMetrics {
inline constexpr double compactHeight = 37;
inline constexpr double processingHeight = 37;
inline constexpr double expandedHeight = 53;
inline constexpr double maximumCornerRadius = 26.5;
inline constexpr double expandedPrimaryY = 31;
inline constexpr double expandedPrimaryHeight = 14;
inline constexpr double expandedSecondaryY = 6;
inline constexpr double expandedSecondaryHeight = 21;
inline constexpr double idleWidth = 136;
inline constexpr double listeningWidth = 82;
inline constexpr double agentListeningWidth = 82;
inline constexpr double processingWidth = 54;
inline constexpr double agentProcessingWidth = 76;
inline constexpr double shortcutWidth = 192;
inline constexpr double successWidth = 45;
inline constexpr double clipboardWidth = 252;
inline constexpr double errorWidth = 245;
inline constexpr double copyButtonWidth = 60;
// Between the capsule and the bottom of the screen's visible frame.
inline constexpr double screenEdgeInset = 20;
}  // namespace HUDLayoutMetrics

namespace HUDAnimationMetrics {
inline constexpr HUDSeconds morphDuration{0.22};
inline constexpr HUDSeconds contentOutDuration{0.08};
inline constexpr HUDSeconds contentInDuration{0.13};
inline constexpr double contentBlurRadius = 3.5;
}  // namespace HUDAnimationMetrics

namespace HUDMinimalFeedbackSpec {
inline constexpr int processingDotCount = 3;
inline constexpr double processingDotDiameter = 4;
inline constexpr double processingDotGap = 4;
inline constexpr HUDSeconds processingDotAnimationDuration{0.72};
inline constexpr HUDSeconds processingDotStagger{0.12};
inline constexpr float processingDotIdleOpacity = 0.34f;
inline constexpr std::array<float, 3> processingDotReducedMotionOpacities{0.48f, 1.0f, 0.48f};
inline constexpr std::uint32_t successCheckmarkRGB = 0xFFFFFF;
inline constexpr HUDSeconds successVisibleDuration{0.65};
}  // namespace HUDMinimalFeedbackSpec

namespace HUDReferenceSpec {
inline constexpr std::uint32_t surfaceRGB = 0x0A0A0A;
inline constexpr std::uint32_t contentRGB = 0xA0A0A0;
}  // namespace HUDReferenceSpec

namespace HUDChromeSpec {
inline constexpr std::uint32_t foregroundRGB = 0x8F8F93;
inline constexpr std::uint32_t secondaryForegroundRGB = 0x88888C;
}  // namespace HUDChromeSpec

}  // namespace murmo
