#include "input/hud/AgentResponsePolicies.h"
#include "platform/linux/CairoHUDPainter.h"
#include "platform/linux/PangoTextMeasure.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/HUDStates.h"

namespace murmo {
namespace {

using Kind = HUDMode::Kind;
using testing::hudStateFor;
using testing::hudTime;

// Unpremultiplied channels of a pixel.
struct RGBA {
    int red, green, blue, alpha;
};

RGBA rgba(std::uint32_t pixel) {
    const int alpha = static_cast<int>(pixel >> 24);
    const auto unmultiply = [alpha](std::uint32_t value) {
        return alpha == 0 ? 0 : static_cast<int>(std::lround(value * 255.0 / alpha));
    };
    return {unmultiply((pixel >> 16) & 0xFF), unmultiply((pixel >> 8) & 0xFF), unmultiply(pixel & 0xFF), alpha};
}

bool isSaturated(std::uint32_t pixel) {
    const auto c = rgba(pixel);
    return c.alpha > 40 && std::max({c.red, c.green, c.blue}) - std::min({c.red, c.green, c.blue}) > 60;
}

HUDImage paint(const HUDState& state, int scale, double seconds = 1.0) {
    return CairoHUDPainter().paint(sceneAt(state, hudTime(seconds)), scale);
}

const HUDMode kTransientModes[] = {HUDMode::of(Kind::listening),  HUDMode::of(Kind::agentListening),
                                   HUDMode::of(Kind::processing), HUDMode::of(Kind::agentProcessing),
                                   HUDMode::of(Kind::shortcut),   HUDMode::of(Kind::success),
                                   HUDMode::of(Kind::clipboard),  HUDMode::of(Kind::error)};

TEST(CairoHUDPainterTest, TheTextIsInThePinnedFamily) {
    ASSERT_EQ(CairoHUDPainter::resolvedFontFamily(), CairoHUDPainter::kFontFamily)
        << "fontconfig substituted another family: install the fonts-inter package";
}

TEST(CairoHUDPainterTest, SurfaceCornersAndTheRingBand) {
    for (const int scale : {1, 2}) {
        for (const auto& mode : kTransientModes) {
            SCOPED_TRACE(std::to_string(scale) + "x mode " + std::to_string(static_cast<int>(mode.kind())));
            const auto image = paint(hudStateFor(mode), scale);
            EXPECT_EQ(image.at(0, 0) >> 24, 0u) << "corners are transparent";
            EXPECT_EQ(image.at(image.width - 1, image.height - 1) >> 24, 0u);
            // Saturated colour lies in the outer 1.5-point band.
            int saturated = 0;
            const int band = static_cast<int>(std::ceil(1.5 * scale));
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    const bool inBand = x < band || y < band || x >= image.width - band || y >= image.height - band;
                    if (inBand && isSaturated(image.at(x, y))) ++saturated;
                }
            }
            EXPECT_GT(saturated, 0);
        }
        for (auto state : {HUDIdleState::idle, HUDIdleState::paused}) {
            const auto image = paint(hudStateFor(HUDMode::idle(state)), scale);
            const int band = static_cast<int>(std::ceil(1.5 * scale));
            for (int x = 0; x < image.width; ++x) {
                EXPECT_FALSE(isSaturated(image.at(x, band - 1))) << "no ring for the idle capsule, x " << x;
            }
        }
    }
}

TEST(CairoHUDPainterTest, TheSurfaceIsOpaqueNearBlackWhereNoContentCoversIt) {
    for (const int scale : {1, 2}) {
        // The processing capsule's dots sit at the centre; its sides are bare.
        const auto image = paint(hudStateFor(HUDMode::of(Kind::processing)), scale);
        const auto pixel = image.at(8 * scale, image.height / 2);
        EXPECT_EQ(pixel, 0xFF0A0A0Au) << std::hex << pixel;
    }
}

TEST(CairoHUDPainterTest, BarsSuccessCheckAndErrorIcon) {
    // A column through a bar, at scale 2: count the lit pixels.
    const auto image = paint(hudStateFor(HUDMode::of(Kind::listening), {0, 0, 0, 0, 0, 0, 1}), 2);
    const auto litRows = [&image](double pointX) {
        int lit = 0;
        const int x = static_cast<int>(std::floor(pointX * 2)) + 1;
        // Inside the ring's band only.
        for (int y = 4; y < image.height - 4; ++y) lit += rgba(image.at(x, y)).red > 60;
        return lit;
    };
    const double firstBar = 37 + 1.375;
    EXPECT_NEAR(litRows(firstBar), 2 * 2, 1) << "silence: 2 points";
    EXPECT_NEAR(litRows(firstBar + 24), 11 * 2, 1) << "full level: 11 points";

    const auto success = paint(hudStateFor(HUDMode::of(Kind::success)), 2);
    int white = 0;
    for (const auto pixel : success.pixels) white += pixel == 0xFFFFFFFFu;
    EXPECT_GT(white, 10) << "the white checkmark";

    const auto error = paint(hudStateFor(HUDMode::of(Kind::error)), 2);
    int iconColour = 0;
    for (int y = 0; y < 24 * 2; ++y) {
        for (int x = 11 * 2; x < 24 * 2; ++x) iconColour += error.at(x, y) == 0xFFE77A82u;
    }
    EXPECT_GT(iconColour, 10) << "the error icon in 0xE77A82";
}

