#include "input/hud/HUDChromeGeometry.h"

#include <algorithm>
#include <cmath>

namespace murmo {

namespace {

HUDRect inset(double width, double height, double by) {
    return HUDRect{by, by, std::max(width - 2 * by, 0.0), std::max(height - 2 * by, 0.0)};
}

}  // namespace

double HUDCapsuleMask::cornerRadius(double width, double height) {
    return std::min(std::max(std::min(width, height) * 0.5, 0.0), HUDLayoutMetrics::maximumCornerRadius);
}

HUDChromeGeometry HUDChromeGeometry::of(double width, double height, double borderAlpha) {
    using namespace HUDRainbowBorderSpec;
    constexpr double ringEdgeInset = 0.35;
    HUDChromeGeometry geometry;
    geometry.cornerRadius = std::min(height * 0.5, HUDLayoutMetrics::maximumCornerRadius);
    const double r = geometry.cornerRadius;
    const double w = borderAlpha >= wideRingBorderAlpha ? increasedContrastLineWidth : lineWidth;
    geometry.ringWidth = w;
    geometry.surface = {inset(width, height, w), std::max(r - w, 0.0)};
    geometry.ringOuter = {inset(width, height, ringEdgeInset), std::max(r - ringEdgeInset, 0.0)};
    geometry.ringInner = {inset(width, height, w + ringEdgeInset), std::max(r - w - ringEdgeInset, 0.0)};
    const double side = std::ceil(std::hypot(width, height));
    geometry.gradientSquare = {(width - side) / 2, (height - side) / 2, side, side};
    return geometry;
}

std::array<HUDRect, HUDMinimalFeedbackSpec::processingDotCount> HUDProcessingDots::dotFrames(double width,
                                                                                             double height) {
    using namespace HUDMinimalFeedbackSpec;
    constexpr int count = processingDotCount;
    constexpr double groupWidth = count * processingDotDiameter + (count - 1) * processingDotGap;
    const double x0 = (width - groupWidth) * 0.5;
    std::array<HUDRect, count> frames{};
    for (int i = 0; i < count; ++i) {
        frames[static_cast<std::size_t>(i)] =
            HUDRect{x0 + i * (processingDotDiameter + processingDotGap), (height - processingDotDiameter) * 0.5,
                    processingDotDiameter, processingDotDiameter};
    }
    return frames;
}

}  // namespace murmo
