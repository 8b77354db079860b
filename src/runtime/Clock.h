#pragma once

#include <chrono>
#include <cstdint>

namespace murmo {

using Duration = std::chrono::nanoseconds;
// Fractional seconds: lengths computed in floating point (audio from its byte
// count) and values shown in seconds. Converted to Duration where they are used.
using Seconds = std::chrono::duration<double>;
// Fractional milliseconds, for the elapsed times logs and reports carry.
inline double toMilliseconds(std::chrono::nanoseconds elapsed) {
    return std::chrono::duration<double, std::milli>(elapsed).count();
}
using WallTime = std::chrono::system_clock::time_point;

// The epoch of monotonic time: system uptime (CLOCK_MONOTONIC). A tag only;
// time is read through a Clock, so tests can run in virtual time.
struct UptimeClock {
    using duration = Duration;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<UptimeClock, duration>;
    static constexpr bool is_steady = true;
};

// The monotonic time carried with key events, engine events and timing logs.
using MonotonicTime = UptimeClock::time_point;

// The one source of time a component reads. Under ManualLoop it is virtual, so
// long time-outs cost no real time in tests.
class Clock {
public:
    virtual ~Clock() = default;
    virtual MonotonicTime now() const = 0;
    virtual WallTime wallTime() const = 0;
};

// `time` moved forward by a non-negative `delay`, stopping at the latest time
// there is rather than overflowing: a time-out of Duration::max() never ends.
constexpr MonotonicTime saturatingAdd(MonotonicTime time, Duration delay) {
    return delay < MonotonicTime::max() - time ? time + delay : MonotonicTime::max();
}

// A monotonic time as a count, for the edges that carry numbers (wire JSON,
// log values).
constexpr std::uint64_t toUptimeNanoseconds(MonotonicTime time) {
    return static_cast<std::uint64_t>(time.time_since_epoch().count());
}

}  // namespace murmo
