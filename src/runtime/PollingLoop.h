#pragma once

#include <optional>

#include "runtime/LoopCore.h"
#include "runtime/Wakeup.h"

namespace murmo {

// A loop that waits in ppoll(2), on its readable watches and on an eventfd
// that every post signals.
class PollingLoop : public LoopCore {
protected:
    PollingLoop() = default;

    // Waits until a post arrives, a watched descriptor is readable or
    // `timeout` passes (never, without one), then runs the watches that are
    // readable. True when one of them ran. A zero timeout with nothing watched
    // makes no system call.
    bool waitAndRunWatches(std::optional<Duration> timeout);
    void wake() final { wakeup_.signal(); }

private:
    Wakeup wakeup_;
};

}  // namespace murmo
