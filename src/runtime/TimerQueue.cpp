#include "runtime/TimerQueue.h"

#include <utility>

namespace murmo {

Timer TimerQueue::schedule(MonotonicTime due, Duration interval, EventLoop::Callback callback) {
    auto state = std::make_shared<LoopHandleState>();
    entries_.push(Entry{due, nextSequence_++, state, interval, std::move(callback)});
    return Timer(std::move(state));
}

std::optional<MonotonicTime> TimerQueue::nextDue() {
    while (!entries_.empty()) {
        if (!entries_.top().state->isCancelled()) return entries_.top().due;
        // The entry is destroyed once popped: its callback's destructor may arm a timer.
        takeTop();
    }
    return std::nullopt;
}

bool TimerQueue::fireOneDue(MonotonicTime now) {
    auto due = nextDue();
    if (!due || *due > now) return false;
    Entry entry = takeTop();
    if (entry.interval.count() <= 0) {
        // A one-shot timer counts as spent once it fired.
        entry.state->cancel();
        entry.callback();
        return true;
    }
    entry.callback();
    if (!entry.state->isCancelled()) {
        entry.due = saturatingAdd(entry.due, entry.interval);
        entry.sequence = nextSequence_++;
        entries_.push(std::move(entry));
    }
    return true;
}

TimerQueue::Entry TimerQueue::takeTop() {
    // priority_queue::top is const; the entry is popped right after.
    Entry entry = std::move(const_cast<Entry&>(entries_.top()));
    entries_.pop();
    return entry;
}

void TimerQueue::clear() {
    decltype(entries_) dropped;
    dropped.swap(entries_);
}

}  // namespace murmo
