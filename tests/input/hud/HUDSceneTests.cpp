#include "input/hud/HUDScene.h"
#include "support/HUDStates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace murmo {
namespace {

using Kind = HUDMode::Kind;
using namespace hud_scene;

using testing::hudStateFor;

MonotonicTime at(double seconds) { return testing::hudTime(seconds); }

HUDState listening(std::vector<double> levels) { return hudStateFor(HUDMode::of(Kind::listening), std::move(levels)); }

template <class Item>
std::vector<Item> itemsOf(const HUDDisplayList& list) {
    std::vector<Item> found;
    for (const auto& item : list.items) {
        if (const auto* typed = std::get_if<Item>(&item)) found.push_back(*typed);
    }
    return found;
}

TEST(HUDSceneTest, TheListeningCapsuleAsADisplayList) {
    const auto list = sceneAt(listening({0, 0, 0, 0, 0, 0.5, 1}), at(1.25));
    EXPECT_EQ(list.width, 82);
    EXPECT_EQ(list.cornerRadius, 18.5);
    const auto surfaces = itemsOf<RoundedRect>(list);
    ASSERT_EQ(surfaces.size(), 1u);
    EXPECT_EQ(surfaces[0].rect, (HUDRect{1, 1, 80, 35}));
    EXPECT_EQ(surfaces[0].rgb, 0x0A0A0Au);

    const auto icons = itemsOf<Icon>(list);
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].symbol, "mic.fill");
    EXPECT_EQ(icons[0].rect, (HUDRect{15, 12, 13, 13}));

    const auto bars = itemsOf<Bar>(list);
    ASSERT_EQ(bars.size(), 7u);
    EXPECT_EQ(bars[0].rect.height, 2);
    EXPECT_EQ(bars[6].rect.height, 11);
    EXPECT_EQ(bars[0].rect.x, 37 + 1.375) << "the group centred in the 30-point waveform";
    EXPECT_EQ(bars[0].rgb, 0xA0A0A0u);

    const auto rings = itemsOf<Ring>(list);
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_NEAR(rings[0].rotation, HUDRainbowBorderSpec::staticRotation - std::numbers::pi / 2, 1e-9);
    EXPECT_TRUE(std::holds_alternative<Ring>(list.items.back())) << "the ring is drawn over everything";
}

TEST(HUDSceneTest, NaNLevelsDrawExactlyAsSilenceAndTheListSerialises) {
    const auto silent = sceneAt(listening(std::vector<double>(7, 0)), at(1));
    const auto odd = sceneAt(listening(std::vector<double>(7, std::nan(""))), at(1));
    EXPECT_EQ(silent.toJSON(), odd.toJSON());
    const auto text = json::dump(odd.toJSON());
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\"type\":\"bar\""), std::string::npos);

    auto idle = listening({});
    idle.chrome.present(HUDMode::idle(HUDIdleState::idle), idle.chrome.palette(), false, at(0));
    EXPECT_TRUE(itemsOf<Ring>(sceneAt(idle, at(1))).empty()) << "no ring for the idle capsule";
}

}  // namespace
}  // namespace murmo
