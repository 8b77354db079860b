#include "runtime/Clock.h"

#include <time.h>

namespace murmo {

std::uint64_t SystemClock::uptimeNanoseconds() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000ULL + static_cast<std::uint64_t>(ts.tv_nsec);
}

WallTime SystemClock::wallTime() const { return std::chrono::system_clock::now(); }

const SystemClock& SystemClock::shared() {
    static const SystemClock clock;
    return clock;
}

}  // namespace murmo
