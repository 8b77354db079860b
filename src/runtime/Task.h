#pragma once

// Coroutines on the main loop.
//
// A chain of tasks starts with spawn(). Every suspension point holds the
// chain's root through the object that will resume it (a timer, a Resumer);
// when the last such holder goes away without resuming - the owner was
// destroyed, the loop was torn down - the whole chain is destroyed without
// running further. So a task whose owner is gone ends without acting, and
// nothing leaks. Resumption is always posted to the loop, never run inside the
// caller's stack. Main thread only.
//
// A coroutine lambda keeps its captures in the closure, not in the frame:
// spawn(named()) with a closure that outlives the task, or pass what the task
// needs as parameters of a coroutine function (parameters are copied into the
// frame).

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "runtime/CancelToken.h"
#include "runtime/EventLoop.h"

namespace murmo {

namespace detail {

struct TaskRoot {
    explicit TaskRoot(std::coroutine_handle<> handle) : handle(handle) {}
    TaskRoot(const TaskRoot&) = delete;
    TaskRoot& operator=(const TaskRoot&) = delete;
    ~TaskRoot() {
        if (!finished && handle) handle.destroy();
    }
    std::coroutine_handle<> handle;
    bool finished = false;
};

struct PromiseBase {
    std::weak_ptr<TaskRoot> root;
};

template <class T>
struct ResumeState : std::enable_shared_from_this<ResumeState<T>> {
    ResumeState(EventLoop& loop, std::coroutine_handle<> handle, std::shared_ptr<TaskRoot> root)
        : loop(loop), handle(handle), root(std::move(root)) {}

    void resume(T result) {
        if (value) return;
        value = std::move(result);
        loop.post([self = this->shared_from_this()] {
            auto keepRoot = self->root;
            self->handle.resume();
        });
    }

    EventLoop& loop;
    std::coroutine_handle<> handle;
    std::shared_ptr<TaskRoot> root;
    std::optional<T> value;
};

template <class Promise>
std::shared_ptr<TaskRoot> rootOf(std::coroutine_handle<Promise> handle) {
    auto root = handle.promise().root.lock();
    if (!root) std::terminate();  // awaited outside a chain started by spawn()
    return root;
}

}  // namespace detail

template <class T = void>
class [[nodiscard]] Task;

namespace detail {

template <class T>
struct TaskPromiseBase : PromiseBase {
    std::coroutine_handle<> continuation;

    std::suspend_always initial_suspend() noexcept { return {}; }
    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> handle) noexcept {
            auto next = handle.promise().continuation;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { std::terminate(); }
};

template <class T>
struct TaskPromise : TaskPromiseBase<T> {
    std::optional<T> value;
    Task<T> get_return_object();
    template <class U>
    void return_value(U&& result) {
        value.emplace(std::forward<U>(result));
    }
};

template <>
struct TaskPromise<void> : TaskPromiseBase<void> {
    Task<void> get_return_object();
    void return_void() noexcept {}
};

template <class T>
struct TaskAwaiter {
    std::coroutine_handle<TaskPromise<T>> child;
    bool await_ready() noexcept { return !child || child.done(); }
    template <class P>
    std::coroutine_handle<> await_suspend(std::coroutine_handle<P> parent) noexcept {
        child.promise().continuation = parent;
        child.promise().root = parent.promise().root;
        return child;
    }
    T await_resume() {
        if constexpr (!std::is_void_v<T>) return std::move(*child.promise().value);
    }
};

}  // namespace detail

// A lazily started coroutine, run when awaited (or spawned).
template <class T>
class [[nodiscard]] Task {
public:
    using promise_type = detail::TaskPromise<T>;

