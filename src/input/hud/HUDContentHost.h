#pragma once

// Everything any HUD mode shows inside the capsule, as plain values: which
// views are visible, where they stand, their texts and colours. The
// controller keeps one and changes it as it animates between modes; a
// painter draws it. Points, y up, origin at the capsule's bottom left.

#include <cstdint>
#include <optional>
#include <string>

#include "input/hud/HUDMode.h"
#include "input/hud/HUDPalette.h"
#include "platform/HUDDisplayList.h"

namespace murmo {

// One view of the capsule.
struct HUDContentView {
    HUDRect frame;
    bool hidden = true;
    std::string text;
    // Text colour or tint, 0xRRGGBB.
    std::uint32_t colorRGB = 0;

    bool operator==(const HUDContentView&) const = default;
};

// The fixed looks of the views.
namespace HUDContentStyle {
inline constexpr HUDFont primaryFont{12.5, HUDFontWeight::medium};
inline constexpr HUDFont secondaryFont{9.5, HUDFontWeight::medium};
inline constexpr int secondaryMaximumLines = 2;
inline constexpr HUDFont copyButtonFont{10, HUDFontWeight::semibold};
inline constexpr double copyButtonCornerRadius = 12;
inline constexpr double copyButtonBorderWidth = 0.75;
inline constexpr HUDFont agentAnswerFont{13, HUDFontWeight::regular};
inline constexpr HUDFont agentConfirmationFont{10, HUDFontWeight::regular};
inline constexpr HUDFont agentButtonFont{10.5, HUDFontWeight::regular};
// Labels and the icon cast a small shadow below them.
inline constexpr double shadowOpacity = 0.5;
inline constexpr double shadowOffsetY = -1;
inline constexpr double shadowRadius = 2;
}  // namespace HUDContentStyle

struct HUDContentHost {
    HUDContentView icon;
    std::optional<std::string> iconSymbol;
    HUDContentView primaryLabel;
    HUDContentView secondaryLabel;
    HUDContentView waveform;
    HUDContentView processingDots;
    HUDContentView copyButton;
    HUDContentView agentAnswerScroll;
    HUDContentView agentConfirmationLabel;
    HUDContentView agentConfirmButton;
    HUDContentView agentCancelButton;
    // The Copy button's surface and border, with their alphas.
    std::uint32_t copyButtonSurfaceRGB = 0;
    double copyButtonSurfaceAlpha = 1;
    std::uint32_t copyButtonBorderRGB = 0;
    double copyButtonBorderAlpha = 0;
    // The answer's text view inside its scroll view, and whether the scroll
    // view shows its vertical scroller.
    HUDRect agentAnswerTextFrame;
    bool agentAnswerShowsScroller = false;

    // Hides every view and empties the answer and the confirmation.
    void resetAccessories();
    // The mode's texts: the primary line, and a static second line; hidden
    // when empty. A supplied second line stays empty and hidden.
    void configureText(const HUDPresentationSpec& presentation);
    // Places the views for `mode` in a capsule of this size (the size of a
    // morph's current frame). The agent answer is laid out by its panel.
    void layout(HUDMode::Kind mode, double width, double height);
    void applyPalette(const HUDPaletteSpec& palette);

    bool operator==(const HUDContentHost&) const = default;
};

}  // namespace murmo
