#pragma once

#include <chrono>
#include <cstdint>

namespace murmo {

using Duration = std::chrono::nanoseconds;
using WallTime = std::chrono::system_clock::time_point;

// The one source of time a component reads. Under ManualLoop it is virtual, so
// long time-outs cost no real time in tests.
class Clock {
public:
    virtual ~Clock() = default;
    // System uptime in nanoseconds (CLOCK_MONOTONIC): the "monotonic time"
    // carried with key events, engine events and timing logs.
    virtual std::uint64_t uptimeNanoseconds() const = 0;
    virtual WallTime wallTime() const = 0;
};

class SystemClock final : public Clock {
public:
    std::uint64_t uptimeNanoseconds() const override;
    WallTime wallTime() const override;
    static const SystemClock& shared();
};

inline constexpr double seconds(Duration d) { return std::chrono::duration<double>(d).count(); }

inline constexpr Duration fromSeconds(double s) {
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}

}  // namespace murmo
