#pragma once

// Animations as data: what a layer animates, from when, how long, along which
// timing curve, and what a key path shows at any moment. What the platform
// would decide is pinned here:
// - before its begin time an animation has no effect; a finished one is
//   removed and the model value shows; the newest animation on a key path
//   wins;
// - one timing curve warps a keyframe animation's whole duration, and values
//   run linearly between key times.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "input/hud/HUDMetrics.h"
#include "platform/HUDTimingCurve.h"
#include "runtime/Clock.h"

namespace murmo {

struct HUDAnimation {
    std::string key;
    std::string keyPath;
    std::vector<double> values;
    // One per value, from 0 to 1; empty: evenly spaced.
    std::vector<double> keyTimes;
    HUDSeconds duration{0};
    HUDTimingCurve curve = HUDTimingCurve::linear();
    MonotonicTime beginTime{};
    bool repeats = false;

    // A two-value animation from `from` to `to`.
    static HUDAnimation basic(std::string key, std::string keyPath, double from, double to, HUDSeconds duration,
                              HUDTimingCurve curve, MonotonicTime beginTime, bool repeats = false);

    bool hasBegun(MonotonicTime now) const { return now >= beginTime; }
    bool isFinished(MonotonicTime now) const;
    // The value at `now` while it runs; absent before it begins or once it
    // has finished.
    std::optional<double> valueAt(MonotonicTime now) const;
};

// A layer's model values and the animations on it.
class HUDLayer {
public:
    void set(const std::string& keyPath, double value) { model_[keyPath] = value; }
    double model(const std::string& keyPath, double fallback = 0) const;

    // Replaces an animation under the same key.
    void add(HUDAnimation animation);
    void remove(const std::string& key);
    void removeAll() { animations_.clear(); }
    bool has(const std::string& key) const;
    // Removes the animations that have finished by `now`.
    void prune(MonotonicTime now);

    // What the key path shows at `now`: the newest running animation on it,
    // else the model value.
    double presentation(const std::string& keyPath, MonotonicTime now, double fallback = 0) const;

    const std::vector<HUDAnimation>& animations() const { return animations_; }

private:
    std::map<std::string, double> model_;
    std::vector<HUDAnimation> animations_;  // oldest first
};

}  // namespace murmo
