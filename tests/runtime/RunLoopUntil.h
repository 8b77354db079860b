#pragma once

#include <chrono>
#include <functional>

#include "runtime/ManualLoop.h"

namespace murmo::testing {

// Runs a loop until `done` holds, looking at it every millisecond on the
// loop's thread. False when `limit` passed first.
inline bool runLoopUntil(ManualLoop& loop, const std::function<bool()>& done,
                         Duration limit = std::chrono::seconds(10)) {
    return loop.pumpUntil(done, limit);
}

// For loops with run() and quit().
template <class Loop>
bool runLoopUntil(Loop& loop, const std::function<bool()>& done, Duration limit = std::chrono::seconds(10)) {
    bool held = false;
    Timer look = loop.every(std::chrono::milliseconds(1), [&] {
        if (!done()) return;
        held = true;
        loop.quit();
    });
    Timer giveUp = loop.after(limit, [&] { loop.quit(); });
    loop.run();
    return held;
}

}  // namespace murmo::testing
