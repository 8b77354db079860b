#include "platform/linux/PulseAudioContext.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace murmo {

namespace {

void signalLoop(pa_threaded_mainloop* loop) { pa_threaded_mainloop_signal(loop, 0); }

pa_usec_t microseconds(Duration duration) {
    const auto count = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    return count > 0 ? static_cast<pa_usec_t>(count) : 0;
}

// A deadline on the loop: wakes the waiters when it passes. Lives on the
// waiting thread's stack and is removed, with the lock held, before it goes.
class LoopDeadline {
public:
    LoopDeadline(pa_threaded_mainloop* loop, pa_context* context, Duration timeout) : loop_(loop) {
        event_ = pa_context_rttime_new(context, pa_rtclock_now() + microseconds(timeout), &LoopDeadline::onExpiry, this);
    }
    ~LoopDeadline() {
        if (event_) pa_threaded_mainloop_get_api(loop_)->time_free(event_);
    }
    LoopDeadline(const LoopDeadline&) = delete;
    LoopDeadline& operator=(const LoopDeadline&) = delete;

    // Without a timer event (libpulse refused it) the wait would be unbounded:
    // count that as expired.
    bool expired() const { return expired_ || !event_; }

private:
    static void onExpiry(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto* deadline = static_cast<LoopDeadline*>(self);
        deadline->expired_ = true;
        signalLoop(deadline->loop_);
    }

    pa_threaded_mainloop* loop_;
    pa_time_event* event_ = nullptr;
    bool expired_ = false;
};

void teardown(PulseThreadedMainloopHandle loop, PulseContextHandle context) {
    pa_threaded_mainloop_lock(loop.get());
    context.reset();
    pa_threaded_mainloop_unlock(loop.get());
    pa_threaded_mainloop_stop(loop.get());
}

}  // namespace

class PulseAudioContext::Registration : public PulseAudioContext::Observation {
public:
    Registration(std::shared_ptr<PulseAudioContext> owner, std::uint64_t id) : owner_(std::move(owner)), id_(id) {}
    ~Registration() override {
        if (owner_->isLoopThread()) {
            owner_->forget(id_);
        } else {
            Lock lock(*owner_);
            owner_->forget(id_);
        }
    }

private:
    std::shared_ptr<PulseAudioContext> owner_;
    std::uint64_t id_;
};

PulseAudioContext::PulseAudioContext(PulseThreadedMainloopHandle mainloop, PulseContextHandle context)
    : mainloop_(std::move(mainloop)), context_(std::move(context)) {}

Result<std::shared_ptr<PulseAudioContext>> PulseAudioContext::connect(std::string_view applicationName,
                                                                     Duration timeout) {
    PulseThreadedMainloopHandle loop(pa_threaded_mainloop_new());
    if (!loop) return fail(std::string(kPulseAudioErrorDomain), kPulseAudioConnectFailed, "no PulseAudio main loop");
    const std::string name(applicationName);
    PulseProplistHandle properties(pa_proplist_new());
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, name.c_str());
    PulseContextHandle handle(
        pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop.get()), name.c_str(), properties.get()));
    if (!handle) return fail(std::string(kPulseAudioErrorDomain), kPulseAudioConnectFailed, "no PulseAudio context");

    std::shared_ptr<PulseAudioContext> self(new PulseAudioContext(std::move(loop), std::move(handle)));
    pa_context_set_state_callback(self->context(), &PulseAudioContext::onStateChange, self.get());
    pa_context_set_subscribe_callback(self->context(), &PulseAudioContext::onEvent, self.get());
    if (pa_context_connect(self->context(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        auto error = self->connectionError("connecting to the sound server");
        error.code = kPulseAudioConnectFailed;
        return fail(std::move(error));
    }
    if (pa_threaded_mainloop_start(self->mainloop()) < 0) {
        return fail(std::string(kPulseAudioErrorDomain), kPulseAudioConnectFailed, "the PulseAudio loop did not start");
    }
    if (auto ready = self->waitForConnection(timeout); !ready) return fail(ready.error());
    return self;
}

Status PulseAudioContext::waitForConnection(Duration timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Lock lock(*this);
    const bool ready =
        waitUntil(lock, [&] { return pa_context_get_state(context()) == PA_CONTEXT_READY; }, timeout);
    if (!ready) {
        if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context()))) {
            return fail(std::string(kPulseAudioErrorDomain), kPulseAudioTimedOut,
                        "the sound server did not answer in time");
        }
        auto error = connectionError("connecting to the sound server");
        error.code = kPulseAudioConnectFailed;
        return fail(std::move(error));
    }
    struct Outcome {
        bool succeeded = false;
    } outcome;
    const auto remaining = std::max(Duration::zero(), Duration(deadline - std::chrono::steady_clock::now()));
    auto subscribed = run(lock, "subscribing to the sound server's events", remaining, [&](pa_context* context) {
        return pa_context_subscribe(
            context, PA_SUBSCRIPTION_MASK_ALL,
            [](pa_context*, int success, void* out) { static_cast<Outcome*>(out)->succeeded = success != 0; },
            &outcome);
    });
    if (!subscribed) return subscribed;
    if (!outcome.succeeded) return fail(connectionError("subscribing to the sound server's events"));
    return {};
}

