#pragma once

// The timing curves the HUD animates along, shared by the HUD model and the
// surface that animates its panel.

namespace murmo {

// A cubic Bézier from (0, 0) to (1, 1) through two control points.
struct HUDTimingCurve {
    double x1 = 0;
    double y1 = 0;
    double x2 = 1;
    double y2 = 1;

    static constexpr HUDTimingCurve linear() { return {0, 0, 1, 1}; }
    static constexpr HUDTimingCurve easeIn() { return {0.42, 0, 1, 1}; }
    static constexpr HUDTimingCurve easeOut() { return {0, 0, 0.58, 1}; }
    static constexpr HUDTimingCurve easeInEaseOut() { return {0.42, 0, 0.58, 1}; }
    // The panel's morph between modes.
    static constexpr HUDTimingCurve morph() { return {0.22, 1.0, 0.36, 1.0}; }

    // The curve's progress at time fraction `t` (clamped to 0...1).
    double progress(double t) const;
    bool operator==(const HUDTimingCurve&) const = default;
};

}  // namespace murmo
