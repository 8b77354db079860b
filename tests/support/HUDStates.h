#pragma once

// A HUD state showing one mode at rest, as the controller would leave it:
// the panel at the mode's size, its views configured, laid out and coloured,
// the chrome presented at time 0.

#include <string>
#include <vector>

#include "input/hud/HUDScene.h"
#include "services/NativeStringCatalog.h"

namespace murmo::testing {

inline MonotonicTime hudTime(double seconds) {
    return MonotonicTime(std::chrono::duration_cast<Duration>(HUDSeconds(seconds)));
}

inline HUDState hudStateFor(HUDMode mode, std::vector<double> levels = std::vector<double>(7, 0),
                            bool increasedContrast = false, bool reduceMotion = false) {
    HUDState state;
    state.mode = mode;
    const auto spec = mode.presentation(NativeAppLanguage::english, std::vector<std::string>{"en"});
    state.panel.set("width", spec.width);
    state.panel.set("height", spec.height);
    state.panel.set("alpha", 1);
    auto& content = state.content;
    content.resetAccessories();
    content.configureText(spec);
    content.iconSymbol = spec.iconSymbol;
    content.icon.hidden = !spec.iconSymbol;
    content.waveform.hidden = !spec.showsWaveform;
    content.processingDots.hidden = !spec.showsProcessingDots;
    content.copyButton.hidden = !spec.showsCopyButton;
    content.copyButton.text = NativeLocalizedStrings(NativeAppLanguage::english).hudCopy();
    content.layout(mode.kind(), spec.width, spec.height);
    const auto palette = HUDVisualPalette::resolved(HUDAppearance::dark, spec.semanticRole, increasedContrast, false);
    content.applyPalette(palette);
    state.chrome.present(mode, palette, reduceMotion, hudTime(0));
    if (spec.showsProcessingDots) state.dots.start(reduceMotion, hudTime(0));
    state.barLevels = std::move(levels);
    return state;
}

}  // namespace murmo::testing
