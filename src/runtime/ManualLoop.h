#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "runtime/PollingLoop.h"

namespace murmo {

// A main loop for tests. Virtual time never moves by itself: runUntilIdle()
// runs what is ready now, advance(d) moves the clock, firing each due timer at
// its own time. Readable watches are looked at, without waiting, whenever it
// runs. The constructing thread is the main thread.
class ManualLoop final : public PollingLoop {
public:
    ManualLoop() = default;

    const Clock& clock() const override { return clock_; }

    // Runs readable watches, posted callbacks and timers due now until nothing
    // is ready.
    void runUntilIdle();
    // Moves virtual time forward by `delta`, firing due timers in due-time and
    // then arming order, timers armed by timers included.
    void advance(Duration delta);
    // Moves virtual time forward without running anything: what a call that
    // blocks the main thread costs. Timers that fall due meanwhile fire, late,
    // at the next runUntilIdle() or advance(), as they would after a stall.
    void advanceClockOnly(Duration delta);
    // For tests that wait on real sockets or processes: runs the loop, with
    // virtual time following real time, until `predicate` holds or
    // `realTimeout` passes. Returns the predicate's last value.
    bool pumpUntil(const std::function<bool()>& predicate, Duration realTimeout);

    MonotonicTime now() const { return clock_.now(); }
    // Sets the wall clock forward or back by `delta`, as a user or a time
    // server does; monotonic time and timers are untouched.
    void shiftWallTime(Duration delta) { clock_.shiftWall(delta); }

private:
    // Read and moved from any thread; never moves backwards.
    class VirtualClock final : public Clock {
    public:
        MonotonicTime now() const override { return now_.load(std::memory_order_acquire); }
        WallTime wallTime() const override;
        void moveTo(MonotonicTime time);
        void moveBy(Duration delta);
        void shiftWall(Duration delta) { wallShift_.fetch_add(delta.count(), std::memory_order_acq_rel); }

    private:
        std::atomic<MonotonicTime> now_{MonotonicTime(std::chrono::seconds(1))};
        std::atomic<Duration::rep> wallShift_{0};
    };

    void advanceTo(MonotonicTime target);

    VirtualClock clock_;
};

}  // namespace murmo
