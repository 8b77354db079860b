#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <queue>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/EventLoop.h"

namespace murmo {

// Timers of one loop, ordered by due time and then by the order they were
// armed. Not thread-safe: only the loop's own thread touches it.
class TimerQueue {
public:
    Timer schedule(MonotonicTime due, Duration interval, EventLoop::Callback callback);

    // Due time of the earliest live timer, dropping cancelled ones on the way.
    std::optional<MonotonicTime> nextDue();

    // Runs the earliest timer if it is due at `now`; re-arms a repeating one
    // after its callback unless the callback cancelled it. False when none is due.
    bool fireOneDue(MonotonicTime now);

    bool empty() { return !nextDue().has_value(); }

    // Drops every timer; callbacks are destroyed outside the queue, so one
    // that arms another timer while being destroyed does no harm.
    void clear();

private:
    struct Entry {
        MonotonicTime due;
        std::uint64_t sequence;
        std::shared_ptr<LoopHandleState> state;
        Duration interval;
        EventLoop::Callback callback;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
        }
    };

    Entry takeTop();

    std::priority_queue<Entry, std::vector<Entry>, Later> entries_;
    std::uint64_t nextSequence_ = 0;
};

}  // namespace murmo