PulseAudioContext::~PulseAudioContext() {
    // Off the loop thread the lock keeps callbacks out while they are
    // detached; on it, this is a callback and the lock is already ours.
    const bool onLoopThread = isLoopThread();
    if (!onLoopThread) pa_threaded_mainloop_lock(mainloop());
    pa_context_set_state_callback(context(), nullptr, nullptr);
    pa_context_set_subscribe_callback(context(), nullptr, nullptr);
    pa_context_disconnect(context());
    if (!onLoopThread) pa_threaded_mainloop_unlock(mainloop());
    // The loop cannot stop itself: a thread of its own waits for the
    // callback to return, then stops it and frees it.
    if (onLoopThread) {
        std::thread(teardown, std::move(mainloop_), std::move(context_)).detach();
    } else {
        teardown(std::move(mainloop_), std::move(context_));
    }
}

bool PulseAudioContext::isLoopThread() const { return pa_threaded_mainloop_in_thread(mainloop()) != 0; }

bool PulseAudioContext::isConnected() const { return pa_context_get_state(context()) == PA_CONTEXT_READY; }

PulseAudioContext::Lock::Lock(const PulseAudioContext& context) : context_(context) {
    assert(!context.isLoopThread());
    pa_threaded_mainloop_lock(context_.mainloop());
}

PulseAudioContext::Lock::~Lock() { pa_threaded_mainloop_unlock(context_.mainloop()); }

void PulseAudioContext::signal() const { signalLoop(mainloop()); }

bool PulseAudioContext::waitUntil(Lock&, const std::function<bool()>& done, Duration timeout) const {
    assert(!isLoopThread());
    LoopDeadline deadline(mainloop(), context(), timeout);
    while (!done()) {
        if (deadline.expired() || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context()))) return false;
        pa_threaded_mainloop_wait(mainloop());
    }
    return true;
}

Status PulseAudioContext::run(std::string_view what, Duration timeout, const OperationStart& start) const {
    Lock lock(*this);
    return run(lock, what, timeout, start);
}

Status PulseAudioContext::run(Lock& lock, std::string_view what, Duration timeout,
                              const OperationStart& start) const {
    if (!isConnected()) return fail(connectionError(what));
    PulseOperationHandle operation(start(context()));
    if (!operation) {
        auto error = connectionError(what);
        error.code = kPulseAudioOperationFailed;
        return fail(std::move(error));
    }
    pa_operation_set_state_callback(
        operation.get(), [](pa_operation*, void* loop) { signalLoop(static_cast<pa_threaded_mainloop*>(loop)); },
        mainloop());
    const bool ended = waitUntil(
        lock, [&] { return pa_operation_get_state(operation.get()) != PA_OPERATION_RUNNING; }, timeout);
    pa_operation_set_state_callback(operation.get(), nullptr, nullptr);
    if (!ended) {
        pa_operation_cancel(operation.get());
        if (!isConnected()) return fail(connectionError(what));
        return fail(std::string(kPulseAudioErrorDomain), kPulseAudioTimedOut,
                    std::string(what) + ": the sound server did not answer in time");
    }
    if (pa_operation_get_state(operation.get()) != PA_OPERATION_DONE) {
        return fail(std::string(kPulseAudioErrorDomain), kPulseAudioOperationFailed,
                    std::string(what) + ": cancelled");
    }
    return {};
}

