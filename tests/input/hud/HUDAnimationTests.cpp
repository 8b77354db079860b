#include "input/hud/HUDAnimation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "input/hud/HUDChromeGeometry.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

MonotonicTime at(double seconds) { return MonotonicTime(std::chrono::duration_cast<Duration>(HUDSeconds(seconds))); }

TEST(HUDTimingCurveTest, CurvesMatchADenseSamplingOfTheirBezier) {
    for (const auto curve : {HUDTimingCurve::linear(), HUDTimingCurve::easeIn(), HUDTimingCurve::easeOut(),
                             HUDTimingCurve::easeInEaseOut(), HUDTimingCurve::morph()}) {
        // The curve drawn point by point, independently of the solver.
        std::vector<std::pair<double, double>> samples;
        constexpr int kSamples = 200'000;
        for (int i = 0; i <= kSamples; ++i) {
            const double s = static_cast<double>(i) / kSamples;
            const double u = 1 - s;
            samples.emplace_back(3 * u * u * s * curve.x1 + 3 * u * s * s * curve.x2 + s * s * s,
                                 3 * u * u * s * curve.y1 + 3 * u * s * s * curve.y2 + s * s * s);
        }
        for (double t = 0; t <= 1.0001; t += 0.05) {
            const auto nearest = std::ranges::min_element(
                samples, [t](const auto& a, const auto& b) { return std::abs(a.first - t) < std::abs(b.first - t); });
            EXPECT_NEAR(curve.progress(t), nearest->second, 2e-4) << curve.x1 << "," << curve.y1 << " at " << t;
        }
        EXPECT_EQ(curve.progress(-1), 0);
        EXPECT_NEAR(curve.progress(2), 1, 1e-12);
    }
}

TEST(HUDAnimationTest, BeginFinishAndTheNewestAnimationOnAKeyPath) {
    HUDLayer layer;
    layer.set("opacity", 0.2);
    layer.add(HUDAnimation::basic("fade", "opacity", 0, 1, HUDSeconds(1), HUDTimingCurve::linear(), at(10)));
    EXPECT_EQ(layer.presentation("opacity", at(9.5)), 0.2) << "before its begin time, the model value";
    EXPECT_DOUBLE_EQ(layer.presentation("opacity", at(10.25)), 0.25);
    layer.add(HUDAnimation::basic("flash", "opacity", 1, 0, HUDSeconds(1), HUDTimingCurve::linear(), at(10.5)));
    EXPECT_DOUBLE_EQ(layer.presentation("opacity", at(10.75)), 0.75) << "the newest wins";
    EXPECT_EQ(layer.presentation("opacity", at(12)), 0.2) << "finished: the model value shows";
    layer.prune(at(12));
    EXPECT_TRUE(layer.animations().empty());
}

TEST(HUDAnimationTest, TheDotsPulseAndTheRingTurns) {
    const auto begin = at(3) + std::chrono::milliseconds(120);
    HUDLayer dot;
    dot.set("opacity", HUDMinimalFeedbackSpec::processingDotIdleOpacity);
    dot.add(HUDAnimation{"murmo-processing-dot-pulse",
                         "opacity",
                         {0.34, 1.0, 0.34},
                         {0, 0.5, 1},
                         HUDMinimalFeedbackSpec::processingDotAnimationDuration,
                         HUDTimingCurve::easeInEaseOut(),
                         begin,
                         true});
    EXPECT_FLOAT_EQ(static_cast<float>(dot.presentation("opacity", at(3.05))), 0.34f);
    EXPECT_NEAR(dot.presentation("opacity", begin + std::chrono::milliseconds(360)), 1.0, 1e-9);
    EXPECT_NEAR(dot.presentation("opacity", begin + std::chrono::milliseconds(720 * 5 + 360)), 1.0, 1e-9);

    using namespace HUDRainbowBorderSpec;
    HUDLayer gradient;
    gradient.add(HUDAnimation::basic("murmo-rainbow-rotation", "transform.rotation.z", staticRotation,
                                     staticRotation - 2 * std::numbers::pi, rotationDuration, HUDTimingCurve::linear(),
                                     at(0), true));
    EXPECT_NEAR(gradient.presentation("transform.rotation.z", at(1.25)), staticRotation - std::numbers::pi / 2, 1e-9);
    EXPECT_NEAR(gradient.presentation("transform.rotation.z", at(6.25)), staticRotation - std::numbers::pi / 2, 1e-9);
}

}  // namespace
}  // namespace murmo
