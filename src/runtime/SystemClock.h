#pragma once

#include "runtime/Clock.h"

namespace murmo {

// The real clock: CLOCK_MONOTONIC and the system's wall clock.
class SystemClock final : public Clock {
public:
    MonotonicTime now() const override;
    WallTime wallTime() const override;
    static const SystemClock& shared();
};

}  // namespace murmo
