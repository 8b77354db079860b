#include "runtime/ThreadLoop.h"

#include <algorithm>

namespace murmo {

void ThreadLoop::quit() {
    quitRequested_.store(true, std::memory_order_release);
    wake();
}

void ThreadLoop::run() {
    // A quit ends one run: the one under way, or the next when none is.
    while (!quitRequested_.exchange(false, std::memory_order_acq_rel)) {
        runReady();
        waitAndRunWatches(timeUntilNextTimer());
    }
}

std::optional<Duration> ThreadLoop::timeUntilNextTimer() {
    const auto next = timers().nextDue();
    if (!next) return std::nullopt;
    return std::max(*next - clock().now(), Duration::zero());
}

}  // namespace murmo
