#include "runtime/SystemClock.h"

#include <time.h>

namespace murmo {

MonotonicTime SystemClock::now() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return MonotonicTime(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

WallTime SystemClock::wallTime() const { return std::chrono::system_clock::now(); }

const SystemClock& SystemClock::shared() {
    static const SystemClock clock;
    return clock;
}

}  // namespace murmo
