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

ManualLoop::ManualLoop() : mainThread_(std::this_thread::get_id()) {}

ManualLoop::~ManualLoop() {
    // Dropped callbacks may own objects whose destructors post or drop more
    // timers; keep draining until both are empty, never holding the lock.
    for (;;) {
        timers_.clear();
        std::deque<Callback> pending;
        {
            std::lock_guard lock(mutex_);
            pending.swap(posts_);
        }
        if (pending.empty() && timers_.empty()) break;
    }
}

void ManualLoop::post(Callback callback) {
    {
        std::lock_guard lock(mutex_);
        posts_.push_back(std::move(callback));
    }
    posted_.notify_all();
}

Timer ManualLoop::after(Duration delay, Callback callback) {
    auto due = nowNanoseconds() + static_cast<std::uint64_t>(std::max<Duration::rep>(delay.count(), 0));
    return timers_.schedule(due, Duration::zero(), std::move(callback));
}

Timer ManualLoop::every(Duration interval, Callback callback) {
    interval = std::max(interval, Duration(1));
    auto due = nowNanoseconds() + static_cast<std::uint64_t>(interval.count());
    return timers_.schedule(due, interval, std::move(callback));
}

bool ManualLoop::isMainThread() const { return std::this_thread::get_id() == mainThread_; }

bool ManualLoop::runOnePost() {
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        if (posts_.empty()) return false;
        callback = std::move(posts_.front());
        posts_.pop_front();
    }
    callback();
    return true;
}

void ManualLoop::runUntilIdle() {
    for (;;) {
        while (runOnePost()) {
        }
        if (!timers_.fireOneDue(nowNanoseconds())) {
            std::lock_guard lock(mutex_);
            if (posts_.empty()) return;
        }
    }
}

void ManualLoop::advanceTo(std::uint64_t target) {
    for (;;) {
        runUntilIdle();
        auto next = timers_.nextDue();
        if (!next || *next > target) break;
        clock_.now.store(std::max(*next, nowNanoseconds()), std::memory_order_release);
        timers_.fireOneDue(nowNanoseconds());
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
        std::unique_lock lock(mutex_);
        posted_.wait_for(lock, kPumpSlice, [this] { return !posts_.empty(); });
    }
}

}  // namespace murmo
