#include "input/hud/HUDAnimation.h"

#include <algorithm>
#include <cmath>

namespace murmo {

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
