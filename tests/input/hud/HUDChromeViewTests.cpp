#include "input/hud/HUDChromeView.h"

#include <gtest/gtest.h>

#include <numbers>

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Kind = HUDMode::Kind;

MonotonicTime at(double seconds) { return MonotonicTime(std::chrono::duration_cast<Duration>(HUDSeconds(seconds))); }

const HUDPaletteSpec kPalette =
    HUDVisualPalette::resolved(HUDAppearance::dark, HUDSemanticRole::listening, false, false);

double rotation(const HUDChromeView& chrome, double seconds) {
    return chrome.gradient().presentation(HUDChromeView::kRotationPath, at(seconds));
}

TEST(HUDChromeViewTest, TheRingTurnsOnceAcrossModesAndHidesForIdle) {
    HUDChromeView chrome;
    EXPECT_FALSE(chrome.ringShown());
    chrome.present(HUDMode::of(Kind::listening), kPalette, false, at(0));
    EXPECT_TRUE(chrome.ringShown());
    EXPECT_NEAR(rotation(chrome, 1.25), HUDRainbowBorderSpec::staticRotation - std::numbers::pi / 2, 1e-9);
    chrome.present(HUDMode::of(Kind::processing), kPalette, false, at(2));
    EXPECT_NEAR(rotation(chrome, 3.75), HUDRainbowBorderSpec::staticRotation - 3 * std::numbers::pi / 2, 1e-9)
        << "one turn across two presents, never restarted";

    chrome.impulse(false, at(4));
    EXPECT_TRUE(chrome.container().has(HUDChromeView::kImpulseKey));
    chrome.present(HUDMode::idle(HUDIdleState::idle), kPalette, false, at(5));
    EXPECT_FALSE(chrome.ringShown());
    EXPECT_FALSE(chrome.gradient().has(HUDChromeView::kRotationKey));
    EXPECT_FALSE(chrome.container().has(HUDChromeView::kImpulseKey));
    chrome.impulse(false, at(6));
    EXPECT_FALSE(chrome.container().has(HUDChromeView::kImpulseKey)) << "no flash while the ring is hidden";
}

TEST(HUDChromeViewTest, ReducedMotionFreezesTheRingAndTheDots) {
    HUDChromeView chrome;
    chrome.present(HUDMode::of(Kind::error), kPalette, true, at(0));
    EXPECT_TRUE(chrome.ringShown());
    EXPECT_EQ(rotation(chrome, 3), HUDRainbowBorderSpec::staticRotation);
    chrome.impulse(true, at(1));
    EXPECT_FALSE(chrome.container().has(HUDChromeView::kImpulseKey));

    HUDProcessingDotsView dots;
    dots.start(true, at(0));
    std::vector<float> opacities;
    for (const auto& dot : dots.dots()) opacities.push_back(static_cast<float>(dot.presentation("opacity", at(1))));
    EXPECT_EQ(opacities, (std::vector<float>{0.48f, 1.0f, 0.48f}));
}

TEST(HUDChromeViewTest, DotsPulseLeftToRightAndRestWhenStopped) {
    HUDProcessingDotsView dots;
    dots.start(false, at(10));
    const auto& last = dots.dots()[2];
    EXPECT_FLOAT_EQ(static_cast<float>(last.presentation("opacity", at(10.1))), 0.34f) << "before its begin time";
    EXPECT_NEAR(last.presentation("opacity", at(10 + 0.24 + 0.36)), 1.0, 1e-6) << "half a period after";
    dots.stop();
    for (const auto& dot : dots.dots()) {
        EXPECT_FLOAT_EQ(static_cast<float>(dot.presentation("opacity", at(11))), 0.34f);
        EXPECT_TRUE(dot.animations().empty());
    }
}

}  // namespace
}  // namespace murmo
