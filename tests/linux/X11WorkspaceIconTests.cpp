#include "platform/linux/EwmhWindowIcon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/CairoIconRenderer.h"
#include "platform/linux/X11WorkspaceIconTheme.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

// An image of `side` whose pixels all are `argb`.
std::vector<std::uint32_t> square(std::uint32_t side, std::uint32_t argb) {
    std::vector<std::uint32_t> cardinals{side, side};
    cardinals.insert(cardinals.end(), static_cast<std::size_t>(side) * side, argb);
    return cardinals;
}

std::vector<std::uint32_t> joined(std::initializer_list<std::vector<std::uint32_t>> parts) {
    std::vector<std::uint32_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(EwmhWindowIconTest, PicksTheClosestCompleteImageAndStopsAtAMalformedOne) {
    const auto small = square(2, 0xff102030);
    const auto large = square(4, 0x80405060);
    struct Case {
        std::string name;
        std::vector<std::uint32_t> cardinals;
        int preferred;
        std::optional<int> expectedSide;
    };
    const std::vector<Case> cases{
        {"closest of two", joined({small, large}), 4, 4},
        {"closest of two, other order", joined({large, small}), 1, 2},
        {"a tie goes to the larger", joined({small, large}), 3, 4},
        {"an image cut short is none", std::vector<std::uint32_t>(large.begin(), large.end() - 1), 4, std::nullopt},
        {"images before a cut one still count", joined({small, {4, 4, 1, 2}}), 4, 2},
        {"a zero size ends the list", joined({small, {0, 4}, large}), 4, 2},
        {"an absurd size ends the list", joined({small, {0xffffffff, 0xffffffff}}), 4, 2},
        {"a lone width is nothing", {16}, 16, std::nullopt},
        {"empty", {}, 16, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = EwmhWindowIcon::closestImage(c.cardinals, c.preferred);
        ASSERT_EQ(image.has_value(), c.expectedSide.has_value());
        if (!image) continue;
        EXPECT_EQ(image->width, *c.expectedSide);
        EXPECT_TRUE(image->isValid());
    }
}

TEST(EwmhWindowIconTest, ArgbCardinalsBecomeStraightRGBABytes) {
    const std::vector<std::uint32_t> cardinals{2, 1, 0x80ff4020, 0x00123456};
    const auto image = EwmhWindowIcon::closestImage(cardinals, 2);
    ASSERT_TRUE(image);
    // Alpha is straight: the colour of a half-transparent pixel is kept whole.
    EXPECT_EQ(image->rgba, (std::vector<std::uint8_t>{0xff, 0x40, 0x20, 0x80, 0x12, 0x34, 0x56, 0x00}));
}

TEST(X11WorkspaceIconThemeTest, AFileThatIsNoPNGIsNoIcon) {
    X11WorkspaceIconTheme theme;
    EXPECT_FALSE(theme.load("/etc/hostname", 32));
    EXPECT_FALSE(theme.load("/nonexistent/icon.png", 32));
    EXPECT_FALSE(theme.load("", 32));
    EXPECT_FALSE(theme.load("sub/folder", 32));
}

TEST(X11WorkspaceIconThemeTest, APNGWithTranslucentPixelsDecodesToStraightAlpha) {
    // The renderer writes squares.
    const PixelImage original{
        .width = 2,
        .height = 2,
        .rgba = {0xff, 0x40, 0x20, 0x80, 0x10, 0x20, 0x30, 0xff, 0xff, 0x40, 0x20, 0x80, 0x10, 0x20, 0x30, 0xff}};
    const auto png = CairoIconRenderer().renderPNG(original, 2);
    ASSERT_TRUE(png);
    testing::TemporaryDirectory folder;
    const auto file = folder.writeFile("icon.png", std::string(png->begin(), png->end()));

    const auto decoded = X11WorkspaceIconTheme::decodePNG(file);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->rgba.size(), original.rgba.size());
    // Cairo keeps premultiplied pixels; what comes back is straight again,
    // to within the rounding of one premultiplication.
    for (std::size_t i = 0; i < original.rgba.size(); ++i) {
        EXPECT_NEAR(decoded->rgba[i], original.rgba[i], 2) << "byte " << i;
    }
}

}  // namespace
}  // namespace murmo