    explicit Task(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            if (handle_) handle_.destroy();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() {
        if (handle_) handle_.destroy();
    }

    auto operator co_await() && noexcept { return detail::TaskAwaiter<T>{handle_}; }

private:
    std::coroutine_handle<promise_type> handle_;
};

namespace detail {

template <class T>
Task<T> TaskPromise<T>::get_return_object() {
    return Task<T>(std::coroutine_handle<TaskPromise<T>>::from_promise(*this));
}

inline Task<void> TaskPromise<void>::get_return_object() {
    return Task<void>(std::coroutine_handle<TaskPromise<void>>::from_promise(*this));
}

struct DetachedTask {
    struct promise_type : PromiseBase {
        DetachedTask get_return_object() {
            return DetachedTask{std::coroutine_handle<promise_type>::from_promise(*this)};
        }
        std::suspend_always initial_suspend() noexcept { return {}; }
        std::suspend_never final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { std::terminate(); }
        ~promise_type() {
            // Finished by itself: the root must not destroy the frame again.
            if (auto owner = root.lock()) owner->finished = true;
        }
    };
    std::coroutine_handle<promise_type> handle;
};

inline DetachedTask runDetached(Task<void> task) { co_await std::move(task); }

}  // namespace detail

// Starts `task` now, on the calling (main) thread; it runs until its first
// suspension before spawn returns.
inline void spawn(Task<void> task) {
    auto handle = detail::runDetached(std::move(task)).handle;
    auto root = std::make_shared<detail::TaskRoot>(handle);
    handle.promise().root = root;
    handle.resume();
}

// Hands out the right to resume a suspended task with a value. Copies share
// one suspension; the first resume wins. When every copy is dropped unresumed,
// the task's chain is destroyed. Main thread only.
template <class T>
class Resumer {
public:
    explicit Resumer(std::shared_ptr<detail::ResumeState<T>> state) : state_(std::move(state)) {}
    void resume(T value) const { state_->resume(std::move(value)); }

private:
    std::shared_ptr<detail::ResumeState<T>> state_;
};

namespace detail {

template <class T, class Start>
struct SuspendAwaiter {
    EventLoop& loop;
    Start start;
    std::weak_ptr<ResumeState<T>> state;
    bool await_ready() noexcept { return false; }
    template <class P>
    void await_suspend(std::coroutine_handle<P> handle) {
        auto shared = std::make_shared<ResumeState<T>>(loop, handle, rootOf(handle));
        state = shared;
        start(Resumer<T>(std::move(shared)));
    }
    T await_resume() { return std::move(*state.lock()->value); }
};

}  // namespace detail

// co_await suspendWith<T>(loop, [](Resumer<T> r) { ...store r, resume later... })
template <class T, class Start>
auto suspendWith(EventLoop& loop, Start start) {
    return detail::SuspendAwaiter<T, Start>{loop, std::move(start), {}};
}

// Sleeps on the loop's clock. Returns true when the full time passed, false
// when `cancel` fired first (promptly, without waiting for the time).
class [[nodiscard]] SleepAwaiter {
public:
    SleepAwaiter(EventLoop& loop, Duration duration, CancelToken cancel)
        : loop_(loop), duration_(duration), cancel_(std::move(cancel)) {}

    bool await_ready() const noexcept { return cancel_.isCancelled(); }
    template <class P>
    void await_suspend(std::coroutine_handle<P> handle) {
        auto state = std::make_shared<detail::ResumeState<bool>>(loop_, handle, detail::rootOf(handle));
        state_ = state;
        // The timer owns the suspension; the cancel callback only borrows it,
        // so a token kept by the task itself forms no ownership cycle.
        timer_ = loop_.after(duration_, [state] { state->resume(true); });
        subscription_ = cancel_.onCancel([weak = std::weak_ptr(state)] {
            if (auto strong = weak.lock()) strong->resume(false);
        });
    }
    bool await_resume() {
        auto state = state_.lock();
        return state ? *state->value : false;
    }

private:
    EventLoop& loop_;
    Duration duration_;
    CancelToken cancel_;
    std::weak_ptr<detail::ResumeState<bool>> state_;
    Timer timer_;
    CancelToken::Subscription subscription_;
};

inline SleepAwaiter sleepFor(EventLoop& loop, Duration duration, CancelToken cancel = CancelToken()) {
    return SleepAwaiter(loop, duration, std::move(cancel));
}

}  // namespace murmo
