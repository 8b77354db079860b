#include "input/hud/HUDAnimation.h"

#include <algorithm>
#include <cmath>

namespace murmo {

namespace {

double bezier(double a, double b, double s) {
    // The coordinate of a cubic Bézier with end points 0 and 1.
    const double u = 1 - s;
    return 3 * u * u * s * a + 3 * u * s * s * b + s * s * s;
}

double bezierSlope(double a, double b, double s) {
    const double u = 1 - s;
    return 3 * u * u * a + 6 * u * s * (b - a) + 3 * s * s * (1 - b);
}

}  // namespace

double HUDTimingCurve::progress(double t) const {
    t = std::clamp(t, 0.0, 1.0);
    // Solve x(s) = t: Newton's method from s = t, then bisection when it
    // strays (x is monotonic because both control x lie in 0...1).
    double s = t;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(x1, x2, s) - t;
        if (std::abs(error) < 1e-12) return bezier(y1, y2, s);
        const double slope = bezierSlope(x1, x2, s);
        if (std::abs(slope) < 1e-9) break;
        s -= error / slope;
        if (s < 0 || s > 1) break;
    }
    double low = 0;
    double high = 1;
    s = t;
    for (int i = 0; i < 64; ++i) {
        const double x = bezier(x1, x2, s);
        if (std::abs(x - t) < 1e-12) break;
        (x < t ? low : high) = s;
        s = (low + high) / 2;
    }
    return bezier(y1, y2, s);
}

HUDAnimation HUDAnimation::basic(std::string key, std::string keyPath, double from, double to, HUDSeconds duration,
                                 HUDTimingCurve curve, MonotonicTime beginTime, bool repeats) {
    return HUDAnimation{std::move(key), std::move(keyPath), {from, to}, {0, 1}, duration, curve, beginTime, repeats};
}

bool HUDAnimation::isFinished(MonotonicTime now) const {
    if (repeats) return false;
    return now >= beginTime + std::chrono::duration_cast<Duration>(duration);
}

std::optional<double> HUDAnimation::valueAt(MonotonicTime now) const {
    if (values.empty() || !hasBegun(now) || isFinished(now)) return std::nullopt;
    if (values.size() == 1 || duration.count() <= 0) return values.front();
    double elapsed = HUDSeconds(now - beginTime).count() / duration.count();
    if (repeats) elapsed -= std::floor(elapsed);
    const double warped = curve.progress(elapsed);
    const auto keyTime = [&](std::size_t i) {
        return keyTimes.size() == values.size() ? keyTimes[i] : static_cast<double>(i) / (values.size() - 1);
    };
    for (std::size_t i = 1; i < values.size(); ++i) {
        const double start = keyTime(i - 1);
        const double end = keyTime(i);
        if (warped <= end || i + 1 == values.size()) {
            const double span = end - start;
            const double fraction = span > 0 ? std::clamp((warped - start) / span, 0.0, 1.0) : 1.0;
            return values[i - 1] + (values[i] - values[i - 1]) * fraction;
        }
    }
    return values.back();
}

double HUDLayer::model(const std::string& keyPath, double fallback) const {
    const auto found = model_.find(keyPath);
    return found == model_.end() ? fallback : found->second;
}

void HUDLayer::add(HUDAnimation animation) {
    remove(animation.key);
    animations_.push_back(std::move(animation));
}

void HUDLayer::remove(const std::string& key) {
    std::erase_if(animations_, [&](const HUDAnimation& animation) { return animation.key == key; });
}

bool HUDLayer::has(const std::string& key) const {
    return std::ranges::any_of(animations_, [&](const HUDAnimation& animation) { return animation.key == key; });
}

void HUDLayer::prune(MonotonicTime now) {
    std::erase_if(animations_, [&](const HUDAnimation& animation) { return animation.isFinished(now); });
}

double HUDLayer::presentation(const std::string& keyPath, MonotonicTime now, double fallback) const {
    for (auto animation = animations_.rbegin(); animation != animations_.rend(); ++animation) {
        if (animation->keyPath != keyPath) continue;
        if (auto value = animation->valueAt(now)) return *value;
    }
    return model(keyPath, fallback);
}

}  // namespace murmo
