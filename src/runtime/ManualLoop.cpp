#include "runtime/ManualLoop.h"

#include <algorithm>

namespace murmo {

namespace {
// A fixed wall-clock origin keeps virtual wall time reproducible.
constexpr auto kWallOrigin = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};
constexpr Duration kPumpSlice = std::chrono::milliseconds(1);
}  // namespace

WallTime ManualLoop::VirtualClock::wallTime() const {
    const Duration shift(wallShift_.load(std::memory_order_acquire));
    return WallTime(std::chrono::duration_cast<WallTime::duration>(kWallOrigin.time_since_epoch() +
                                                                   now().time_since_epoch() + shift));
}

void ManualLoop::VirtualClock::moveTo(MonotonicTime time) {
    auto current = now_.load(std::memory_order_acquire);
    while (current < time && !now_.compare_exchange_weak(current, time, std::memory_order_acq_rel)) {
    }
}

void ManualLoop::VirtualClock::moveBy(Duration delta) {
    delta = std::max(delta, Duration::zero());
    auto current = now_.load(std::memory_order_acquire);
    while (!now_.compare_exchange_weak(current, saturatingAdd(current, delta), std::memory_order_acq_rel)) {
    }
}

void ManualLoop::runUntilIdle() {
    for (;;) {
        const bool watchRan = waitAndRunWatches(Duration::zero());
        while (runOnePost()) {
        }
        if (timers().fireOneDue(now()) || watchRan) continue;
        if (!hasPosts()) return;
    }
}

void ManualLoop::advanceTo(MonotonicTime target) {
    for (;;) {
        runUntilIdle();
        auto next = timers().nextDue();
        if (!next || *next > target) break;
        clock_.moveTo(*next);
        timers().fireOneDue(now());
    }
    clock_.moveTo(target);
    runUntilIdle();
}

void ManualLoop::advance(Duration delta) { advanceTo(saturatingAdd(now(), std::max(delta, Duration::zero()))); }

void ManualLoop::advanceClockOnly(Duration delta) { clock_.moveBy(delta); }

bool ManualLoop::pumpUntil(const std::function<bool()>& predicate, Duration realTimeout) {
    const auto realStart = std::chrono::steady_clock::now();
    const auto realDeadline = realStart + realTimeout;
    const auto virtualStart = now();
    for (;;) {
        const auto realNow = std::chrono::steady_clock::now();
        advanceTo(virtualStart + std::chrono::duration_cast<Duration>(realNow - realStart));
        if (predicate()) return true;
        if (realNow >= realDeadline) return false;
        waitAndRunWatches(kPumpSlice);
    }
}

}  // namespace murmo
