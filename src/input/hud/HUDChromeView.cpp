#include "input/hud/HUDChromeView.h"

#include <numbers>

namespace murmo {

namespace ring = HUDRainbowBorderSpec;

HUDChromeView::HUDChromeView()
    : palette_{.surfaceTopRGB = 0x0A0A0A,
               .surfaceMiddleRGB = 0x0A0A0A,
               .surfaceBottomRGB = 0x0A0A0A,
               .primaryTextRGB = 0x8F8F93,
               .secondaryTextRGB = 0x88888C,
               .accentRGB = 0x0A0A0A,
               .borderRGB = 0xE7E7E9,
               .buttonSurfaceRGB = 0x151517,
               .surfaceAlpha = 1.0,
               .borderAlpha = 0.52,
               .glowAlpha = 0} {
    container_.set(kOpacityPath, 0);
    gradient_.set(kRotationPath, 0);
}

void HUDChromeView::present(const HUDMode& mode, const HUDPaletteSpec& palette, bool reduceMotion, MonotonicTime now) {
    palette_ = palette;
    container_.set(kOpacityPath, mode.showsRainbowBorder() ? 1 : 0);
    if (ringShown() && !reduceMotion) {
        startRingMotion(now);
    } else {
        stopRingMotion();
    }
}

void HUDChromeView::startRingMotion(MonotonicTime now) {
    if (gradient_.has(kRotationKey)) return;
    gradient_.set(kRotationPath, ring::staticRotation);
    // Negative angles turn clockwise in y-up coordinates.
    gradient_.add(HUDAnimation::basic(kRotationKey, kRotationPath, ring::staticRotation,
                                      ring::staticRotation - 2 * std::numbers::pi, ring::rotationDuration,
                                      HUDTimingCurve::linear(), now, true));
}

void HUDChromeView::stopRingMotion() {
    gradient_.remove(kRotationKey);
    container_.remove(kImpulseKey);
    gradient_.set(kRotationPath, ring::staticRotation);
}

void HUDChromeView::impulse(bool reduceMotion, MonotonicTime now) {
    if (!ringShown() || reduceMotion) return;
    container_.add(HUDAnimation{kImpulseKey,
                                kOpacityPath,
                                {1, 0.72, 1},
                                {0, 0.45, 1},
                                kImpulseDuration,
                                HUDTimingCurve::easeInEaseOut(),
                                now,
                                false});
}

HUDProcessingDotsView::HUDProcessingDotsView() { rest(); }

void HUDProcessingDotsView::removeAnimations() {
    for (auto& dot : dots_) dot.remove(kPulseKey);
}

void HUDProcessingDotsView::rest() {
    for (auto& dot : dots_) dot.set(kOpacityPath, HUDMinimalFeedbackSpec::processingDotIdleOpacity);
}

void HUDProcessingDotsView::showStatic() {
    const auto& opacities = HUDMinimalFeedbackSpec::processingDotReducedMotionOpacities;
    for (std::size_t i = 0; i < dots_.size(); ++i) dots_[i].set(kOpacityPath, opacities[i]);
}

void HUDProcessingDotsView::start(bool reduceMotion, MonotonicTime now) {
    using namespace HUDMinimalFeedbackSpec;
    removeAnimations();
    if (reduceMotion) return showStatic();
    rest();
    for (std::size_t i = 0; i < dots_.size(); ++i) {
        const auto begin = now + std::chrono::duration_cast<Duration>(processingDotStagger * static_cast<double>(i));
        dots_[i].add(HUDAnimation{kPulseKey,
                                  kOpacityPath,
                                  {processingDotIdleOpacity, 1.0f, processingDotIdleOpacity},
                                  {0, 0.5, 1},
                                  processingDotAnimationDuration,
                                  HUDTimingCurve::easeInEaseOut(),
                                  begin,
                                  true});
    }
}

void HUDProcessingDotsView::stop() {
    removeAnimations();
    rest();
}

}  // namespace murmo
