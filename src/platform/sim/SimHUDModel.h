#pragma once

// The part of the simulated desktop the HUD sees: screens, the pointer, the
// HUD's panel with its running animations, the system's appearance and
// display options, and a timed log of what the HUD asked of its surface.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/HUDSurface.h"

namespace murmo {

// One property's animation: from the value presented when it started to the
// model value.
template <class Value>
struct SimHUDTrack {
    Value from{};
    MonotonicTime begin{};
    Duration duration{0};
    HUDTimingCurve curve = HUDTimingCurve::linear();

    // The fraction of the way to the model value at `now`; 1 once done.
    double progress(MonotonicTime now) const {
        if (duration <= Duration::zero() || now >= begin + duration) return 1;
        if (now <= begin) return 0;
        return curve.progress(std::chrono::duration<double>(now - begin) / duration);
    }
};

struct SimHUDPanel {
    // Model values: where the panel ends once its animations are done.
    HUDRect frame{};
    double alpha = 1;
    bool visible = false;
    bool clickThrough = false;
    HUDPanelAppearance appearance = HUDPanelAppearance::system;
    std::optional<SimHUDTrack<HUDRect>> frameAnimation{};
    std::optional<SimHUDTrack<double>> alphaAnimation{};
    // The pointer is over the panel, as last told.
    bool hovered = false;
};

struct SimHUDLogEntry {
    MonotonicTime at{};
    // "frame 679 20 82 37", "alpha 0", "animate frame 679 20 82 37 alpha 1
    // 0.18s", "front", "out", "click-through on", "appearance dark",
    // "announce <text>".
    std::string event;
};

struct SimHUDModel {
    std::vector<HUDScreen> screens{{{0, 0, 1440, 900}, {0, 0, 1440, 875}}};
    std::optional<std::size_t> mainScreen = 0;
    HUDPoint pointer{720, 450};
    SimHUDPanel panel{};
    bool systemDark = false;
    HUDDisplayOptions displayOptions{};
    bool announcementsAvailable = true;
    bool mouseMonitorAvailable = true;
    std::vector<SimHUDLogEntry> log{};
};

}  // namespace murmo
