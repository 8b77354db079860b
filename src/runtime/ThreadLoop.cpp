#include "runtime/ThreadLoop.h"

#include <algorithm>

namespace murmo {

ThreadLoop::ThreadLoop() : mainThread_(std::this_thread::get_id()) {}

ThreadLoop::~ThreadLoop() {
    // Dropped callbacks may own objects whose destructors post or drop more
    // timers; keep draining until both are empty, never holding the lock.
    for (;;) {
        timers_.clear();
        std::deque<Callback> pending;
        {
            std::lock_guard lock(mutex_);
            pending.swap(posts_);
        }
        if (pending.empty() && timers_.empty()) break;
    }
}

void ThreadLoop::post(Callback callback) {
    {
        std::lock_guard lock(mutex_);
        posts_.push_back(std::move(callback));
    }
    wake_.notify_one();
}

Timer ThreadLoop::after(Duration delay, Callback callback) {
    auto due = clock().uptimeNanoseconds() + static_cast<std::uint64_t>(std::max<Duration::rep>(delay.count(), 0));
    return timers_.schedule(due, Duration::zero(), std::move(callback));
}

Timer ThreadLoop::every(Duration interval, Callback callback) {
    interval = std::max(interval, Duration(1));
    auto due = clock().uptimeNanoseconds() + static_cast<std::uint64_t>(interval.count());
    return timers_.schedule(due, interval, std::move(callback));
}

bool ThreadLoop::isMainThread() const { return std::this_thread::get_id() == mainThread_; }

void ThreadLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quitRequested_ = true;
    }
    wake_.notify_one();
}

// Runs the posts present now, then the timers due now. False once quit.
bool ThreadLoop::runReady() {
    std::deque<Callback> batch;
    {
        std::lock_guard lock(mutex_);
        if (quitRequested_) return false;
        batch.swap(posts_);
    }
    for (auto& callback : batch) callback();
    while (timers_.fireOneDue(clock().uptimeNanoseconds())) {
    }
    return true;
}

void ThreadLoop::run() {
    while (runReady()) {
        std::unique_lock lock(mutex_);
        auto ready = [this] { return quitRequested_ || !posts_.empty(); };
        if (auto next = timers_.nextDue()) {
            auto now = clock().uptimeNanoseconds();
            auto wait = *next > now ? Duration(*next - now) : Duration::zero();
            wake_.wait_for(lock, wait, ready);
        } else {
            wake_.wait(lock, ready);
        }
    }
    // A quit ends one run: the one under way, or the next when none is.
    std::lock_guard lock(mutex_);
    quitRequested_ = false;
}

}  // namespace murmo
