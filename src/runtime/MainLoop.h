#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "runtime/Clock.h"

namespace murmo {

// Shared between a loop's queue entry and the Timer handle. It carries only a
// flag, never the callback, so a handle kept inside the callback's own
// captures (a coroutine frame, say) forms no ownership cycle.
struct TimerState {
    std::atomic<bool> cancelled{false};
};

// Handle to a scheduled callback. Cancels on destruction; cancel() is
// idempotent and safe from inside the callback itself.
class [[nodiscard]] Timer {
public:
    Timer() = default;
    explicit Timer(std::shared_ptr<TimerState> state) : state_(std::move(state)) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    Timer(Timer&& other) noexcept = default;
    Timer& operator=(Timer&& other) noexcept {
        if (this != &other) {
            cancel();
            state_ = std::move(other.state_);
        }
        return *this;
    }
    ~Timer() { cancel(); }

    void cancel() {
        if (state_) state_->cancelled.store(true, std::memory_order_release);
        state_.reset();
    }
    // True until cancelled or, for a one-shot timer, fired.
    bool armed() const { return state_ && !state_->cancelled.load(std::memory_order_acquire); }
    // Lets the callback run even when this handle goes away.
    void detach() { state_.reset(); }

private:
    std::shared_ptr<TimerState> state_;
};

// The main thread's run loop. Every component of the desktop application lives
// on it; other threads hand work over with post().
class MainLoop {
public:
    using Callback = std::function<void()>;

    virtual ~MainLoop() = default;

    // Any thread; callbacks run on the main thread in strict FIFO order.
    virtual void post(Callback callback) = 0;
    // Main thread. Runs once after the delay.
    virtual Timer after(Duration delay, Callback callback) = 0;
    // Main thread. Runs every interval until cancelled.
    virtual Timer every(Duration interval, Callback callback) = 0;
    virtual bool isMainThread() const = 0;
    virtual const Clock& clock() const = 0;
};

}  // namespace murmo
