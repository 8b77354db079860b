#include "input/hud/HUDContentHost.h"

#include <algorithm>

namespace murmo {

namespace {

using Kind = HUDMode::Kind;

bool isListening(Kind mode) { return mode == Kind::listening || mode == Kind::agentListening; }

HUDRect iconFrame(Kind mode, double width, double height, bool expanded) {
    const double middle = height / 2;
    if (isListening(mode)) return {15, middle - 6.5, 13, 13};
    if (mode == Kind::agentProcessing) return {13, middle - 6, 12, 12};
    if (mode == Kind::success) return {(width - 16) / 2, middle - 8, 16, 16};
    return {11, expanded ? height - 24 : middle - 6.5, 13, 13};
}

}  // namespace

void HUDContentHost::resetAccessories() {
    for (auto* view : {&icon, &primaryLabel, &secondaryLabel, &waveform, &processingDots, &copyButton,
                       &agentAnswerScroll, &agentConfirmationLabel, &agentConfirmButton, &agentCancelButton}) {
        view->hidden = true;
    }
    agentAnswerScroll.text.clear();
    agentConfirmationLabel.text.clear();
    agentAnswerShowsScroller = false;
}

void HUDContentHost::configureText(const HUDPresentationSpec& presentation) {
    primaryLabel.text = presentation.primaryText;
    primaryLabel.hidden = presentation.primaryText.empty();
    secondaryLabel.text =
        presentation.secondaryTextRole.dynamic ? std::string() : presentation.secondaryTextRole.staticText;
    secondaryLabel.hidden = secondaryLabel.text.empty();
}

void HUDContentHost::layout(Kind mode, double width, double height) {
    if (mode == Kind::agentAnswer) return;
    const double middle = height / 2;
    const bool expanded = height >= 52;
    const double textX = mode == Kind::clipboard ? 11 : 30;

    icon.frame = iconFrame(mode, width, height, expanded);
    if (isListening(mode)) {
        waveform.frame = {37, middle - 8, 30, 16};
    } else if (mode != Kind::success && mode != Kind::agentProcessing) {
        waveform.frame = {std::max(textX, width - 52), middle - 8, 42, 16};
    }
    processingDots.frame =
        mode == Kind::agentProcessing ? HUDRect{37, middle - 6, 20, 12} : HUDRect{(width - 20) / 2, middle - 6, 20, 12};
    copyButton.frame = {std::max(width - 69, 0.0), middle - 12, 60, 24};

    double trailingInset = 10;
    if (isListening(mode)) trailingInset = width - waveform.frame.x + 5;
    if (mode == Kind::clipboard) trailingInset = width - copyButton.frame.x + 7;
    const double textWidth = std::max(width - textX - trailingInset, 0.0);
    primaryLabel.frame = {textX, expanded ? 31 : middle - 7.5, textWidth, expanded ? 14.0 : 15.0};
    secondaryLabel.frame = {textX, expanded ? 6 : middle - 13, textWidth, expanded ? 21.0 : 11.0};
}

void HUDContentHost::applyPalette(const HUDPaletteSpec& palette) {
    primaryLabel.colorRGB = palette.primaryTextRGB;
    secondaryLabel.colorRGB = palette.secondaryTextRGB;
    icon.colorRGB = palette.accentRGB;
    processingDots.colorRGB = palette.accentRGB;
    waveform.colorRGB = palette.accentRGB;
    copyButton.colorRGB = palette.primaryTextRGB;
    copyButtonSurfaceRGB = palette.buttonSurfaceRGB;
    copyButtonSurfaceAlpha = palette.surfaceAlpha;
    copyButtonBorderRGB = palette.borderRGB;
    copyButtonBorderAlpha = palette.borderAlpha;
    agentAnswerScroll.colorRGB = palette.accentRGB;
    agentConfirmationLabel.colorRGB = palette.secondaryTextRGB;
    agentConfirmButton.colorRGB = palette.primaryTextRGB;
    agentCancelButton.colorRGB = palette.secondaryTextRGB;
}

}  // namespace murmo
