#include "input/hud/WaveformView.h"

#include <algorithm>

namespace murmo {

namespace {

constexpr Duration kQuietBeforeSilence = std::chrono::milliseconds(160);
constexpr Duration kSilenceStep = std::chrono::milliseconds(40);
constexpr double kRise = 0.55;
constexpr double kFall = 0.22;
constexpr double kSnapToZero = 0.002;

bool longerAgoThan(const std::optional<MonotonicTime>& then, MonotonicTime now, Duration span) {
    return !then || now - *then > span;
}

}  // namespace

std::shared_ptr<WaveformView> WaveformView::create(MainLoop& loop) {
    return std::shared_ptr<WaveformView>(new WaveformView(loop));
}

void WaveformView::clear() {
    history_.reset();
    displayed_.fill(0);
    lastLevelUpdate_.reset();
    lastSilenceShift_.reset();
}

void WaveformView::start() {
    clear();
    active_ = true;
    if (timer_) return;
    timer_.emplace(loop_.every(kTickInterval, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->tick();
    }));
}

void WaveformView::stop() {
    timer_.reset();
    active_ = false;
    clear();
    redraw();
}

void WaveformView::receive(double level) {
    if (!active_) return;
    history_.append(level);
    lastLevelUpdate_ = loop_.clock().now();
    redraw();
}

void WaveformView::tick() {
    if (!active_) return;
    const auto now = loop_.clock().now();
    if (longerAgoThan(lastLevelUpdate_, now, kQuietBeforeSilence) &&
        longerAgoThan(lastSilenceShift_, now, kSilenceStep)) {
        history_.append(0);
        lastSilenceShift_ = now;
    }
    for (std::size_t i = 0; i < displayed_.size(); ++i) {
        const double target = history_.values()[i];
        double& shown = displayed_[i];
        shown += (target - shown) * (shown < target ? kRise : kFall);
        if (shown < kSnapToZero) shown = 0;
    }
    redraw();
}

std::vector<WaveformView::Bar> WaveformView::barsFor(std::span<const double> displayed, double width, double height) {
    // The group is centred as 27.25 points wide (seven bars with a gap of
    // 2.5), while the bars stand at a pitch of 4: the first sits at 5 in a
    // 37.25-point view, as the listening capsule is laid out.
    constexpr double groupGap = 2.5;
    constexpr double groupWidth = kBarCount * kBarWidth + (kBarCount - 1) * groupGap;
    const double x0 = std::max((width - groupWidth) * 0.5, 0.0);
    std::vector<Bar> result;
    result.reserve(displayed.size());
    for (std::size_t i = 0; i < displayed.size(); ++i) {
        const double barHeight = AudioLevelHistory::sanitized(displayed[i]) * kBarHeightRange + kMinimumBarHeight;
        result.push_back(
            Bar{x0 + static_cast<double>(i) * kBarPitch, height / 2 - barHeight / 2, kBarWidth, barHeight});
    }
    return result;
}

}  // namespace murmo
