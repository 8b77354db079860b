#include "input/hud/HUDChromeGeometry.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

TEST(HUDChromeGeometryTest, CapsuleRadiusRingAndGradientSquare) {
    EXPECT_EQ(HUDCapsuleMask::cornerRadius(136, 37), 18.5);
    EXPECT_EQ(HUDCapsuleMask::cornerRadius(245, 53), 26.5);
    EXPECT_EQ(HUDCapsuleMask::cornerRadius(360, 255), 26.5);
    EXPECT_EQ(HUDCapsuleMask::cornerRadius(0, 0), 0);

    const struct { double borderAlpha, ring; } rows[] = {{0.72, 1.5}, {0.58, 1.0}, {0.52, 1.0}};
    for (const auto& row : rows) {
        const auto geometry = HUDChromeGeometry::of(136, 37, row.borderAlpha);
        EXPECT_EQ(geometry.ringWidth, row.ring) << row.borderAlpha;
        EXPECT_EQ(geometry.surface,
                  (HUDRoundedRect{{row.ring, row.ring, 136 - 2 * row.ring, 37 - 2 * row.ring}, 18.5 - row.ring}));
        EXPECT_EQ(geometry.ringOuter, (HUDRoundedRect{{0.35, 0.35, 135.3, 36.3}, 18.15}));
        EXPECT_DOUBLE_EQ(geometry.ringInner.cornerRadius, 18.5 - row.ring - 0.35);
    }
    EXPECT_EQ(HUDChromeGeometry::of(54, 37, 0.58).gradientSquare, (HUDRect{-6, -14.5, 66, 66}));
    EXPECT_EQ(HUDChromeGeometry::of(360, 255, 0.58).gradientSquare.width, 442);
}

TEST(HUDChromeGeometryTest, ThreeDotsCentredInTheirView) {
    const auto dots = HUDProcessingDots::dotFrames(20, 12);
    EXPECT_EQ(dots[0], (HUDRect{0, 4, 4, 4}));
    EXPECT_EQ(dots[1], (HUDRect{8, 4, 4, 4}));
    EXPECT_EQ(dots[2], (HUDRect{16, 4, 4, 4}));
}

}  // namespace
}  // namespace murmo