TEST(CairoHUDPainterTest, NaNLevelsDrawExactlyAsSilence) {
    const auto silent = paint(hudStateFor(HUDMode::of(Kind::listening), std::vector<double>(7, 0)), 1);
    const auto odd = paint(hudStateFor(HUDMode::of(Kind::listening), std::vector<double>(7, std::nan(""))), 1);
    EXPECT_EQ(silent.pixels, odd.pixels);
}

TEST(CairoHUDPainterTest, TextThatIsNotUtf8IsDrawn) {
    auto state = hudStateFor(HUDMode::of(Kind::clipboard));
    state.content.primaryLabel.text = "bad \xFF\xFE bytes";
    const auto image = paint(state, 1);
    EXPECT_EQ(image.width, 252);
}

// A square list on a white ground, for items drawn by hand.
HUDDisplayList whiteGround(std::vector<HUDDisplayItem> items) {
    HUDDisplayList list;
    list.width = 40;
    list.height = 40;
    list.items.push_back(hud_scene::RoundedRect{{0, 0, 40, 40}, 0, 0xFFFFFF, 1});
    list.items.insert(list.items.end(), items.begin(), items.end());
    return list;
}

TEST(CairoHUDPainterTest, IconsAndLabelsCastTheirShadowBelowThem) {
    // A white pause symbol on white: only its shadow shows. Its bars end
    // 23.4 points from the top; the shadow falls one point lower.
    const HUDRect iconRect{10, 15, 20, 20};
    const hud_scene::Shadow shadow{0.5, -1, 2};
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(std::to_string(scale) + "x");
        const auto below = [scale](const HUDImage& image) {
            return rgba(image.at(16 * scale, static_cast<int>(24.5 * scale))).red;
        };
        const auto above = [scale](const HUDImage& image) {
            return rgba(image.at(16 * scale, static_cast<int>(4 * scale))).red;
        };
        const auto shaded =
            CairoHUDPainter().paint(whiteGround({hud_scene::Icon{"pause.fill", iconRect, 0xFFFFFF, shadow}}), scale);
        const auto plain =
            CairoHUDPainter().paint(whiteGround({hud_scene::Icon{"pause.fill", iconRect, 0xFFFFFF, {}}}), scale);
        EXPECT_LT(below(shaded), 235);
        EXPECT_LT(below(shaded), above(shaded)) << "the shadow is cast downwards";
        EXPECT_EQ(below(plain), 255);

        hud_scene::Text label{"Copied", {4, 12, 32, 16}, {12.5, TextWeight::medium}, 0xFFFFFF, 1, shadow};
        const auto text = CairoHUDPainter().paint(whiteGround({label}), scale);
        int darkened = 0;
        for (const auto pixel : text.pixels) darkened += rgba(pixel).red < 250;
        EXPECT_GT(darkened, 10) << "white text on white shows by its shadow";
    }
}

TEST(CairoHUDPainterTest, ABlurredGroupStaysInPlaceAtEveryScale) {
    // White on the left half, blurred: the middle of each half keeps its side.
    HUDDisplayList list;
    list.width = 40;
    list.height = 20;
    list.items = {hud_scene::RoundedRect{{0, 0, 40, 20}, 0, 0x000000, 1}, hud_scene::BeginGroup{1, 1, 3.5},
                  hud_scene::RoundedRect{{0, 0, 20, 20}, 0, 0xFFFFFF, 1}, hud_scene::EndGroup{}};
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(std::to_string(scale) + "x");
        const auto image = CairoHUDPainter().paint(list, scale);
        EXPECT_GT(rgba(image.at(10 * scale, 10 * scale)).red, 200);
        EXPECT_LT(rgba(image.at(30 * scale, 10 * scale)).red, 40);
        EXPECT_GT(rgba(image.at(19 * scale, 10 * scale)).red, 60) << "the edge is soft";
        EXPECT_LT(rgba(image.at(19 * scale, 10 * scale)).red, 240);
    }
}

TEST(PangoTextMeasureTest, OneLineFitsTheSmallestPanelAndLongTextWrapsWithinItsColumn) {
    PangoTextMeasure measure;
    const auto line = measure.measure("Yes, at noon.", 13, TextWeight::regular, 324, 10'000);
    EXPECT_GT(line.height, 12);
    EXPECT_LT(line.height, 20);
    EXPECT_EQ(AgentResponseLayoutPolicy::panelHeight(std::ceil(line.height) + 1, false, false), 45);

    const std::string paragraph(600, 'w');
    const auto wrapped = measure.measure(paragraph, 13, TextWeight::regular, 324, 10'000);
    EXPECT_LE(wrapped.width, 324);
    EXPECT_GT(wrapped.height, 4 * line.height);
    EXPECT_EQ(measure.measure(paragraph, 13, TextWeight::regular, 324, 40).height, 40) << "bounded by the box";
}

}  // namespace
}  // namespace murmo
