#include "input/hud/HUDContentHost.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

using Kind = HUDMode::Kind;

HUDContentHost laidOut(Kind mode) {
    HUDContentHost host;
    const auto presentation =
        HUDMode::of(mode).presentation(NativeAppLanguage::english, std::vector<std::string>{"en"});
    host.layout(mode, presentation.width, presentation.height);
    return host;
}

TEST(HUDContentHostTest, EachModesLayout) {
    EXPECT_EQ(laidOut(Kind::success).icon.frame, (HUDRect{14.5, 10.5, 16, 16}));

    const auto clipboard = laidOut(Kind::clipboard);
    EXPECT_EQ(clipboard.copyButton.frame, (HUDRect{183, 6.5, 60, 24}));
    EXPECT_EQ(clipboard.primaryLabel.frame, (HUDRect{11, 11, 165, 15}));

    const auto error = laidOut(Kind::error);
    EXPECT_EQ(error.icon.frame, (HUDRect{11, 29, 13, 13}));
    EXPECT_EQ(error.primaryLabel.frame, (HUDRect{30, 31, 205, 14}));
    EXPECT_EQ(error.secondaryLabel.frame, (HUDRect{30, 6, 205, 21}));

    for (auto mode : {Kind::listening, Kind::agentListening}) {
        const auto listening = laidOut(mode);
        EXPECT_EQ(listening.icon.frame, (HUDRect{15, 12, 13, 13}));
        EXPECT_EQ(listening.waveform.frame, (HUDRect{37, 10.5, 30, 16}));
    }

    EXPECT_EQ(laidOut(Kind::processing).processingDots.frame, (HUDRect{17, 12.5, 20, 12}));
    const auto agentProcessing = laidOut(Kind::agentProcessing);
    EXPECT_EQ(agentProcessing.icon.frame, (HUDRect{13, 12.5, 12, 12}));
    EXPECT_EQ(agentProcessing.processingDots.frame, (HUDRect{37, 12.5, 20, 12}));

    HUDContentHost tiny;
    tiny.layout(Kind::clipboard, 30, 37);
    EXPECT_EQ(tiny.copyButton.frame.x, 0) << "a morph's small frame never puts a view at a negative place";
    EXPECT_EQ(tiny.primaryLabel.frame.width, 0);
}

TEST(HUDContentHostTest, TextsAndColours) {
    HUDContentHost host;
    host.agentAnswerScroll.text = "an old answer";
    host.primaryLabel.hidden = false;
    host.resetAccessories();
    EXPECT_TRUE(host.primaryLabel.hidden);
    EXPECT_TRUE(host.agentAnswerScroll.text.empty());

    const std::vector<std::string> english{"en"};
    host.configureText(HUDMode::of(Kind::error).presentation(NativeAppLanguage::english, english));
    EXPECT_EQ(host.primaryLabel.text, "Dorvex couldn’t complete this");
    EXPECT_EQ(host.secondaryLabel.text, "Check settings and try again");
    EXPECT_FALSE(host.secondaryLabel.hidden);
    host.configureText(HUDMode::of(Kind::agentAnswer).presentation(NativeAppLanguage::english, english));
    EXPECT_TRUE(host.primaryLabel.hidden);
    EXPECT_TRUE(host.secondaryLabel.hidden) << "a supplied second line stays empty";

    host.applyPalette(HUDVisualPalette::resolved(HUDAppearance::dark, HUDSemanticRole::warning, true, false));
    EXPECT_EQ(host.primaryLabel.colorRGB, 0xE7E7EAu);
    EXPECT_EQ(host.icon.colorRGB, 0xD7B06Bu);
    EXPECT_EQ(host.waveform.colorRGB, 0xD7B06Bu);
    EXPECT_EQ(host.agentCancelButton.colorRGB, 0xBDBDC2u);
    EXPECT_EQ(host.copyButtonBorderAlpha, 0.72);
    EXPECT_EQ(host.copyButtonSurfaceRGB, 0x151517u);
}

}  // namespace
}  // namespace murmo
