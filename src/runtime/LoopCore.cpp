#include "runtime/LoopCore.h"

#include <algorithm>
#include <utility>

namespace murmo {

LoopCore::LoopCore() : thread_(std::this_thread::get_id()) {}

LoopCore::~LoopCore() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    do {
        dropQueued();
    } while (!watches_.empty() || !timers_.empty() || hasPosts());
}

// Everything dropped here is destroyed on return, outside the lock and outside
// the containers, so a destructor that posts or arms a timer does no harm.
void LoopCore::dropQueued() {
    Watches watches;
    watches.swap(watches_);
    timers_.clear();
    std::deque<Callback> posts;
    std::lock_guard lock(mutex_);
    posts.swap(posts_);
}

void LoopCore::post(Callback callback) {
    bool closing = false;
    {
        std::lock_guard lock(mutex_);
        posts_.push_back(std::move(callback));
        closing = closing_;
    }
    if (!closing) wake();
}

Timer LoopCore::after(Duration delay, Callback callback) {
    return schedule(std::max(delay, Duration::zero()), Duration::zero(), std::move(callback));
}

Timer LoopCore::every(Duration interval, Callback callback) {
    interval = std::max(interval, Duration(1));
    return schedule(interval, interval, std::move(callback));
}

Timer LoopCore::schedule(Duration delay, Duration interval, Callback callback) {
    return timers_.schedule(saturatingAdd(clock().now(), delay), interval, std::move(callback));
}

ReadableWatch LoopCore::watchReadable(int fd, Callback callback) {
    auto state = std::make_shared<LoopHandleState>();
    watches_.push_back(std::make_shared<Watch>(Watch{fd, std::move(callback), state}));
    return ReadableWatch(std::move(state));
}

bool LoopCore::isCurrentThread() const { return std::this_thread::get_id() == thread_; }

bool LoopCore::hasPosts() const {
    std::lock_guard lock(mutex_);
    return !posts_.empty();
}

bool LoopCore::runOnePost() {
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        if (posts_.empty()) return false;
        callback = std::move(posts_.front());
        posts_.pop_front();
    }
    callback();
    return true;
}

void LoopCore::runPostsPresentNow() {
    std::deque<Callback> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(posts_);
    }
    for (auto& callback : batch) callback();
}

void LoopCore::runReady() {
    const auto now = clock().now();
    runPostsPresentNow();
    while (timers_.fireOneDue(now)) runPostsPresentNow();
}

LoopCore::Watches LoopCore::takeDroppedWatches() {
    Watches dropped;
    std::erase_if(watches_, [&dropped](const std::shared_ptr<Watch>& watch) {
        if (!watch->state->isCancelled()) return false;
        dropped.push_back(watch);
        return true;
    });
    return dropped;
}

void LoopCore::runWatches(const Watches& ready) {
    for (const auto& watch : ready) {
        if (!watch->state->isCancelled()) watch->callback();
    }
}

}  // namespace murmo
