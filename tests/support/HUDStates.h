#pragma once

#include <vector>

#include "input/hud/HUDRestingState.h"

namespace murmo::testing {

inline MonotonicTime hudTime(double seconds) {
    return MonotonicTime(std::chrono::duration_cast<Duration>(HUDSeconds(seconds)));
}

// One mode at rest in English, dark, presented at time 0.
inline HUDState hudStateFor(HUDMode mode, std::vector<double> levels = std::vector<double>(7, 0)) {
    HUDRestingOptions options;
    options.levels = std::move(levels);
    return restingHUDState(mode, options);
}

}  // namespace murmo::testing
