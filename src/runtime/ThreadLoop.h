#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "runtime/MainLoop.h"
#include "runtime/TimerQueue.h"

namespace murmo {

// The main loop of headless programs: run() blocks the calling thread, which
// must be the constructing (main) thread, until quit() is called from anywhere.
class ThreadLoop final : public MainLoop {
public:
    ThreadLoop();
    ~ThreadLoop() override;

    void post(Callback callback) override;
    Timer after(Duration delay, Callback callback) override;
    Timer every(Duration interval, Callback callback) override;
    bool isMainThread() const override;
    const Clock& clock() const override { return SystemClock::shared(); }

    void run();
    // Ends the run under way, or the next one when called before it starts.
    void quit();

private:
    bool runReady();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Callback> posts_;
    bool quitRequested_ = false;
    std::thread::id mainThread_;
    // Last, so it is destroyed first: a dropped timer callback may post.
    TimerQueue timers_;
};

}  // namespace murmo
