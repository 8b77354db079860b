#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/EventLoop.h"
#include "runtime/TimerQueue.h"

namespace murmo {

// What every loop shares: the locked FIFO of posts, the timers, the readable
// watches, the loop's thread (the constructing one) and the drain on
// destruction. A loop built on it adds only how it waits and how a post wakes
// it.
class LoopCore : public EventLoop {
public:
    // Drops what is still queued. Dropped callbacks may own objects whose
    // destructors post or drop more timers; the drain goes on until nothing is
    // left, never holding the lock while a callback is destroyed.
    ~LoopCore() override;
    LoopCore(const LoopCore&) = delete;
    LoopCore& operator=(const LoopCore&) = delete;

    void post(Callback callback) final;
    Timer after(Duration delay, Callback callback) final;
    Timer every(Duration interval, Callback callback) final;
    ReadableWatch watchReadable(int fd, Callback callback) final;
    bool isCurrentThread() const final;

protected:
    struct Watch {
        int fd;
        Callback callback;
        std::shared_ptr<LoopHandleState> state;
        // What a loop that registers the descriptor elsewhere keeps for it.
        void* registration = nullptr;
    };
    using Watches = std::vector<std::shared_ptr<Watch>>;

    LoopCore();

    // Any thread, after each post: makes a waiting loop look again. Never
    // called once the core is being destroyed.
    virtual void wake() = 0;

    bool hasPosts() const;
    // Runs the oldest post. False when there is none.
    bool runOnePost();
    // What a real-time loop runs on each turn: the posts present now, then
    // each timer due now (due time, then arming order), each followed by the
    // posts present then. Posts made meanwhile wait for the next turn.
    void runReady();
    TimerQueue& timers() { return timers_; }

    // The watches set so far. A dropped one stays until takeDroppedWatches();
    // runWatches() skips it. Callbacks may add to the list, so run a copy.
    const Watches& watches() const { return watches_; }
    // Forgets the watches whose handles were dropped and hands them back, for
    // a loop that must also unregister their descriptors.
    Watches takeDroppedWatches();
    // Runs the callback of each of `ready` whose handle is still held.
    static void runWatches(const Watches& ready);

private:
    Timer schedule(Duration delay, Duration interval, Callback callback);
    void runPostsPresentNow();
    void dropQueued();

    mutable std::mutex mutex_;
    std::deque<Callback> posts_;
    bool closing_ = false;
    std::thread::id thread_;
    TimerQueue timers_;
    Watches watches_;
};

}  // namespace murmo
