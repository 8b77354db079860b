#include "runtime/TimerQueue.h"

#include <utility>

namespace murmo {

Timer TimerQueue::schedule(std::uint64_t dueNanoseconds, Duration interval, MainLoop::Callback callback) {
    auto state = std::make_shared<TimerState>();
    entries_.push(Entry{dueNanoseconds, nextSequence_++, state, interval, std::move(callback)});
    return Timer(std::move(state));
}

std::optional<std::uint64_t> TimerQueue::nextDue() {
    while (!entries_.empty()) {
        if (!entries_.top().state->cancelled.load(std::memory_order_acquire)) return entries_.top().due;
        entries_.pop();
    }
    return std::nullopt;
}

bool TimerQueue::fireOneDue(std::uint64_t now) {
    auto due = nextDue();
    if (!due || *due > now) return false;
    // priority_queue::top is const; the entry is popped right after.
    Entry entry = std::move(const_cast<Entry&>(entries_.top()));
    entries_.pop();
    if (entry.interval.count() <= 0) {
        // A one-shot timer counts as spent once it fired.
        entry.state->cancelled.store(true, std::memory_order_release);
        entry.callback();
        return true;
    }
    entry.callback();
    if (!entry.state->cancelled.load(std::memory_order_acquire)) {
        entry.due += static_cast<std::uint64_t>(entry.interval.count());
        entry.sequence = nextSequence_++;
        entries_.push(std::move(entry));
    }
    return true;
}

void TimerQueue::clear() {
    decltype(entries_) dropped;
    dropped.swap(entries_);
}

}  // namespace murmo
