#pragma once

// The HUD at one moment as a display list: what a painter draws, in order,
// in the capsule's own coordinates (points, y up). `sceneAt` reads every
// animation at that moment, so a film strip is a list of moments.

#include <vector>

#include "input/hud/HUDChromeView.h"
#include "input/hud/HUDContentHost.h"
#include "input/hud/HUDMode.h"
#include "platform/HUDDisplayList.h"

namespace murmo {

// Everything that decides what the HUD shows.
struct HUDState {
    // The panel: "width", "height" and "alpha", with their animations.
    HUDLayer panel;
    HUDMode mode = HUDMode::idle(HUDIdleState::idle);
    HUDContentHost content;
    // The content group: "opacity", "scale" and "blur", with their animations.
    HUDLayer contentGroup;
    HUDChromeView chrome;
    HUDProcessingDotsView dots;
    // The waveform's bars as drawn, 0...1 each.
    std::vector<double> barLevels;
    double answerScrollOffset = 0;
};

HUDDisplayList sceneAt(const HUDState& state, MonotonicTime now);

}  // namespace murmo
