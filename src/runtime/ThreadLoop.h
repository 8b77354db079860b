#pragma once

#include <atomic>

#include "runtime/PollingLoop.h"
#include "runtime/SystemClock.h"

namespace murmo {

// The loop of headless programs and background queues: run() blocks the
// calling thread, which must be the constructing one, until quit() is called
// from anywhere.
class ThreadLoop final : public PollingLoop {
public:
    ThreadLoop() = default;

    const Clock& clock() const override { return SystemClock::shared(); }

    void run();
    // Any thread. Ends the run under way, or the next one when called before
    // it starts.
    void quit();

private:
    std::optional<Duration> timeUntilNextTimer();

    std::atomic<bool> quitRequested_{false};
};

}  // namespace murmo
