#pragma once

#include <atomic>
#include <memory>

namespace murmo {

// Shared between a loop's entry (a timer, a watch) and the handle that keeps
// it. It carries only a flag, never the callback, so a handle kept inside the
// callback's own captures (a coroutine frame, say) forms no ownership cycle.
struct LoopHandleState {
    std::atomic<bool> cancelled{false};

    bool isCancelled() const { return cancelled.load(std::memory_order_acquire); }
    void cancel() { cancelled.store(true, std::memory_order_release); }
};

// Keeps a callback registered with a loop. Cancels on destruction; cancel() is
// idempotent and safe from inside the callback itself.
class LoopHandle {
public:
    LoopHandle(const LoopHandle&) = delete;
    LoopHandle& operator=(const LoopHandle&) = delete;

    void cancel() {
        if (state_) state_->cancel();
        state_.reset();
    }
    // True until cancelled or, for a one-shot timer, fired.
    bool armed() const { return state_ && !state_->isCancelled(); }
    // Lets the callback run even when this handle goes away.
    void detach() { state_.reset(); }

protected:
    LoopHandle() = default;
    explicit LoopHandle(std::shared_ptr<LoopHandleState> state) : state_(std::move(state)) {}
    LoopHandle(LoopHandle&& other) noexcept = default;
    LoopHandle& operator=(LoopHandle&& other) noexcept {
        if (this != &other) {
            cancel();
            state_ = std::move(other.state_);
        }
        return *this;
    }
    ~LoopHandle() { cancel(); }

private:
    std::shared_ptr<LoopHandleState> state_;
};

// Handle to a callback scheduled with after() or every().
class [[nodiscard]] Timer final : public LoopHandle {
public:
    Timer() = default;
    explicit Timer(std::shared_ptr<LoopHandleState> state) : LoopHandle(std::move(state)) {}
};

// Handle to a watch set with watchReadable().
class [[nodiscard]] ReadableWatch final : public LoopHandle {
public:
    ReadableWatch() = default;
    explicit ReadableWatch(std::shared_ptr<LoopHandleState> state) : LoopHandle(std::move(state)) {}
};

}  // namespace murmo