std::unique_ptr<PulseAudioContext::Observation> PulseAudioContext::observeEvents(pa_subscription_mask_t mask,
                                                                                 EventHandler handler) {
    auto add = [&] {
        const auto id = nextObserverID_++;
        eventObservers_.emplace(id, EventObserver{mask, std::move(handler)});
        return std::make_unique<Registration>(shared_from_this(), id);
    };
    if (isLoopThread()) return add();
    Lock lock(*this);
    return add();
}

std::unique_ptr<PulseAudioContext::Observation> PulseAudioContext::observeConnectionLoss(
    std::function<void()> handler) {
    auto add = [&] {
        const auto id = nextObserverID_++;
        lossObservers_.emplace(id, std::move(handler));
        return std::make_unique<Registration>(shared_from_this(), id);
    };
    if (isLoopThread()) return add();
    Lock lock(*this);
    return add();
}

void PulseAudioContext::forget(std::uint64_t observerID) {
    eventObservers_.erase(observerID);
    lossObservers_.erase(observerID);
}

void PulseAudioContext::onStateChange(pa_context* context, void* opaque) {
    auto* self = static_cast<PulseAudioContext*>(opaque);
    const auto state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) self->wasReady_ = true;
    if (!PA_CONTEXT_IS_GOOD(state) && self->wasReady_) {
        self->wasReady_ = false;
        self->dispatchConnectionLoss();
    }
    self->signal();
}

void PulseAudioContext::onEvent(pa_context*, pa_subscription_event_type_t event, std::uint32_t index, void* opaque) {
    static_cast<PulseAudioContext*>(opaque)->dispatchEvent(event, index);
}

void PulseAudioContext::dispatchEvent(pa_subscription_event_type_t event, std::uint32_t index) {
    // A handler may let go of the last owner of this context: it stays alive
    // until the dispatch is over.
    const auto keepAlive = weak_from_this().lock();
    if (!keepAlive) return;
    const auto facility = static_cast<pa_subscription_event_type_t>(event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK);
    const auto type = static_cast<pa_subscription_event_type_t>(event & PA_SUBSCRIPTION_EVENT_TYPE_MASK);
    const unsigned facilityBit = 1u << static_cast<unsigned>(facility);
    std::vector<std::uint64_t> ids;
    for (const auto& [id, observer] : eventObservers_) ids.push_back(id);
    for (const auto id : ids) {
        // A handler may end its own or another observation meanwhile.
        const auto found = eventObservers_.find(id);
        if (found == eventObservers_.end() || (found->second.mask & facilityBit) == 0) continue;
        const auto handler = found->second.handler;
        handler(facility, type, index);
    }
}

void PulseAudioContext::dispatchConnectionLoss() {
    const auto keepAlive = weak_from_this().lock();
    if (!keepAlive) return;
    std::vector<std::uint64_t> ids;
    for (const auto& [id, handler] : lossObservers_) ids.push_back(id);
    for (const auto id : ids) {
        const auto found = lossObservers_.find(id);
        if (found == lossObservers_.end()) continue;
        const auto handler = found->second;
        handler();
    }
}

Error PulseAudioContext::connectionError(std::string_view what) const {
    const int code = pa_context_errno(context());
    return Error(std::string(kPulseAudioErrorDomain), kPulseAudioConnectionLost,
                 std::string(what) + ": " + (code ? pa_strerror(code) : "not connected"));
}

}  // namespace murmo
