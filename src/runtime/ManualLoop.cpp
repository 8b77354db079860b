#include "runtime/ManualLoop.h"

#include <algorithm>

namespace murmo {

namespace {
// A fixed wall-clock origin keeps virtual wall time reproducible.
constexpr auto kWallOrigin = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};
constexpr Duration kPumpSlice = std::chrono::milliseconds(1);
}  // namespace

WallTime ManualLoop::VirtualClock::wallTime() const {
    return WallTime(std::chrono::duration_cast<WallTime::duration>(kWallOrigin.time_since_epoch() +
                                                                   Duration(uptimeNanoseconds())));
}

void ManualLoop::runUntilIdle() {
    for (;;) {
        const bool watchRan = waitAndRunWatches(Duration::zero());
        while (runOnePost()) {
        }
        if (timers().fireOneDue(nowNanoseconds()) || watchRan) continue;
        if (!hasPosts()) return;
    }
}

void ManualLoop::advanceTo(std::uint64_t target) {
    for (;;) {
        runUntilIdle();
        auto next = timers().nextDue();
        if (!next || *next > target) break;
        clock_.now.store(std::max(*next, nowNanoseconds()), std::memory_order_release);
        timers().fireOneDue(nowNanoseconds());
    }
    clock_.now.store(std::max(target, nowNanoseconds()), std::memory_order_release);
    runUntilIdle();
}

void ManualLoop::advance(Duration delta) {
    advanceTo(nowNanoseconds() + static_cast<std::uint64_t>(std::max<Duration::rep>(delta.count(), 0)));
}

void ManualLoop::advanceClockOnly(Duration delta) {
    clock_.now.fetch_add(static_cast<std::uint64_t>(std::max<Duration::rep>(delta.count(), 0)),
                         std::memory_order_acq_rel);
}

bool ManualLoop::pumpUntil(const std::function<bool()>& predicate, Duration realTimeout) {
    const auto realStart = std::chrono::steady_clock::now();
    const auto realDeadline = realStart + realTimeout;
    const auto virtualStart = nowNanoseconds();
    for (;;) {
        const auto realNow = std::chrono::steady_clock::now();
        const auto elapsed = std::chrono::duration_cast<Duration>(realNow - realStart);
        advanceTo(virtualStart + static_cast<std::uint64_t>(elapsed.count()));
        if (predicate()) return true;
        if (realNow >= realDeadline) return false;
        waitAndRunWatches(kPumpSlice);
    }
}

}  // namespace murmo
