#pragma once

#include <condition_variable>
#include <mutex>

#include "runtime/Clock.h"

namespace murmo {

// Raised once by one thread and awaited by another, for at most a time limit:
// how a new thread confirms that it has started.
class ConfirmationLatch {
public:
    void raise();
    bool isRaised() const;
    // Blocks, in real time, until the latch is raised (true) or `limit` has
    // passed (false).
    bool waitFor(Duration limit) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable raisedChanged_;
    bool raised_ = false;
};

}  // namespace murmo
